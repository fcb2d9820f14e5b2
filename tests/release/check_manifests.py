#!/usr/bin/python3
"""Checks a release's package manifests against the published schemas and
against the release itself: each hash is that bundle's SHA-256, each URL ends
with its bundle's name, the versions agree, the winget identifier is the same
in all three files, and the keys are those the schemas know (they allow
unknown ones). The NuGet package: its nuspec against nuspec.xsd and its
metadata (licence, copyright, release notes, repository), its parts (the licence
file, the MSBuild targets for .NET Framework, which nuget_client_test.py puts to
work), each Quell.dll's machine type and
bytes against the bundles', and a readme that says "not signed" exactly when a
DLL carries no signature.

Usage: check_manifests.py RELEASE SCHEMAS VERSION  (Debian's python3-yaml,
python3-jsonschema and xmllint). Exit 1 with one line for each fault.
"""
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile

import jsonschema
import yaml

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "tools"))
from architectures import BUNDLE_SUFFIX, MACHINE, RUNTIME, SCOOP  # noqa: E402
import pe  # noqa: E402

WINGET = {"version": "manifest.version.1.12.0.json", "installer": "manifest.installer.1.12.0.json",
          "defaultLocale": "manifest.defaultLocale.1.12.0.json"}
SCOOP_ARCHITECTURE = {name: architecture for architecture, name in SCOOP.items()}
NUGET_PARTS = ("[Content_Types].xml", "_rels/.rels", "README.md", "LICENSE.txt", "build/Quell.targets",
               "buildTransitive/Quell.targets")


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def schema_faults(schema_path, document, name):
    with open(schema_path, encoding="utf-8") as text:
        schema = json.load(text)
    faults = [f"{name}: {error.message} (at {'/'.join(map(str, error.path)) or 'the top'})"
              for error in jsonschema.Draft7Validator(schema).iter_errors(document)]
    return faults, schema


def unknown_keys(document, schema, name):
    """Keys the schema does not name (its objects allow any)."""
    return [f"{name}: unknown key {key}" for key in document if key not in schema.get("properties", {})]


def bundles_of(release, version):
    found = {}
    for architecture, suffix in BUNDLE_SUFFIX.items():
        name = f"quell-{version}-{suffix}.zip"
        path = os.path.join(release, name)
        if os.path.isfile(path):
            with open(path, "rb") as bundle:
                found[architecture] = (name, sha256(bundle.read()))
    return found


def check_winget(release, schemas, version, bundles):
    folder = os.path.join(release, "winget")
    documents, faults = {}, []
    for file_name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, file_name), encoding="utf-8") as text:
            document = yaml.safe_load(text)
        kind = document.get("ManifestType")
        if kind not in WINGET or kind in documents:
            faults.append(f"winget/{file_name}: ManifestType {kind!r} unexpected or repeated")
            continue
        found, schema = schema_faults(os.path.join(schemas, "winget", WINGET[kind]), document, f"winget/{file_name}")
        faults += found + unknown_keys(document, schema, f"winget/{file_name}")
        documents[kind] = document
    faults += [f"winget: no {kind} manifest" for kind in WINGET if kind not in documents]
    if faults:
        return faults
    identifiers = {document["PackageIdentifier"] for document in documents.values()}
    versions = {document["PackageVersion"] for document in documents.values()}
    if len(identifiers) != 1:
        faults.append(f"winget: the identifier differs between the files: {sorted(identifiers)}")
    if versions != {version}:
        faults.append(f"winget: PackageVersion {sorted(versions)} is not {version}")
    if documents["version"]["DefaultLocale"] != documents["defaultLocale"]["PackageLocale"]:
        faults.append("winget: DefaultLocale is not the locale manifest's PackageLocale")
    installer = documents["installer"]
    item_keys = json.load(open(os.path.join(schemas, "winget", WINGET["installer"]), encoding="utf-8"))
    item_keys = item_keys["definitions"]["Installer"]["properties"]
    if installer.get("InstallerType") != "zip" or installer.get("NestedInstallerType") != "portable":
        faults.append("winget: not a zip with a portable program")
    seen = set()
    for item in installer["Installers"]:
        architecture = item["Architecture"]
        faults += [f"winget: unknown installer key {key}" for key in item if key not in item_keys]
        if architecture not in bundles:
            faults.append(f"winget: an installer for {architecture}, which the release has no bundle for")
            continue
        seen.add(architecture)
        name, digest = bundles[architecture]
        if not item["InstallerUrl"].endswith("/" + name):
            faults.append(f"winget: the {architecture} URL {item['InstallerUrl']} does not end with {name}")
        if item["InstallerSha256"].lower() != digest:
            faults.append(f"winget: the {architecture} hash is not the SHA-256 of {name}")
        nested = item.get("NestedInstallerFiles") or installer.get("NestedInstallerFiles") or []
        programs = [(entry["RelativeFilePath"], entry.get("PortableCommandAlias")) for entry in nested]
        if programs != [(name[:-4] + "\\bin\\quell.exe", "quell")]:
            faults.append(f"winget: the {architecture} installer does not name quell.exe of {name} as quell")
    faults += [f"winget: no installer for {architecture}" for architecture in bundles if architecture not in seen]
    return faults


