#!/usr/bin/env python3
"""Makes a release of the dist build trees, or checks a downloaded one.

  release.py dist OUT TREE...         the bundles, the NuGet packages Quell and Quell.Net, the PowerShell
                                      module (package and zip), SHA256SUMS, the
                                      detached signatures and the manifests
  release.py verify RELEASE OUT TREE...  rebuilds the release into OUT from the
                                      trees and RELEASE's signatures, and checks it

Each TREE is a configured build tree of one architecture whose images are built
(its release.json says what it is). The environment says how to sign:
  QUELL_SIGN_PKCS12         a PKCS#12 file with the key and its certificates
  QUELL_SIGN_PASSWORD_FILE  a file holding its password (read by osslsigncode)
  QUELL_SIGN_TIMESTAMP_URL  an RFC 3161 timestamp authority (optional)
  QUELL_SIGNATURES          a folder of published detached signatures to attach
                            instead of signing
  QUELL_RELEASE_URL         the folder the release will be downloaded from: the
                            winget and Scoop manifests are written for it
  QUELL_VERIFY_CAFILE       the CA certificates the signatures must chain to
  QUELL_OSSLSIGNCODE        the osslsigncode to run
A signed image is always the unsigned one with its detached signature attached,
so a rebuild that attaches the published signature gives the very same bytes.
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]  # tools/release/ and tools/
import make_bundle  # noqa: E402
import package_manifests  # noqa: E402
import powershell_module  # noqa: E402
import quell_net_package  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
SUMS = "SHA256SUMS"
SIGNATURES = "signatures"
SIGNATURE_SUFFIX = ".pem"


class ReleaseError(Exception):
    pass


def osslsigncode():
    # The same choice as tools/release/osslsigncode.sh.
    if os.environ.get("QUELL_OSSLSIGNCODE"):
        return os.environ["QUELL_OSSLSIGNCODE"]
    unpacked = os.path.join(ROOT, ".cache", "osslsigncode", "root", "usr", "bin", "osslsigncode")
    return unpacked if os.access(unpacked, os.X_OK) else "osslsigncode"


def run_signing_tool(*arguments):
    """Runs osslsigncode; its output is returned, never echoed (it may name files
    the caller keeps private, never the password, which it reads from a file)."""
    result = subprocess.run([osslsigncode(), *arguments], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, errors="replace")
    return result.returncode, result.stdout


SYSTEM_ROOTS = "/etc/ssl/certs/ca-certificates.crt"
# The attribute that holds an RFC 3161 timestamp token inside an Authenticode signature.
TIMESTAMP_TOKEN = ":1.3.6.1.4.1.311.3.3.1"


def openssl(*arguments):
    return subprocess.run(["openssl", *arguments], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True, check=True).stdout


def trusted_certificates(signature, cafile, work):
    """The CA file that osslsigncode checks the signature's chains against:
    QUELL_VERIFY_CAFILE where given; else the certificates the signature and its
    timestamp carry, with the system's roots. The latter proves the digests and
    the signers' keys, not that anyone vouches for the signer."""
    if cafile:
        return cafile
    carried = os.path.join(work, "carried.pem")
    with open(carried, "w", encoding="ascii") as joined:
        joined.write(openssl("pkcs7", "-in", signature, "-print_certs"))
        structure = openssl("asn1parse", "-in", signature).splitlines()
        for index, line in enumerate(structure):
            if line.endswith(TIMESTAMP_TOKEN) and index + 2 < len(structure):
                token = os.path.join(work, "token.der")
                offset = structure[index + 2].split(":", 1)[0].strip()
                openssl("asn1parse", "-in", signature, "-strparse", offset, "-noout", "-out", token)
                joined.write(openssl("pkcs7", "-inform", "DER", "-in", token, "-print_certs"))
        if os.path.isfile(SYSTEM_ROOTS):
            with open(SYSTEM_ROOTS, encoding="ascii", errors="replace") as roots:
                joined.write(roots.read())
    return carried


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as data:
        for block in iter(lambda: data.read(1 << 16), b""):
            digest.update(block)
    return digest.hexdigest()


