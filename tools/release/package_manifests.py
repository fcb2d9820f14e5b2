"""The release's packages, written from the trees' release.json and the bundles'
own checksums: the NuGet package and the winget and Scoop manifests. Nothing
here is kept by hand; the same inputs give the same bytes."""
import hashlib
import json
import os
import re
import time
import zipfile

import architectures
import make_bundle

PACKAGE_ID = "Quell"
WINGET_ID = "Quell.Quell"
PUBLISHER = "The Quell developers"
LICENSE = "MIT"
LOCALE = "en-US"
MANIFEST_VERSION = "1.12.0"
COMMAND = "quell"

# Each architecture as the package managers name it: NuGet by runtime identifier,
# winget as the build does.
NUGET_RUNTIME = architectures.RUNTIME
# The package's parts besides the DLLs: its copy of LICENSE, and the MSBuild
# targets for .NET Framework projects (buildTransitive/ for the projects that
# get the package through another one, build/ for packages.config and older NuGet).
NUGET_LICENSE = "LICENSE.txt"
NUGET_TARGETS = f"build/{PACKAGE_ID}.targets"
NUGET_TRANSITIVE_TARGETS = f"buildTransitive/{PACKAGE_ID}.targets"
# Where the package's readme says whether the DLLs are signed.
README_SIGNATURE = "@SIGNATURE@"


def _tag(text):
    return hashlib.sha256(text.encode("utf-8")).hexdigest()


