#!/usr/bin/env python3
"""Proves the release's NuGet package with the .NET SDK's own NuGet client.

usage: nuget_client_test.py PACKAGE.nupkg WORKDIR

A local folder feed in WORKDIR holds the package. A small C# program
(QuellClient.csproj and Program.cs beside this file, and the C# block of
docs/bindings.md as the doc has it) references it at the package's version and
is built for win-x86, win-x64 and win-arm64, the last without an app host so
that it needs no ARM64 host pack (TOOLCHAIN.md: not among the packs served).
Each output must hold the package's runtimes/<rid>/native/Quell.dll of its
machine and no other Quell.dll; built for no runtime, it carries all three.
A .NET Framework 4.8 program (framework/ beside this file) is built with the
package's MSBuild targets for each row of FRAMEWORK_BUILDS, AnyCPU, x86 and x64,
SDK-style on its own or through a class library, and as a packages.config
project: its output must hold the package's Quell.dll files where the row says,
each of its machine. Where Quell.Net.<version>.nupkg lies beside the package (as
in a release's nuget/), the feed serves it too, and a row builds the program
with Quell.Net (its netstandard2.0 build) in place of Quell: Quell.Net.dll and
the Quell.dll files land where the targets say. Nothing runs them: .NET
Framework programs need Wine Mono under Wine, which Debian does not package.
docs/bindings.md's PowerShell block, beside the package unpacked, is run by
PowerShell 7 (the .NET global tool), as a script and as pasted at the prompt,
and must declare every export on the package's Quell.dll of its process's
architecture.
Self-contained win-x64 and win-x86 publishes then run under Wine, in a prefix
of their own in WORKDIR, and call Quell.dll's harmless exports; where the .NET
runtime does not start under Wine that run is skipped, saying what Wine
answered, and does not fail.

The machine's own NuGet sources serve the .NET packs; package source mapping
keeps the id Quell to the local feed, so no registry is asked for it. Packages
are cached in WORKDIR/packages for the next run, but for Quell's own, taken
afresh from the feed every time. Exits 1 with one line per failure.
"""
import glob
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree
import zipfile
from xml.sax.saxutils import quoteattr

sys.dont_write_bytecode = True  # no cache files in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [os.path.join(ROOT, "tools"), os.path.join(ROOT, "tests", "clients")]
from check_bindings import code_blocks, read_export_table  # noqa: E402
from architectures import MACHINE, RUNTIME  # noqa: E402
import pe  # noqa: E402

BINDINGS = os.path.join(ROOT, "docs", "bindings.md")
PROJECT = "QuellClient.csproj"
SOURCES = (PROJECT, "Program.cs")
# NuGet's runtime identifiers, each with the Quell.dll build its processes load.
RUNTIMES = {runtime: architecture for architecture, runtime in RUNTIME.items()}
WITHOUT_APP_HOST = {RUNTIME["arm64"]}  # see the docstring
# The self-contained publishes run under Wine, with the process architecture
# each must report; x86 is the one where the exports' stdcall convention shows.
UNDER_WINE = {RUNTIME["x64"]: "X64", RUNTIME["x86"]: "X86"}
# .NET Framework programs: (what, project, global properties, {path in the output: build of Quell.dll}).
# Built AnyCPU, a program gets a folder for each build; built for one architecture, that build
# beside it. A class library (AnyCPU) passes its folders on; a program that gets the package
# through it (PackageReference's buildTransitive) lays out its own as well.
ANY_CPU = {f"{architecture}/Quell.dll": architecture for architecture in RUNTIMES.values()}
SDK_STYLE, PACKAGES_CONFIG = "FrameworkClient", "PackagesConfigClient"
FRAMEWORK_BUILDS = (
    ("AnyCPU", SDK_STYLE, {}, ANY_CPU),
    ("x86", SDK_STYLE, {"ClientPlatform": "x86"}, {"Quell.dll": "x86"}),
    ("x64", SDK_STYLE, {"ClientPlatform": "x64"}, {"Quell.dll": "x64"}),
    ("for the runtime win-x64", SDK_STYLE, {"RuntimeIdentifier": "win-x64"}, {"Quell.dll": "x64"}),
    ("AnyCPU through a class library", SDK_STYLE, {"QuellThroughLibrary": "true"}, ANY_CPU),
    ("x64 through a class library", SDK_STYLE, {"QuellThroughLibrary": "true", "ClientPlatform": "x64"},
     {"Quell.dll": "x64", **ANY_CPU}),
    ("x86 through a class library that keeps the package to itself", SDK_STYLE,
     {"QuellThroughLibrary": "true", "ClientPlatform": "x86", "LibraryPrivateAssets": "all"}, ANY_CPU),
    ("packages.config, AnyCPU", PACKAGES_CONFIG, {}, ANY_CPU),
    ("packages.config, x64", PACKAGES_CONFIG, {"ClientPlatform": "x64"}, {"Quell.dll": "x64"}),
    ("packages.config, ARM64", PACKAGES_CONFIG, {"ClientPlatform": "ARM64"}, {"Quell.dll": "arm64"}),
    ("with Quell.Net, AnyCPU", SDK_STYLE, {"QuellNet": "true"}, {"Quell.Net.dll": "netstandard2.0", **ANY_CPU}),
    ("with Quell.Net, x86", SDK_STYLE, {"QuellNet": "true", "ClientPlatform": "x86"},
     {"Quell.Net.dll": "netstandard2.0", "Quell.dll": "x86"}),
)
TYPED = "Quell.Net"  # the typed API's package, beside the native one in a release
FEED = "quell-release"          # the local feed's name in nuget.config
DOTNET_SECONDS = 600            # one restore and build, packs downloaded included
WINE_SECONDS = 300              # a program run or a prefix's first start that takes longer has hung

