#!/usr/bin/python3
"""A signed release end to end, with a throwaway CA, code-signing key and
timestamp authority (on the loopback address): make dist signs the six images,
each verifies against the CA and shows its timestamp, a changed byte fails,
the signed programs run under Wine; the detached signatures attached to a
second, clean build give the same files; make verify-release passes on the
release and fails, naming the file, on a changed bundle, a missing signature
and a signature of another file; the manifests pass their checks and a wrong
hash does not; the unsigned release says so in one line.

Usage: release_test.py WORK [NUGET_TEST]   (from the source tree, after make dist)
NUGET_TEST, when given, is a python script run with the signed release's .nupkg and a work folder.
"""
import http.server
import json
import os
import re
import secrets
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path[:0] = [os.path.join(ROOT, "tools"), os.path.join(ROOT, "tools", "release")]
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import architectures  # noqa: E402
import check_manifests  # noqa: E402
import release  # noqa: E402

SCHEMAS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas")
ARCHITECTURES = architectures.NAMES
IMAGES = ("Quell.dll", "quell.exe")
failures = []


def expect(what, holds, detail=""):
    print(f"  {'ok  ' if holds else 'FAIL'} {what}")
    if not holds:
        print("       " + str(detail).strip().replace("\n", "\n       "))
        failures.append(what)


def run(command, **options):
    options.setdefault("cwd", ROOT)
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, text=True, errors="replace", **options)


def openssl(folder, *arguments):
    subprocess.run(["openssl", *arguments], cwd=folder, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)


def make_keys(folder, password):
    """A CA, a code-signing certificate in a PKCS#12 file, and a timestamping certificate."""
    with open(os.path.join(folder, "password"), "w") as secret:
        secret.write(password)
    openssl(folder, "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.crt",
            "-days", "30", "-subj", "/CN=Quell Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    for name, usage in (("signer", "codeSigning"), ("tsa", "critical,timeStamping")):
        with open(os.path.join(folder, name + ".ext"), "w") as extensions:
            extensions.write(f"extendedKeyUsage={usage}\nkeyUsage=critical,digitalSignature\nbasicConstraints=CA:FALSE\n")
        openssl(folder, "req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out", name + ".csr",
                "-subj", f"/CN=Quell Test {name}")
        openssl(folder, "x509", "-req", "-in", name + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-set_serial",
                str(secrets.randbits(63)), "-out", name + ".crt", "-days", "30", "-extfile", name + ".ext")
    openssl(folder, "pkcs12", "-export", "-inkey", "signer.key", "-in", "signer.crt", "-certfile", "ca.crt",
            "-out", "signer.p12", "-passout", "file:password")
    with open(os.path.join(folder, "tsa.cnf"), "w") as config:
        config.write("[tsa]\ndefault_tsa = tsa_config\n[tsa_config]\nserial = tsa.serial\n"
                     "signer_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256\n"
                     "accuracy = secs:1\ness_cert_id_alg = sha256\n")
    with open(os.path.join(folder, "tsa.serial"), "w") as serial:
        serial.write("01\n")


def serve_timestamps(folder):
    """An RFC 3161 responder on the loopback address (openssl ts -reply); returns its URL."""
    lock = threading.Lock()

    class Responder(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            query = self.rfile.read(int(self.headers["Content-Length"]))
            with lock, tempfile.TemporaryDirectory() as work:
                with open(os.path.join(work, "query"), "wb") as out:
                    out.write(query)
                answered = subprocess.run(
                    ["openssl", "ts", "-reply", "-config", "tsa.cnf", "-queryfile", os.path.join(work, "query"),
                     "-inkey", "tsa.key", "-signer", "tsa.crt", "-chain", "ca.crt",
                     "-out", os.path.join(work, "reply")], cwd=folder, capture_output=True)
                reply = open(os.path.join(work, "reply"), "rb").read() if answered.returncode == 0 else b""
            self.send_response(200 if reply else 500)
            self.send_header("Content-Type", "application/timestamp-reply")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply)

        def log_message(self, *arguments):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Responder)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://127.0.0.1:{server.server_port}/"