def _xml(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;"))


def copyright_line(license_text):
    """The copyright line of LICENSE."""
    found = re.search(r"^Copyright .+$", license_text, re.M)
    if not found:
        raise ValueError("LICENSE has no Copyright line")
    return found[0].strip()


def release_notes(changelog, version):
    """The text of CHANGELOG.md's section '## <version> (...)', without its heading."""
    found = re.search(rf"^## {re.escape(version)}\b.*\n((?:(?!## ).*\n?)*)", changelog, re.M)
    if not found or not found[1].strip():
        raise ValueError(f"CHANGELOG.md has no section for {version}")
    return found[1].strip()


def nuspec(release, copyright_text, notes):
    commit = f' commit="{_xml(release["sourceCommit"])}"' if release.get("sourceCommit") else ""
    return f"""<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd">
  <metadata>
    <id>{PACKAGE_ID}</id>
    <version>{_xml(release["version"])}</version>
    <authors>{PUBLISHER}</authors>
    <license type="expression">{LICENSE}</license>
    <licenseUrl>https://licenses.nuget.org/{LICENSE}</licenseUrl>
    <readme>README.md</readme>
    <projectUrl>{_xml(release["homepage"])}</projectUrl>
    <repository type="git" url="{_xml(release["repository"])}"{commit} />
    <description>{_xml(release["description"])}: the native Quell.dll for x86, x64 and ARM64 processes.</description>
    <copyright>{_xml(copyright_text)}</copyright>
    <releaseNotes>{_xml(notes)}</releaseNotes>
    <tags>native windows shutdown reboot logoff standby hibernate lock power</tags>
  </metadata>
</package>
"""


def msbuild_targets():
    """build/Quell.targets: Quell.dll in .NET Framework programs (its comment says how)."""
    runtimes = "$(_QuellRuntimes)"
    any_cpu, one = [], []
    for architecture, runtime in NUGET_RUNTIME.items():
        source = f"{runtimes}{runtime}\\native\\Quell.dll"
        any_cpu.append(f'    <None Include="{source}" Link="{architecture}\\Quell.dll" '
                       f'Condition="\'$(_QuellLayout)\' == \'AnyCPU\'" {{copy}} />')
        one.append(f'    <None Include="{source}" Link="Quell.dll" '
                   f'Condition="\'$(_QuellLayout)\' == \'{architecture}\'" {{copy}} />')
    items = "\n".join(any_cpu + one).replace("{copy}", 'CopyToOutputDirectory="PreserveNewest" Visible="false"')
    known = " and ".join(f"'$(_QuellLayout)' != '{layout}'" for layout in ["AnyCPU", "none", *NUGET_RUNTIME])
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Written by Quell's make dist. .NET Framework projects do not read runtimes/
     (packages.config ones never, SDK-style ones only when built for a runtime
     identifier): here Quell.dll becomes an item copied to the output. A program
     built for x86, x64 or ARM64 (PlatformTarget) gets that build beside it; one
     built AnyCPU gets all three, in x86\\, x64\\ and arm64\\ beside it, and loads
     the one of its process. Items copied to the output reach the programs that
     reference a class library using the package as well. .NET (Core) takes
     runtimes/ itself: nothing here applies to it. -->
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup Condition="'$(TargetFrameworkIdentifier)' == '.NETFramework'">
    <_QuellRuntimes>$([MSBuild]::NormalizeDirectory('$(MSBuildThisFileDirectory)..', 'runtimes'))</_QuellRuntimes>
    <!-- Built for a runtime identifier, an SDK-style project copies runtimes/<rid>/native/ itself. -->
    <_QuellLayout Condition="'$(UsingMicrosoftNETSdk)' == 'true' and '$(RuntimeIdentifier)' != ''">none</_QuellLayout>
    <_QuellLayout Condition="'$(_QuellLayout)' == '' and ('$(PlatformTarget)' == '' or '$(PlatformTarget)' == 'AnyCPU')">AnyCPU</_QuellLayout>
    <_QuellLayout Condition="'$(_QuellLayout)' == ''">$(PlatformTarget)</_QuellLayout>
  </PropertyGroup>
  <ItemGroup Condition="'$(TargetFrameworkIdentifier)' == '.NETFramework'">
{items}
  </ItemGroup>
  <Target Name="_QuellCheckPlatform" BeforeTargets="Build"
          Condition="'$(TargetFrameworkIdentifier)' == '.NETFramework' and {known}">
    <Warning Code="QUELL001" Text="Quell.dll has no build for PlatformTarget $(PlatformTarget): x86, x64, ARM64 and AnyCPU are served" />
  </Target>
</Project>
"""


def transitive_targets():
    """buildTransitive/Quell.targets: build/'s, imported (one text for both)."""
    return f"""<?xml version="1.0" encoding="utf-8"?>
<!-- Written by Quell's make dist: a project that gets the package through another one takes {NUGET_TARGETS} too. -->
<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <Import Project="$(MSBuildThisFileDirectory)..\\build\\{PACKAGE_ID}.targets" />
</Project>
"""


def package_readme(template, signed):
    """The package's readme: says the DLLs are signed only when they are."""
    if template.count(README_SIGNATURE) != 1:
        raise ValueError(f"the package readme must hold {README_SIGNATURE} once, where it says whether "
                         "the DLLs are signed")
    return template.replace(README_SIGNATURE, "signed (Authenticode, SHA-256)" if signed else
                            "not signed (this release was made without a signing key)")


def write_nupkg(folder, release, dlls, texts, signed):
    """Writes folder/<id>.<version>.nupkg with each architecture's Quell.dll.
    texts: the package readme's template, LICENSE and CHANGELOG.md, by those names;
    signed: whether the DLLs carry their signatures."""
    version = release["version"]
    nuspec_text = nuspec(release, copyright_line(texts["LICENSE"]), release_notes(texts["CHANGELOG.md"], version))
    parts = {"README.md": package_readme(texts["README.md"], signed),
             NUGET_LICENSE: texts["LICENSE"],
             NUGET_TARGETS: msbuild_targets(),
             NUGET_TRANSITIVE_TARGETS: transitive_targets()}
    parts = {name: text.encode("utf-8") for name, text in parts.items()}
    for architecture, dll in sorted(dlls.items()):
        with open(dll, "rb") as image:
            parts[f"runtimes/{NUGET_RUNTIME[architecture]}/native/Quell.dll"] = image.read()
    return write_package(folder, PACKAGE_ID, release, nuspec_text, parts,
                         "native windows shutdown reboot logoff standby hibernate lock power")


def write_package(folder, package_id, release, nuspec_text, files, keywords):
    """Writes folder/<id>.<version>.nupkg: the nuspec, files (name: bytes) and the
    parts NuGet adds (relationships, core properties, content types), named and
    dated from the release alone."""
    version = release["version"]
    nuspec_name = f"{package_id}.nuspec"
    properties = f"package/services/metadata/core-properties/{_tag(package_id + version)[:32]}.psmdcp"
    parts = dict(files)
    parts[nuspec_name] = nuspec_text.encode("utf-8")
    parts["_rels/.rels"] = (
        '<?xml version="1.0" encoding="utf-8"?>'
        '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        f'<Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" Target="/{nuspec_name}" '
        f'Id="R{_tag(nuspec_name)[:16].upper()}" />'
        '<Relationship Type="http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties" '
        f'Target="/{properties}" Id="R{_tag(properties)[:16].upper()}" />'
        '</Relationships>').encode("utf-8")
    parts[properties] = (
        '<?xml version="1.0" encoding="utf-8"?>'
        '<coreProperties xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" '
        'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance" '
        'xmlns="http://schemas.openxmlformats.org/package/2006/metadata/core-properties">'
        f'<dc:creator>{_xml(PUBLISHER)}</dc:creator><dc:description>{_xml(release["description"])}</dc:description>'
        f'<dc:identifier>{package_id}</dc:identifier><version>{_xml(version)}</version>'
        f'<keywords>{_xml(keywords)}</keywords>'
        '<lastModifiedBy>Quell release</lastModifiedBy></coreProperties>').encode("utf-8")
    extensions = sorted({name.rsplit(".", 1)[1] for name in parts if "." in name.rsplit("/", 1)[-1]} - {"rels"})
    types = ['<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml" />']
    for extension in extensions:
        kind = ("application/vnd.openxmlformats-package.core-properties+xml" if extension == "psmdcp"
                else "application/octet")
        types.append(f'<Default Extension="{extension}" ContentType="{kind}" />')
    parts["[Content_Types].xml"] = (
        '<?xml version="1.0" encoding="utf-8"?>'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        + "".join(types) + '</Types>').encode("utf-8")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, f"{package_id}.{version}.nupkg")
    write_zip(path, parts, release["mtime"])
    return path