failures = []


def fail(reason):
    failures.append(reason)
    print(f"FAIL: {reason}", flush=True)


def note(text):
    print(text, flush=True)


def read_package(path):
    """(id, version, {rid: Quell.dll bytes}) of a .nupkg."""
    with zipfile.ZipFile(path) as package:
        names = package.namelist()
        nuspecs = [name for name in names if name.endswith(".nuspec") and "/" not in name]
        if len(nuspecs) != 1:
            raise ValueError(f"{len(nuspecs)} .nuspec files at the package's root, expected 1")
        metadata = {element.tag.rsplit("}", 1)[-1]: (element.text or "").strip()
                    for element in ElementTree.fromstring(package.read(nuspecs[0])).iter()}
        dlls = {rid: package.read(f"runtimes/{rid}/native/Quell.dll") for rid in RUNTIMES
                if f"runtimes/{rid}/native/Quell.dll" in names}
    return metadata.get("id"), metadata.get("version"), dlls


def version_numbers(version):
    """The major, minor and build numbers that DllGetVersion reports for a package version."""
    numbers = [int(n) for n in re.match(r"\d+(?:\.\d+)*", version)[0].split(".")]
    return tuple((numbers + [0, 0, 0])[:3])


class Dotnet:
    def __init__(self, work):
        self.work = work
        self.logs = os.path.join(work, "logs")
        self.env = dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1", DOTNET_NOLOGO="1",
                        DOTNET_SKIP_FIRST_TIME_EXPERIENCE="1", DOTNET_CLI_USE_MSBUILD_SERVER="0",
                        MSBUILDDISABLENODEREUSE="1", NUGET_PACKAGES=os.path.join(work, "packages"),
                        NUGET_HTTP_CACHE_PATH=os.path.join(work, "http-cache"))

    def run(self, name, *arguments):
        """Runs dotnet with its output in logs/NAME.log; None on success, else a one-line reason."""
        log = os.path.join(self.logs, name + ".log")
        with open(log, "wb") as out:
            try:
                status = subprocess.run(["dotnet", *arguments], cwd=self.work, env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=out, stderr=subprocess.STDOUT, timeout=DOTNET_SECONDS).returncode
            except subprocess.TimeoutExpired:
                return f"dotnet {arguments[0]} did not finish in {DOTNET_SECONDS} s (log: {log})"
        if status == 0:
            return None
        with open(log, encoding="utf-8", errors="replace") as text:
            errors = [line.strip() for line in text if re.search(r"\berror [A-Z]+\d+:", line)]
        return f"dotnet {arguments[0]} exited {status}: {errors[0] if errors else 'no error line'} (log: {log})"

    def enabled_sources(self):
        """The names of the NuGet sources this machine has configured and enabled."""
        listing = subprocess.run(["dotnet", "nuget", "list", "source"], cwd=self.work, env=self.env,
                                 stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120).stdout
        return re.findall(r"^\s*\d+\.\s+(.+?)\s+\[Enabled\]\s*$", listing, re.M)

    def build(self, verb, project, rid, version, output, *options):
        arguments = [verb, project, "-c", "Release", *(["-r", rid] if rid else []), f"-p:QuellVersion={version}",
                     "-o", output, "--disable-build-servers", "-nologo", "-v:minimal", *options]
        if rid in WITHOUT_APP_HOST:
            arguments.append("-p:UseAppHost=false")
        return self.run(f"{verb}-{rid or 'portable'}", *arguments)