def read_tree(tree):
    path = os.path.join(tree, "release.json")
    if not os.path.isfile(path):
        raise ReleaseError(f"{tree} is not a configured build tree of Quell (no release.json)")
    with open(path, encoding="utf-8") as info:
        release = json.load(info)
    if not release["sourceDateEpoch"]:
        raise ReleaseError(f"{tree}: nothing gives the sources' time, so its images are not reproducible; "
                           "set SOURCE_DATE_EPOCH to the commit's time")
    release["tree"] = tree
    release["mtime"] = int(release["sourceDateEpoch"])
    return release


def signature_path(folder, architecture, image):
    return os.path.join(folder, architecture, os.path.basename(image) + SIGNATURE_SUFFIX)


def signing_plan(environ):
    """How the images get their signatures: 'sign', 'attach' or None."""
    key, signatures = environ.get("QUELL_SIGN_PKCS12"), environ.get("QUELL_SIGNATURES")
    if key and signatures:
        raise ReleaseError("give QUELL_SIGN_PKCS12 (to sign) or QUELL_SIGNATURES (to attach published "
                           "signatures), not both")
    if key:
        password = environ.get("QUELL_SIGN_PASSWORD_FILE")
        if not password or not os.path.isfile(password):
            raise ReleaseError("QUELL_SIGN_PKCS12 needs QUELL_SIGN_PASSWORD_FILE, a file holding its password")
        if not os.path.isfile(key):
            raise ReleaseError(f"QUELL_SIGN_PKCS12: no file {key}")
        return "sign"
    if signatures:
        if not os.path.isdir(signatures):
            raise ReleaseError(f"QUELL_SIGNATURES: no folder {signatures}")
        return "attach"
    return None


def sign(image, description, url, work, environ):
    """Signs a copy of the image and returns its detached signature (PEM)."""
    signed = os.path.join(work, "signed")
    arguments = ["sign", "-pkcs12", environ["QUELL_SIGN_PKCS12"], "-readpass", environ["QUELL_SIGN_PASSWORD_FILE"],
                 "-h", "sha256", "-n", description, "-i", url]
    if environ.get("QUELL_SIGN_TIMESTAMP_URL"):
        arguments += ["-ts", environ["QUELL_SIGN_TIMESTAMP_URL"]]
    status, output = run_signing_tool(*arguments, "-in", image, "-out", signed)
    if status != 0:
        raise ReleaseError(f"signing {image} failed:\n{output}")
    signature = os.path.join(work, "signature.pem")
    status, output = run_signing_tool("extract-signature", "-pem", "-in", signed, "-out", signature)
    if status != 0:
        raise ReleaseError(f"extracting the signature of {image} failed:\n{output}")
    return signature


def attach(image, signature, shown_name, cafile):
    """Replaces the unsigned image by itself with the signature attached."""
    attached = image + ".signed"
    with tempfile.TemporaryDirectory() as work:
        trusted = trusted_certificates(signature, cafile, work)
        status, output = run_signing_tool("attach-signature", "-sigin", signature, "-CAfile", trusted,
                                          "-TSA-CAfile", trusted, "-in", image, "-out", attached)
    # osslsigncode writes its output even when the digests differ: the status decides.
    if status != 0:
        if os.path.exists(attached):
            os.remove(attached)
        raise ReleaseError(f"the signature {signature} does not belong to {shown_name} as built from these "
                           f"sources, or its chain is not trusted (osslsigncode attach-signature says:\n"
                           f"{output.strip()})")
    os.replace(attached, image)