def check_scoop(release, schemas, version, bundles):
    with open(os.path.join(release, "scoop", "quell.json"), encoding="utf-8") as text:
        manifest = json.load(text)
    faults, _ = schema_faults(os.path.join(schemas, "scoop", "schema.json"), manifest, "scoop/quell.json")
    if manifest.get("version") != version:
        faults.append(f"scoop: version {manifest.get('version')!r} is not {version}")
    architectures = manifest.get("architecture", {})
    for key, architecture in SCOOP_ARCHITECTURE.items():
        entry = architectures.get(key)
        if architecture not in bundles:
            continue
        if not entry:
            faults.append(f"scoop: no {key} entry")
            continue
        name, digest = bundles[architecture]
        if not entry.get("url", "").endswith("/" + name):
            faults.append(f"scoop: the {key} URL does not end with {name}")
        if entry.get("hash", "").lower() != digest:
            faults.append(f"scoop: the {key} hash is not the SHA-256 of {name}")
        if entry.get("extract_dir") != name[:-4]:
            faults.append(f"scoop: the {key} entry does not extract the bundle's top folder")
    if manifest.get("bin") != "bin\\quell.exe":
        faults.append("scoop: bin is not quell.exe")
    updates = manifest.get("autoupdate", {}).get("architecture", {})
    for key, entry in updates.items():
        current = entry.get("url", "").replace("$version", version)
        if current != architectures.get(key, {}).get("url"):
            faults.append(f"scoop: autoupdate's {key} URL does not give this release's URL")
    if "SHA256SUMS" not in manifest.get("autoupdate", {}).get("hash", {}).get("url", ""):
        faults.append("scoop: autoupdate does not take the hashes from SHA256SUMS")
    if "checkver" not in manifest:
        faults.append("scoop: no checkver")
    return faults


def check_nuget(release, schemas, version, bundles):
    path = os.path.join(release, "nuget", f"Quell.{version}.nupkg")
    if not os.path.isfile(path):
        return [f"nuget: no {os.path.relpath(path, release)}"]
    faults = []
    with zipfile.ZipFile(path) as package:
        names = package.namelist()
        faults += [f"nuget: no {part}" for part in NUGET_PARTS + ("Quell.nuspec",) if part not in names]
        if not any(name.startswith("package/services/metadata/core-properties/") and name.endswith(".psmdcp")
                   for name in names):
            faults.append("nuget: no core properties")
        if "Quell.nuspec" in names:
            with tempfile.TemporaryDirectory() as work:
                nuspec = os.path.join(work, "Quell.nuspec")
                with open(nuspec, "wb") as out:
                    out.write(package.read("Quell.nuspec"))
                checked = subprocess.run(["xmllint", "--noout", "--schema", os.path.join(schemas, "nuget", "nuspec.xsd"),
                                          nuspec], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                if checked.returncode != 0:
                    faults.append(f"nuget: the nuspec fails nuspec.xsd: {checked.stdout.strip()}")
            faults += nuspec_faults(package, version)
        signed = []
        for architecture, runtime in RUNTIME.items():
            name = f"runtimes/{runtime}/native/Quell.dll"
            if name not in names:
                faults.append(f"nuget: no {name}")
                continue
            image = package.read(name)
            try:
                read = pe.Image(image)
            except (pe.Malformed, struct.error):
                faults.append(f"nuget: {name} is not a PE image")
                continue
            if read.machine != MACHINE[architecture]:
                faults.append(f"nuget: {name} is not a {runtime} image")
            signed.append(read.directory(pe.CERTIFICATE_DIRECTORY)[1] != 0)
            if architecture in bundles:
                bundle_name = bundles[architecture][0]
                with zipfile.ZipFile(os.path.join(release, bundle_name)) as bundle:
                    if bundle.read(bundle_name[:-4] + "/bin/Quell.dll") != image:
                        faults.append(f"nuget: {name} is not byte for byte the Quell.dll of {bundle_name}")
        if "README.md" in names and signed and ("not signed" in package.read("README.md").decode("utf-8")) == all(signed):
            faults.append(f"nuget: the readme says the DLLs are {'not ' if all(signed) else ''}signed; "
                          f"{sum(signed)} of {len(signed)} are")
    return faults


def nuspec_faults(package, version):
    metadata = ElementTree.fromstring(package.read("Quell.nuspec")).find("{*}metadata")
    field = {element.tag.rsplit("}", 1)[-1]: element for element in metadata}
    text = {name: (element.text or "").strip() for name, element in field.items()}
    licence, repository = field.get("license"), field.get("repository")
    licence_file = package.read("LICENSE.txt").decode("utf-8") if "LICENSE.txt" in package.namelist() else ""
    commit = "" if repository is None else repository.get("commit", "")
    wanted = (
        (f"version {version}", text.get("version") == version),
        ("the licence expression MIT", licence is not None and licence.get("type") == "expression"
         and text["license"] == "MIT"),
        ("an MIT LICENSE.txt that holds its copyright", licence_file.startswith("MIT License")
         and bool(text.get("copyright")) and text["copyright"] in licence_file),
        ("README.md as its readme", text.get("readme") == "README.md"),
        ("release notes", bool(text.get("releaseNotes"))),
        ("a git repository's URL and, if any, a full commit", repository is not None
         and repository.get("type") == "git" and bool(repository.get("url"))
         and re.fullmatch("([0-9a-f]{40})?", commit)),
    )
    return [f"nuget: the nuspec lacks {what}" for what, holds in wanted if not holds]


def check(release, schemas, version):
    bundles = bundles_of(release, version)
    faults = [] if len(bundles) == len(BUNDLE_SUFFIX) else [f"the release has {len(bundles)} bundles of {version}, not {len(BUNDLE_SUFFIX)}"]
    for name, checker in (("winget", check_winget), ("scoop", check_scoop), ("nuget", check_nuget)):
        if name != "nuget" and not os.path.isdir(os.path.join(release, name)):
            faults.append(f"no {name}/ manifests")
            continue
        faults += checker(release, schemas, version, bundles)
    return faults


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__)
    faults = check(*argv)
    for fault in faults:
        print(f"check_manifests: {fault}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