def write_nuget_config(work, feed, machine_sources):
    """The local feed for Quell and Quell.Net alone; the machine's sources for everything else."""
    mapping = "".join(f'    <packageSource key={quoteattr(name)}><package pattern="*" /></packageSource>\n'
                      for name in machine_sources)
    with open(os.path.join(work, "nuget.config"), "w", encoding="utf-8") as config:
        config.write(f"""<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <packageSources>
    <add key="{FEED}" value={quoteattr(feed)} />
  </packageSources>
  <packageSourceMapping>
    <packageSource key="{FEED}"><package pattern="Quell" /><package pattern="{TYPED}" /></packageSource>
{mapping}  </packageSourceMapping>
</configuration>
""")


def write_client(client):
    """The program's sources and, generated, each C# block of docs/bindings.md unchanged."""
    os.makedirs(client)
    for name in SOURCES:
        shutil.copy(os.path.join(HERE, name), client)
    with open(BINDINGS, encoding="utf-8") as doc:
        markdown = doc.read()
    blocks = code_blocks(markdown, "csharp")
    for number, block in enumerate(blocks, 1):
        # The compiler's messages name the doc's own lines.
        first_line = markdown[:markdown.index(block)].count("\n") + 1
        with open(os.path.join(client, f"QuellBindings{number}.g.cs"), "w", encoding="utf-8") as source:
            source.write(f"// Written by nuget_client_test.py from docs/bindings.md.\n"
                         f"#line {first_line} \"{BINDINGS}\"\n{block}")
    return len(blocks)


def check_output(folder, rid, dll):
    """The output holds the package's Quell.dll of its runtime, at its top, and no other."""
    found = sorted(os.path.join(directory, name) for directory, _, names in os.walk(folder)
                   for name in names if name.lower() == "quell.dll")
    top = os.path.join(folder, "Quell.dll")
    if top not in found:
        fail(f"{rid}: no Quell.dll in {folder}")
        return False
    ok = True
    for other in found:
        if other != top:
            fail(f"{rid}: a second Quell.dll in the output: {other}")
            ok = False
    with open(top, "rb") as image:
        if image.read() != dll:
            fail(f"{rid}: {top} is not the package's runtimes/{rid}/native/Quell.dll byte for byte")
            ok = False
    return ok


class Wine:
    """A prefix of the test's own, started as TOOLCHAIN.md says: a persistent server and a
    warm-up whose output goes to /dev/null, so that Wine's background services hold no pipe."""

    def __init__(self, work):
        self.prefix = os.path.join(work, "wineprefix")
        self.kernel32 = os.path.join(self.prefix, "drive_c/windows/system32/kernel32.dll")
        base = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        base.pop("WINESERVER", None)
        # No Mono or Gecko installer when the prefix is made or updated.
        self.setup_env = dict(base, WINEDLLOVERRIDES="mscoree,mshtml=")
        # Wine loads every IL-only image through mscoree, the .NET runtime's own assemblies
        # included: with mscoree disabled, System.Runtime.dll fails with "Module not found".
        self.run_env = dict(base, WINEDLLOVERRIDES="mshtml=")
        self.server = None

    def start(self):
        """None when the prefix is ready, else why not."""
        for attempt in (1, 2):
            os.makedirs(self.prefix, exist_ok=True)
            self.server = subprocess.Popen(["wineserver", "-p"], env=self.setup_env, stdin=subprocess.DEVNULL,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                           start_new_session=True)
            try:
                subprocess.run(["wine", "cmd", "/c", "exit"], env=self.setup_env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WINE_SECONDS)
            except subprocess.TimeoutExpired:
                pass
            if os.path.exists(self.kernel32):
                return None
            # A first start that failed half-way leaves a prefix in which nothing starts again.
            self.stop()
            shutil.rmtree(self.prefix, ignore_errors=True)
        return f"no prefix: {self.kernel32} is still missing after two first starts"

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.setup_env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        if self.server:
            try:
                self.server.wait(timeout=60)
            except subprocess.TimeoutExpired:
                self.server.kill()
            self.server = None

    def run(self, program, out_path, err_path):
        """(exit status or None on a time-out, stdout, stderr); the output goes through files."""
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            try:
                status = subprocess.run(["wine", program], env=self.run_env, stdin=subprocess.DEVNULL, stdout=out,
                                        stderr=err, timeout=WINE_SECONDS).returncode
            except subprocess.TimeoutExpired:
                status = None
        with open(out_path, encoding="utf-8", errors="replace") as out, \
                open(err_path, encoding="utf-8", errors="replace") as err:
            return status, out.read(), err.read()