def verify_image(image, shown_name, cafile):
    """Checks the signature of a signed image; returns osslsigncode's report."""
    with tempfile.TemporaryDirectory() as work:
        signature = os.path.join(work, "signature.pem")
        status, output = run_signing_tool("extract-signature", "-pem", "-in", image, "-out", signature)
        if status != 0:
            raise ReleaseError(f"{shown_name} carries no signature:\n{output.strip()}")
        trusted = trusted_certificates(signature, cafile, work)
        status, output = run_signing_tool("verify", "-CAfile", trusted, "-TSA-CAfile", trusted, "-in", image)
    if status != 0:
        raise ReleaseError(f"the signature of {shown_name} is not valid:\n{output.strip()}")
    return output


def stage_tree(release, stage):
    """Installs the tree as its bundle lays it out; returns the staged folder."""
    folder = os.path.join(stage, release["bundle"])
    try:
        make_bundle.stage(release["tree"], folder)
    except make_bundle.StageError as error:
        raise ReleaseError(str(error)) from None
    return folder


def make_release(out, trees, environ):
    releases = [read_tree(tree) for tree in trees]
    versions = {release["version"] for release in releases}
    if len(versions) != 1:
        raise ReleaseError(f"the trees are of different versions: {', '.join(sorted(versions))}")
    plan = signing_plan(environ)
    if plan is None:
        print("release: no signing key (QUELL_SIGN_PKCS12) and no signatures (QUELL_SIGNATURES): "
              "the images are not signed")
    os.makedirs(out, exist_ok=True)
    bundles, dlls = [], {}
    with tempfile.TemporaryDirectory() as stage:
        for release in releases:
            folder = stage_tree(release, stage)
            architecture = release["architecture"]
            for image in release["images"]:
                path = os.path.join(folder, image)
                shown = f"{architecture}/{os.path.basename(image)}"
                published = signature_path(os.path.join(out, SIGNATURES), architecture, image)
                if plan == "sign":
                    with tempfile.TemporaryDirectory() as work:
                        signature = sign(path, "Quell " + release["version"], release["homepage"], work, environ)
                        os.makedirs(os.path.dirname(published), exist_ok=True)
                        shutil.copyfile(signature, published)
                elif plan == "attach":
                    signature = signature_path(environ["QUELL_SIGNATURES"], architecture, image)
                    if not os.path.isfile(signature):
                        raise ReleaseError(f"no signature for {shown}: {signature} is missing")
                    if os.path.abspath(signature) != os.path.abspath(published):
                        os.makedirs(os.path.dirname(published), exist_ok=True)
                        shutil.copyfile(signature, published)
                if plan:
                    # attach-signature verifies what it attached, digest and chains alike.
                    attach(path, published, shown, environ.get("QUELL_VERIFY_CAFILE"))
            bundle = os.path.join(out, release["bundle"] + ".zip")
            make_bundle.write_bundle(folder, release["bundle"], release["mtime"], bundle)
            bundles.append(bundle)
            dlls[architecture] = os.path.join(folder, "bin", "Quell.dll")
            print(f"release: wrote {bundle}" + (" (signed)" if plan else ""))

        texts = {}
        for name, path in (("README.md", "docs/package-readme.md"), ("LICENSE", "LICENSE"),
                           ("CHANGELOG.md", "CHANGELOG.md")):
            with open(os.path.join(ROOT, path), encoding="utf-8") as text:
                texts[name] = text.read()
        try:
            package = package_manifests.write_nupkg(os.path.join(out, "nuget"), releases[0], dlls, texts,
                                                    signed=plan is not None)
        except ValueError as error:
            raise ReleaseError(f"the NuGet package: {error}") from error
        print(f"release: wrote {package}")
        try:
            managed = quell_net_package.pack(releases[0]["mtime"], os.path.join(out, "nuget"))
        except subprocess.CalledProcessError as error:
            raise ReleaseError(f"Quell.Net: {' '.join(error.cmd)} failed") from error
        print(f"release: wrote {managed}")
        try:
            module = powershell_module.write_release(os.path.join(out, "powershell"), releases[0], dlls)
        except powershell_module.ModuleError as error:
            raise ReleaseError(str(error)) from error
        print(f"release: wrote {', '.join(module)}")

    listed = sorted(bundles) + [package, managed] + module
    with open(os.path.join(out, SUMS), "w", encoding="ascii", newline="\n") as sums:
        for path in listed:
            sums.write(f"{sha256(path)}  {os.path.relpath(path, out).replace(os.sep, '/')}\n")

    url = environ.get("QUELL_RELEASE_URL")
    if url:
        hashes = {release["architecture"]: sha256(os.path.join(out, release["bundle"] + ".zip"))
                  for release in releases}
        for written in package_manifests.write_manifests(out, releases, hashes, url):
            print(f"release: wrote {written}")
    else:
        print("release: no QUELL_RELEASE_URL (the folder the release is downloaded from): "
              "no winget or Scoop manifests")