def write_zip(path, parts, mtime):
    """A zip of parts (name: bytes) in name order, every entry dated mtime: the same parts, the same bytes."""
    with zipfile.ZipFile(path + ".part", "w") as archive:
        for name in sorted(parts):
            entry = make_bundle.entry(name, mtime, make_bundle.FILE_MODE)
            archive.writestr(entry, parts[name], compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(path + ".part", path)


def _yaml(value):
    # A JSON string is a YAML double-quoted scalar: nothing is read as a number or a date.
    return json.dumps(value, ensure_ascii=False)


def _yaml_file(lines):
    header = "# Written by Quell's make dist; regenerate rather than edit.\n"
    return header + "\n".join(lines) + "\n"


def winget_manifests(releases, hashes, url):
    """The three files of a multi-file winget manifest, by file name."""
    version = releases[0]["version"]
    date = time.strftime("%Y-%m-%d", time.gmtime(releases[0]["mtime"]))
    head = [f"PackageIdentifier: {WINGET_ID}", f"PackageVersion: {_yaml(version)}"]
    tail = [f"ManifestVersion: {MANIFEST_VERSION}"]
    installer = head + ["InstallerType: zip", "NestedInstallerType: portable", "Commands:", f"  - {COMMAND}",
                        f"ReleaseDate: {_yaml(date)}", "Installers:"]
    for release in releases:
        installer += [
            f"  - Architecture: {release['architecture']}",
            f"    InstallerUrl: {_yaml(url + release['bundle'] + '.zip')}",
            f"    InstallerSha256: {hashes[release['architecture']].upper()}",
            "    NestedInstallerFiles:",
            f"      - RelativeFilePath: {_yaml(release['bundle'] + chr(92) + 'bin' + chr(92) + 'quell.exe')}",
            f"        PortableCommandAlias: {COMMAND}",
        ]
    locale = head + [
        f"PackageLocale: {LOCALE}", f"Publisher: {_yaml(PUBLISHER)}", "PackageName: Quell",
        f"PackageUrl: {_yaml(releases[0]['homepage'])}", f"License: {LICENSE}",
        f"ShortDescription: {_yaml(releases[0]['description'])}", f"Moniker: {COMMAND}",
        "Tags:", "  - shutdown", "  - reboot", "  - logoff", "  - standby", "  - hibernate", "  - power",
    ]
    return {
        f"{WINGET_ID}.yaml": _yaml_file(head + [f"DefaultLocale: {LOCALE}", "ManifestType: version"] + tail),
        f"{WINGET_ID}.installer.yaml": _yaml_file(installer + ["ManifestType: installer"] + tail),
        f"{WINGET_ID}.locale.{LOCALE}.yaml": _yaml_file(locale + ["ManifestType: defaultLocale"] + tail),
    }


def scoop_manifest(releases, hashes, url):
    version = releases[0]["version"]
    pattern = url.replace(version, "$version")
    architecture, updates = {}, {}
    for release in releases:
        name = architectures.SCOOP[release["architecture"]]
        bundle = release["bundle"]
        architecture[name] = {"url": url + bundle + ".zip", "hash": hashes[release["architecture"]],
                              "extract_dir": bundle}
        updates[name] = {"url": pattern + bundle.replace(version, "$version") + ".zip",
                         "extract_dir": bundle.replace(version, "$version")}
    if pattern != url:
        # Each release in a folder of its version: the folder above lists them.
        above = pattern[:pattern.index("$version")]
        checkver = {"url": above, "regex": "(\\d+\\.\\d+\\.\\d+)/"}
    else:
        # One folder for the latest release: its checksums name the version.
        first = architectures.bundle(releases[0]["architecture"], "@") + ".zip"
        checkver = {"url": url + "SHA256SUMS", "regex": first.replace(".", "\\.").replace("@", "(\\d+\\.\\d+\\.\\d+)")}
    manifest = {
        "version": version,
        "description": releases[0]["description"],
        "homepage": releases[0]["homepage"],
        "license": LICENSE,
        "architecture": architecture,
        "bin": "bin\\quell.exe",
        "checkver": checkver,
        "autoupdate": {"architecture": updates,
                       "hash": {"url": "$baseurl/SHA256SUMS", "regex": "$sha256\\s+\\*?$basename"}},
    }
    return json.dumps(manifest, indent=4, ensure_ascii=False) + "\n"


def write_manifests(out, releases, hashes, url):
    if not url.endswith("/"):
        url += "/"
    files = {os.path.join(out, "winget", name): text
             for name, text in winget_manifests(releases, hashes, url).items()}
    files[os.path.join(out, "scoop", "quell.json")] = scoop_manifest(releases, hashes, url)
    for path, text in files.items():
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8", newline="\n") as manifest:
            manifest.write(text)
    return list(files)