def wine_answer(status, stdout, stderr):
    """What Wine said, in one line: the exit status and the lines that name the trouble."""
    telling = [line.strip() for line in (stdout + stderr).splitlines()
               if re.match(r"Unhandled exception\.|wine: |\w+:err:", line)]
    shown = "; ".join(telling[:3]) or (stderr.strip().splitlines() or ["no output"])[0]
    return f"{'no exit within %d s' % WINE_SECONDS if status is None else 'exit %d' % status}: {shown}"


def windows_path(path):
    """The name Wine gives a host path through its Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def check_answers(rid, answers, version, folder, answers_path):
    """Quell.dll's answers through the package, as the contract has them on an NT-family system."""
    def expect(holds, what):
        if not holds:
            fail(f"{rid} under Wine: {what} (all answers: {answers_path})")

    expect(answers.get("process") == UNDER_WINE[rid], f"process architecture {answers.get('process')}, "
                                                      f"expected {UNDER_WINE[rid]}")
    module = answers.get("module") or ""
    expect(module.lower() == windows_path(os.path.join(folder, "Quell.dll")).lower(),
           f"Quell.dll was loaded from {module or 'nowhere'}, not from beside the program")
    reported = answers.get("DllGetVersion", {})
    expect(reported.get("result") == 0, f"DllGetVersion returned {reported.get('result')}, expected 0 (S_OK)")
    expect((reported.get("major"), reported.get("minor"), reported.get("build")) == version_numbers(version),
           f"DllGetVersion reports {reported.get('major')}.{reported.get('minor')}.{reported.get('build')}, "
           f"the package is {version}")
    nt = answers.get("CheckWindowsNT", {})
    expect(nt == {"result": True, "lastError": 0}, "CheckWindowsNT is not true without a last-error value")
    expect(answers.get("CheckWindowsNTByOrdinal") == nt, "CheckWindowsNT by ordinal (#33) differs from by name")
    expect(answers.get("CheckMsDosModus") == {"result": False, "lastError": 0},
           "CheckMsDosModus is not false without a last-error value on an NT-family system")
    # From NT 6 on, standby is there when any one of S1, S2 and S3 is: read through the
    # declared 76-byte record, this also proves the offsets the doc gives for them.
    capabilities = answers.get("capabilities", {})
    if answers.get("GetPwrCapabilities", {}).get("result") and answers.get("system", {}).get("major", 0) >= 6:
        standby = any(capabilities.get(state) for state in ("SystemS1", "SystemS2", "SystemS3"))
        expect(answers.get("CheckSystemPowerStatus", {}).get("result") == standby,
               f"CheckSystemPowerStatus is not {standby} with the capabilities {capabilities}")