def read_sums(folder):
    path = os.path.join(folder, SUMS)
    if not os.path.isfile(path):
        raise ReleaseError(f"{folder} holds no {SUMS}")
    listed = []
    with open(path, encoding="ascii") as sums:
        for line in sums:
            digest, _, name = line.rstrip("\r\n").partition("  ")
            if len(digest) != 64 or not name or name.startswith("/") or ".." in name.split("/"):
                raise ReleaseError(f"{SUMS} has a line that is not a checksum of a file of the release: {line!r}")
            listed.append((digest.lower(), name.lstrip("*")))
    return listed


def verify_release(release, out, trees, environ):
    """Checks a downloaded release; raises ReleaseError at the first fault."""
    listed = read_sums(release)
    for digest, name in listed:
        path = os.path.join(release, name)
        if not os.path.isfile(path):
            raise ReleaseError(f"{name} is listed in {SUMS} but missing from {release}")
        if sha256(path) != digest:
            raise ReleaseError(f"{name} does not match its checksum in {SUMS}")
    print(f"verify: the {len(listed)} files of {SUMS} match their checksums")

    rebuild = dict(environ)
    for name in ("QUELL_SIGN_PKCS12", "QUELL_SIGN_PASSWORD_FILE", "QUELL_RELEASE_URL"):
        rebuild.pop(name, None)
    rebuild["QUELL_SIGNATURES"] = os.path.join(release, SIGNATURES)
    if not os.path.isdir(rebuild["QUELL_SIGNATURES"]):
        raise ReleaseError(f"{release} holds no {SIGNATURES}/ folder: nothing to attach to the rebuild")
    if os.path.exists(out):
        shutil.rmtree(out)
    make_release(out, trees, rebuild)
    for digest, name in listed + [(None, SUMS)]:
        rebuilt = os.path.join(out, name)
        if not os.path.isfile(rebuilt) or sha256(rebuilt) != sha256(os.path.join(release, name)):
            raise ReleaseError(f"{name} differs from the rebuild of these sources with the release's signatures")
    print("verify: a rebuild of these sources with the release's signatures attached gives the same files")

    cafile = environ.get("QUELL_VERIFY_CAFILE")
    checked = 0
    for tree in trees:
        info = read_tree(tree)
        with tempfile.TemporaryDirectory() as work:
            with zipfile.ZipFile(os.path.join(release, info["bundle"] + ".zip")) as bundle:
                bundle.extractall(work)
            for image in info["images"]:
                verify_image(os.path.join(work, info["bundle"], image),
                             f"{info['bundle']}/{image}", cafile)
                checked += 1
    if cafile:
        print(f"verify: the {checked} signatures are valid and chain to {cafile}")
    else:
        print(f"verify: the {checked} signatures are valid; the signer's chain was not checked "
              "(set QUELL_VERIFY_CAFILE to the CA certificates it must chain to)")


def main(argv):
    try:
        if len(argv) >= 3 and argv[0] == "dist":
            make_release(argv[1], argv[2:], os.environ)
        elif len(argv) >= 4 and argv[0] == "verify":
            verify_release(argv[1], argv[2], argv[3:], os.environ)
            print("verify: the release is this commit's")
        else:
            sys.stderr.write(__doc__)
            return 2
    except ReleaseError as error:
        print(f"{'verify' if argv[0] == 'verify' else 'release'}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