def tree_info():
    with open(os.path.join(ROOT, "build-dist", "release.json"), encoding="utf-8") as info:
        return json.load(info)


def unpack(bundle, folder):
    with zipfile.ZipFile(bundle) as archive:
        archive.extractall(folder)


def verify(image, cafile):
    return run([release.osslsigncode(), "verify", "-CAfile", cafile, "-TSA-CAfile", cafile, "-in", image])


def same_files(first, second):
    """The relative paths whose bytes differ, or that only one side has."""
    def listing(folder):
        return {os.path.relpath(os.path.join(path, name), folder)
                for path, _, names in os.walk(folder) for name in names}
    differ = []
    for name in sorted(listing(first) | listing(second)):
        a, b = os.path.join(first, name), os.path.join(second, name)
        if not (os.path.isfile(a) and os.path.isfile(b)) or open(a, "rb").read() != open(b, "rb").read():
            differ.append(name)
    return differ


def main(argv):
    if len(argv) not in (1, 2):
        sys.exit(__doc__)
    work = os.path.abspath(argv[0])
    shutil.rmtree(work, ignore_errors=True)
    keys = os.path.join(work, "keys")
    os.makedirs(keys)
    password = "pw-" + secrets.token_hex(12)
    make_keys(keys, password)
    ca = os.path.join(keys, "ca.crt")
    version = tree_info()["version"]
    url = f"https://example.org/quell/{version}/"
    signed = os.path.join(work, "signed")
    signing = [f"QUELL_SIGN_PKCS12={keys}/signer.p12", f"QUELL_SIGN_PASSWORD_FILE={keys}/password",
               f"QUELL_SIGN_TIMESTAMP_URL={serve_timestamps(keys)}", f"QUELL_RELEASE_URL={url}",
               f"QUELL_VERIFY_CAFILE={ca}"]

    print("make dist, signed")
    made = run(["make", "--no-print-directory", "dist", f"DIST={signed}", *signing])
    expect("make dist signs and packages", made.returncode == 0, made.stdout[-3000:])
    expect("the password appears nowhere in make dist's output", password not in made.stdout)
    if made.returncode != 0:
        return 1
    summed = {name for _, name in release.read_sums(signed)}
    shipped = {os.path.relpath(os.path.join(path, name), signed).replace(os.sep, "/")
               for path, _, names in os.walk(signed) for name in names if name.endswith((".zip", ".nupkg"))}
    expect(f"{release.SUMS} lists exactly the bundles and packages", summed == shipped,
           f"listed: {sorted(summed)}; shipped: {sorted(shipped)}")
    unpacked = os.path.join(work, "unpacked")
    for bundle in sorted(name for name in os.listdir(signed) if name.endswith(".zip")):
        unpack(os.path.join(signed, bundle), unpacked)
    info = {architecture: release.read_tree(os.path.join(ROOT, "build-dist" + suffix))
            for architecture, suffix in zip(ARCHITECTURES, ("", "-x64", "-arm64"))}
    for architecture in ARCHITECTURES:
        for image in IMAGES:
            path = os.path.join(unpacked, info[architecture]["bundle"], "bin", image)
            checked = verify(path, ca)
            expect(f"{architecture} {image} is signed and verifies against the CA", checked.returncode == 0,
                   checked.stdout[-2000:])
            stamped = [line for line in checked.stdout.splitlines() if "Timestamp time:" in line]
            when = stamped[0].split("time:", 1)[1].strip() if stamped else ""
            shown = when and abs(time.mktime(time.strptime(when, "%b %d %H:%M:%S %Y %Z")) -
                                 time.mktime(time.gmtime())) < 86400
            expect(f"{architecture} {image}'s signature shows its timestamp", bool(shown), checked.stdout[-1500:])
            expect(f"{architecture} {image}'s detached signature is published",
                   os.path.isfile(release.signature_path(os.path.join(signed, "signatures"), architecture, image)))

    dll = os.path.join(unpacked, info["x86"]["bundle"], "bin", "Quell.dll")
    changed = os.path.join(work, "changed.dll")
    data = bytearray(open(dll, "rb").read())
    data[0x400] ^= 1
    open(changed, "wb").write(data)
    expect("a signed image with one changed byte fails verification", verify(changed, ca).returncode != 0)

    print("the signed programs under Wine")
    for architecture in ("x86", "x64"):
        folder = os.path.join(unpacked, info[architecture]["bundle"], "bin")
        ran = run([os.path.join(ROOT, "tools", "wine-session.sh"), "wine", "quell.exe", "status"], cwd=folder)
        expect(f"the signed {architecture} quell.exe loads the signed Quell.dll and answers status",
               ran.returncode == 0 and "Quell.dll" in ran.stdout, ran.stdout[-1500:])
    emulated = os.path.join(work, "arm64")
    unpack(os.path.join(signed, info["arm64"]["bundle"] + ".zip"), emulated)
    ran = run([sys.executable, os.path.join(ROOT, "tests", "arm64", "run_emulated.py"), "--wine",
               os.path.join(ROOT, ".cache", "wine-arm64"), "--tree", emulated, "--run",
               os.path.join(emulated, info["arm64"]["bundle"], "bin", "quell.exe"), "status"])
    expect("the signed arm64 quell.exe loads the signed Quell.dll and answers status (emulated)",
           ran.returncode == 0 and "Quell.dll" in ran.stdout, ran.stdout[-1500:])

    print("the manifests")
    faults = check_manifests.check(signed, SCHEMAS, version)
    expect("the manifests pass their schemas and agree with the release", not faults, "\n".join(faults))
    with zipfile.ZipFile(os.path.join(signed, "nuget", f"Quell.{version}.nupkg")) as package:
        named = re.search(r'<repository [^>]*?(?: commit="(\w*)")? />', package.read("Quell.nuspec").decode("utf-8"))
    expect("the NuGet package names the commit it was built from, or none when the sources are no commit's",
           named and (named[1] or "") == info["x86"]["sourceCommit"], f"release.json: {info['x86']['sourceCommit']!r}")
    wrong = os.path.join(work, "wrong-hash")
    shutil.copytree(signed, wrong)
    scoop = os.path.join(wrong, "scoop", "quell.json")
    manifest = json.load(open(scoop, encoding="utf-8"))
    manifest["architecture"]["64bit"]["hash"] = "0" * 64
    json.dump(manifest, open(scoop, "w", encoding="utf-8"))
    faults = check_manifests.check(wrong, SCHEMAS, version)
    expect("a manifest with a wrong hash fails the checks", any("64bit hash" in fault for fault in faults),
           "\n".join(faults))

    print("a second, clean build with the published signatures attached")
    attached = os.path.join(work, "attached")
    made = run(["make", "--no-print-directory", "dist", f"DIST={attached}", f"DIST_BUILD={work}/clean",
                f"QUELL_SIGNATURES={signed}/signatures", f"QUELL_RELEASE_URL={url}", f"QUELL_VERIFY_CAFILE={ca}"])
    expect("make dist attaches the published signatures", made.returncode == 0, made.stdout[-3000:])
    differ = same_files(signed, attached)
    expect("it gives the same signed images, bundles, package, checksums and manifests", not differ,
           "differ: " + ", ".join(differ))

    print("make verify-release")
    checks = [("the release", lambda folder: None, 0, None)]

    def change_bundle(folder):
        path = os.path.join(folder, info["x64"]["bundle"] + ".zip")
        data = bytearray(open(path, "rb").read())
        data[len(data) // 2] ^= 1
        open(path, "wb").write(data)

    def drop_signature(folder):
        os.remove(release.signature_path(os.path.join(folder, "signatures"), "arm64", "quell.exe"))

    def swap_signature(folder):
        folder = os.path.join(folder, "signatures", "x86")
        shutil.copyfile(os.path.join(folder, "quell.exe.pem"), os.path.join(folder, "Quell.dll.pem"))

    def repack_bundle(folder):
        """A valid zip with one file changed, and its SHA256SUMS line rewritten to match."""
        name = info["x86"]["bundle"] + ".zip"
        path = os.path.join(folder, name)
        with zipfile.ZipFile(path) as original:
            members = [(entry, original.read(entry)) for entry in original.infolist()]
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as repacked:
            for entry, data in members:
                if entry.filename.endswith("/bin/quell.exe"):
                    data = data[:-1] + bytes([data[-1] ^ 1])
                repacked.writestr(entry, data)
        sums = os.path.join(folder, release.SUMS)
        lines = open(sums, encoding="ascii").read().splitlines()
        lines = [f"{release.sha256(path)}  {name}" if line.endswith("  " + name) else line for line in lines]
        open(sums, "w", encoding="ascii", newline="\n").write("\n".join(lines) + "\n")

    checks += [("a bundle with one changed byte", change_bundle, 1, info["x64"]["bundle"] + ".zip"),
               ("a bundle repacked with one changed file and its checksum rewritten", repack_bundle, 1,
                info["x86"]["bundle"] + ".zip"),
               ("a missing signature", drop_signature, 1, "arm64/quell.exe"),
               ("a signature of another image", swap_signature, 1, "x86/Quell.dll")]
    for what, spoil, status, named in checks:
        copy = os.path.join(work, "release-copy")
        shutil.rmtree(copy, ignore_errors=True)
        shutil.copytree(signed, copy)
        spoil(copy)
        checked = run(["make", "--no-print-directory", "verify-release", f"RELEASE={copy}",
                       f"VERIFY_BUILD={work}/verify", f"QUELL_VERIFY_CAFILE={ca}"])
        named_ok = named is None or named in checked.stdout
        expect(f"make verify-release on {what}: exit {'0' if status == 0 else 'non-zero'}"
               + (f", naming {named}" if named else ""),
               (checked.returncode == 0) == (status == 0) and named_ok, checked.stdout[-2500:])
    checked = run(["make", "--no-print-directory", "verify-release", f"RELEASE={signed}",
                   f"VERIFY_BUILD={work}/verify", "QUELL_VERIFY_CAFILE="])
    expect("without a CA file verify-release passes and says the signer's chain was not checked",
           checked.returncode == 0 and "not checked" in checked.stdout, checked.stdout[-2500:])

    print("unsigned")
    plain = run([sys.executable, os.path.join(ROOT, "tools", "release", "release.py"), "dist", os.path.join(work, "plain"),
                 "build-dist", "build-dist-x64", "build-dist-arm64"],
                env={name: value for name, value in os.environ.items() if not name.startswith("QUELL_")})
    said = [line for line in plain.stdout.splitlines() if "not signed" in line]
    expect("without a key the release is made unsigned and says so in one line",
           plain.returncode == 0 and len(said) == 1 and not os.path.isdir(os.path.join(work, "plain", "signatures")),
           plain.stdout)
    faults = check_manifests.check_nuget(os.path.join(work, "plain"), SCHEMAS, version,
                                         check_manifests.bundles_of(os.path.join(work, "plain"), version))
    expect("its NuGet package passes its checks, its readme saying the DLLs are not signed", not faults,
           "\n".join(faults))

    if len(argv) == 2:
        print("the NuGet package in a .NET program")
        package = os.path.join(signed, "nuget", f"Quell.{version}.nupkg")
        client = run([sys.executable, argv[1], package, os.path.join(work, "nuget")])
        print(client.stdout)
        expect("the .NET program gets the package's Quell.dll of each architecture", client.returncode == 0)

    print(f"release test: {len(failures)} failed" if failures else "release test: all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