def run_under_wine(wine, rid, folder, version, logs):
    """Runs the self-contained program and checks its answers; False when its runtime did not start."""
    began = time.monotonic()
    out_path = os.path.join(logs, f"wine-{rid}.out")
    status, stdout, stderr = wine.run(os.path.join(folder, "QuellClient.exe"), out_path,
                                      os.path.join(logs, f"wine-{rid}.err"))
    lines = stdout.splitlines()
    if "runtime started" not in lines:
        note(f"  SKIP {rid} under Wine: the .NET runtime did not start; Wine answered "
             f"{wine_answer(status, stdout, stderr)}")
        return False
    results = [line for line in lines if line.startswith("{")]
    if status != 0 or not results:
        fail(f"{rid} under Wine: the program failed after its runtime started: {wine_answer(status, stdout, stderr)}")
        return True
    answers = json.loads(results[-1])
    before = len(failures)
    check_answers(rid, answers, version, folder, out_path)
    if len(failures) == before:
        version_reported = "{major}.{minor}.{build}".format(**answers["DllGetVersion"])
        power = ", ".join(f"{name} {str(answers[name]['result']).lower()}"
                          for name in ("IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "CheckSystemPowerStatus"))
        note(f"  ok   {rid} under Wine ({answers['process']} process, {time.monotonic() - began:.1f} s): "
             f"Quell.dll {version_reported} from beside the program, CheckWindowsNT true (by name and #33), "
             f"CheckMsDosModus false, CheckUserName {str(answers['CheckUserName']['result']).lower()}; "
             f"Wine's power answers: {power}")
    return True


def check_framework_builds(dotnet, work, package_path, version, dlls, typed):
    """Each row of FRAMEWORK_BUILDS: a fresh copy of framework/, built, and the Quell.dll (and Quell.Net.dll)
    files of its output; typed: the Quell.Net package's path, or None (its rows are skipped)."""
    builds = {architecture: dlls[runtime] for architecture, runtime in RUNTIME.items()}
    if typed:
        with zipfile.ZipFile(typed) as package:
            builds["netstandard2.0"] = package.read(f"lib/netstandard2.0/{TYPED}.dll")
    named = {machine_type: architecture for architecture, machine_type in MACHINE.items()}
    for number, (what, client, properties, expected) in enumerate(FRAMEWORK_BUILDS, 1):
        if "QuellNet" in properties and not typed:
            note(f"  SKIP .NET Framework, {what}: no {TYPED}.{version}.nupkg beside the package")
            continue
        began = time.monotonic()
        folder = os.path.join(work, "framework", str(number))
        for project, files in (("client", (client + ".csproj", "FrameworkClient.cs", "FrameworkNetClient.cs")),
                               ("library", ("FrameworkLibrary.csproj", "FrameworkLibrary.cs"))):
            os.makedirs(os.path.join(folder, project))
            for name in files:
                shutil.copy(os.path.join(HERE, "framework", name), os.path.join(folder, project))
        if client == PACKAGES_CONFIG:
            # What NuGet's packages.config restore does, and the reference assemblies the SDK-style rows restored.
            with zipfile.ZipFile(package_path) as package:
                package.extractall(os.path.join(folder, "client", "packages", f"Quell.{version}"))
            roots = glob.glob(os.path.join(work, "packages", "microsoft.netframework.referenceassemblies.net48",
                                           "*", "build", ""))
            properties = dict(properties, TargetFrameworkRootPath=roots[-1] if roots else "none restored")
        reason = dotnet.run(f"build-net48-{number}", "build", os.path.join(folder, "client", client + ".csproj"),
                            "-c", "Release", f"-p:QuellVersion={version}", "--disable-build-servers", "-nologo",
                            "-v:minimal", *[f"-p:{name}={value}" for name, value in properties.items()])
        if reason:
            fail(f".NET Framework, {what}: {reason}")
            continue
        outputs = [directory for directory, _, names in os.walk(os.path.join(folder, "client", "bin"))
                   if "FrameworkClient.exe" in names]
        if len(outputs) != 1:
            fail(f".NET Framework, {what}: {len(outputs)} folders hold FrameworkClient.exe, expected 1")
            continue
        found = {}
        for directory, _, names in os.walk(outputs[0]):
            for name in names:
                if name.lower() in ("quell.dll", f"{TYPED}.dll".lower()):
                    with open(os.path.join(directory, name), "rb") as image:
                        data = image.read()
                    path = os.path.relpath(os.path.join(directory, name), outputs[0]).replace(os.sep, "/")
                    build = "netstandard2.0" if name.lower() != "quell.dll" else named.get(pe.machine(data))
                    found[path] = build if data == builds.get(build) else "not the package's"
        if found != expected:
            fail(f".NET Framework, {what}: the output holds {found or 'no Quell.dll'}, expected {expected}")
        else:
            note(f"  ok   .NET Framework 4.8, {what}: {', '.join(f'{path} ({build})' for path, build in found.items())} "
                 f"({time.monotonic() - began:.1f} s)")


POWERSHELL_VERSION = "7.6.9"  # the PowerShell global tool this machine's registry serves


def check_powershell(dotnet, work, package_path):
    """docs/bindings.md's PowerShell block, beside the package's files unpacked:
    Add-Type compiles its declarations against the package's layout. PowerShell
    runs here on Linux, so nothing is called; the Windows runs are the C# ones."""
    tools = os.path.join(work, "pwsh")
    pwsh = os.path.join(tools, "pwsh")
    if not os.access(pwsh, os.X_OK):
        reason = dotnet.run("pwsh-install", "tool", "install", "--tool-path", tools, "PowerShell",
                            "--version", POWERSHELL_VERSION)
        if reason:
            note(f"  SKIP PowerShell: the PowerShell global tool did not install: {reason}")
            return
    script_root = os.path.join(work, "powershell")
    shutil.rmtree(script_root, ignore_errors=True)
    with zipfile.ZipFile(package_path) as package:
        package.extractall(script_root)
    with open(BINDINGS, encoding="utf-8") as doc:
        blocks = code_blocks(doc.read(), "powershell")
    if not blocks:
        fail(f"{BINDINGS} has no powershell block")
        return
    # The block's own example calls fail here (no Windows to load the DLL); its declarations stand.
    text = blocks[0] + """
$type = 'Quell.Native' -as [type]
$entries = foreach ($method in $type.GetMethods()) {
    if (-not ($method.Attributes -band [Reflection.MethodAttributes]::PinvokeImpl)) { continue }
    $import = $method.GetCustomAttributes([Runtime.InteropServices.DllImportAttribute], $false) | Select-Object -First 1
    if ($import.EntryPoint) { $import.EntryPoint } else { $method.Name } }
$dll = $type.GetField('Dll', [Reflection.BindingFlags]'NonPublic,Static').GetRawConstantValue()
"$(($entries | Sort-Object -Unique) -join ',')|$dll"
"""
    script = os.path.join(script_root, "quell.ps1")
    with open(script, "w", encoding="utf-8") as out:
        out.write(text)
    # As a script run from elsewhere, and as pasted at the prompt (no script folder) in the package's folder.
    for how, arguments, folder in (("as a script", ["-File", script], work),
                                   ("pasted at the prompt", ["-Command", text], script_root)):
        done = subprocess.run([pwsh, "-NoProfile", "-NonInteractive", *arguments], cwd=folder, env=dotnet.env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        answer = done.stdout.strip().splitlines()[-1] if done.stdout.strip() else ""
        entries, _, dll = answer.partition("|")
        missing = sorted(set(read_export_table(os.path.join(ROOT, "res", "Quell.def"))) - set(entries.split(",")))
        # Join-Path gives this host's separators; the package's file must be the one named.
        expected = os.path.join(script_root, "runtimes", RUNTIME["x64"], "native", "Quell.dll")
        if done.returncode != 0 or not entries or missing or dll != expected:
            fail(f"PowerShell, {how}: the block does not declare every export on the package's Quell.dll "
                 f"(exit {done.returncode}, missing {missing}, the DLL {dll!r}; {done.stderr.strip()[-300:]})")
        else:
            note(f"  ok   PowerShell {POWERSHELL_VERSION}, {how}: docs/bindings.md's block declares every export "
                 f"on the package's runtimes/{RUNTIME['x64']}/native/Quell.dll")


def main(argv):
    if len(argv) != 3:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    package_path, work = os.path.abspath(argv[1]), os.path.abspath(argv[2])
    started = time.monotonic()
    try:
        package_id, version, dlls = read_package(package_path)
    except (OSError, zipfile.BadZipFile, ElementTree.ParseError, ValueError) as error:
        fail(f"{package_path}: cannot read the package: {error}")
        return 1
    note(f"nuget_client_test: package {package_id} {version} ({package_path})")
    if package_id != "Quell" or not version:
        fail(f"the package's id is {package_id!r} and its version {version!r}; expected id 'Quell' and a version")
        return 1
    for rid, architecture in RUNTIMES.items():
        if rid not in dlls:
            fail(f"the package has no runtimes/{rid}/native/Quell.dll")
            continue
        try:
            found = pe.machine(dlls[rid])
        except (pe.Malformed, struct.error) as error:
            fail(f"runtimes/{rid}/native/Quell.dll is no PE image: {error}")
            continue
        if found != MACHINE[architecture]:
            fail(f"runtimes/{rid}/native/Quell.dll has machine {found:#x}, expected {MACHINE[architecture]:#x}")
    if failures:
        return 1
    if not shutil.which("dotnet"):
        fail("dotnet (the .NET SDK) is not on PATH")
        return 1

    # Each run starts from the package alone; the .NET packs and the Wine prefix stay.
    for name in ("feed", "client", "framework", "out", "publish", "logs", "nuget.config"):
        path = os.path.join(work, name)
        if os.path.isdir(path):
            shutil.rmtree(path)
        elif os.path.exists(path):
            os.remove(path)
    for name in ("quell", TYPED.lower()):
        shutil.rmtree(os.path.join(work, "packages", name), ignore_errors=True)
    feed = os.path.join(work, "feed")
    os.makedirs(feed)
    os.makedirs(os.path.join(work, "logs"))
    shutil.copy(package_path, feed)
    typed = os.path.join(os.path.dirname(package_path), f"{TYPED}.{version}.nupkg")
    typed = typed if os.path.isfile(typed) else None
    if typed:
        shutil.copy(typed, feed)
    dotnet = Dotnet(work)
    machine_sources = dotnet.enabled_sources()
    write_nuget_config(work, feed, machine_sources)
    note(f"  feed {feed}; the .NET packs from this machine's NuGet sources: {', '.join(machine_sources) or 'none'}")
    client = os.path.join(work, "client")
    if not write_client(client):
        fail(f"{BINDINGS} has no csharp block to compile")
        return 1
    project = os.path.join(client, PROJECT)

    for rid in RUNTIMES:
        began = time.monotonic()
        output = os.path.join(work, "out", rid)
        reason = dotnet.build("build", project, rid, version, output)
        if reason:
            fail(f"{rid}: {reason}")
        elif check_output(output, rid, dlls[rid]):
            note(f"  ok   {rid}: built with docs/bindings.md's C# block, the package's Quell.dll "
                 f"({MACHINE[RUNTIMES[rid]]:#x}) beside it ({time.monotonic() - began:.1f} s)")

    # Built for no runtime, a program carries all three, and .NET picks the process's.
    output = os.path.join(work, "out", "portable")
    reason = dotnet.build("build", project, None, version, output)
    if reason:
        fail(f"no runtime: {reason}")
    else:
        carried = [rid for rid in RUNTIMES
                   if os.path.isfile(os.path.join(output, "runtimes", rid, "native", "Quell.dll")) and
                   open(os.path.join(output, "runtimes", rid, "native", "Quell.dll"), "rb").read() == dlls[rid]]
        if carried != list(RUNTIMES):
            fail(f"no runtime: the output carries the package's Quell.dll only for {carried or 'none'}")
        else:
            note("  ok   no runtime: the output carries all three under runtimes/<rid>/native/")

    check_framework_builds(dotnet, work, package_path, version, dlls, typed)
    check_powershell(dotnet, work, package_path)

    wine = Wine(work) if shutil.which("wine") and shutil.which("wineserver") else None
    published, skipped = [], []
    if not wine:
        skipped = list(UNDER_WINE)
        note("  SKIP Wine runs: wine is not installed")
    for rid in UNDER_WINE:
        began = time.monotonic()
        output = os.path.join(work, "publish", rid)
        reason = dotnet.build("publish", project, rid, version, output, "--self-contained")
        if reason:
            fail(f"{rid} self-contained: {reason}")
            continue
        if check_output(output, rid, dlls[rid]):
            note(f"  ok   {rid}: self-contained publish, the package's Quell.dll beside it "
                 f"({time.monotonic() - began:.1f} s)")
            published.append((rid, output))
    if wine and published:
        began = time.monotonic()
        reason = wine.start()
        try:
            if reason:
                fail(f"Wine: {reason}")
            else:
                note(f"  Wine prefix {wine.prefix} ready ({time.monotonic() - began:.1f} s)")
                skipped = [rid for rid, output in published
                           if not run_under_wine(wine, rid, output, version, dotnet.logs)]
        finally:
            wine.stop()

    elapsed = time.monotonic() - started
    if failures:
        note(f"nuget_client_test: {len(failures)} failures ({elapsed:.0f} s); logs in {dotnet.logs}")
        return 1
    note(f"nuget_client_test: PASS ({elapsed:.0f} s"
         + (f"; Wine runs skipped: {', '.join(skipped)})" if skipped else ")"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
