#!/usr/bin/env python3
"""Proves the release's PowerShell module in PowerShell 7 on Linux, and hosted
in Windows programs under Wine.

usage: module_test.py DIST WORKDIR STANDIN_X86 STANDIN_X64

DIST is a made release (make dist). PowerShell (the .NET tool, installed into
.cache/pwsh when missing) installs DIST/powershell/Quell.<version>.nupkg from a
folder repository with Install-Module and with Install-PSResource, imports it
and runs module_test.ps1, which reports what it finds; the expectations are here.
No Windows is here to load Quell.dll: a cmdlet that gets as far as loading it
fails with DllNotFoundException, so a -WhatIf that succeeds called nothing and
loaded nothing. Then host/ (PowerShell in a program of its own, published
self-contained for win-x64 and win-x86) runs host/hosted.ps1 under Wine, in a
prefix in WORKDIR, beside the module unpacked from the zip: the module imports
in a Windows process and loads the Quell.dll of the process's architecture from
its folder. There the recording stand-in of that architecture (STANDIN_X86,
STANDIN_X64: tests/dotnet builds them) replaces the module's Quell.dll and sits
beside the release's quell.exe: each request of tests/dotnet/requests.txt makes
through its cmdlet the calls quell.exe makes for its command line on the row's
route (copies of the host and of quell.exe that Wine's AppDefaults show Windows
10 or 7), and ends as the row says, a refusal as an error with its category.
Exits 1 with one line per failure.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

sys.dont_write_bytecode = True  # no cache files in the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path[:0] = [os.path.join(ROOT, "tools"), os.path.join(ROOT, "tools", "release"), os.path.join(ROOT, "tests", "clients"), os.path.join(ROOT, "tests", "nuget")]
from check_bindings import code_blocks  # noqa: E402
from architectures import MACHINE, NAMES, RUNTIME, bundle as bundle_name  # noqa: E402
from nuget_client_test import Wine  # noqa: E402
from pe import machine  # noqa: E402
import powershell_module  # noqa: E402

POWERSHELL_VERSION = "7.6.9"
PWSH = os.path.join(ROOT, ".cache", "pwsh")
DOCS = [os.path.join(ROOT, "docs", "powershell.md"), os.path.join(ROOT, "README.md")]  # their examples run as written
# PowerShell files a value its validation refuses as InvalidData.
REFUSED = ("System.Management.Automation.ParameterBindingValidationException", "InvalidData")
NOT_LOADED = ("System.DllNotFoundException", "ResourceUnavailable")  # no Windows here
HOSTED = {RUNTIME["x64"]: ("X64", "x64"), RUNTIME["x86"]: ("X86", "x86")}  # process architecture, the module's folder
REQUESTS = os.path.join(ROOT, "tests", "dotnet", "requests.txt")  # the requests and quell.exe's command lines
ROUTES = {"8": "win10", "7": "win7"}  # requests.txt's routes: the Windows Wine shows
CONNECTION = (53, 1722)  # Win32Exception's codes of a machine not reached

# (command, what it must do): ("whatif", words -WhatIf names) calls nothing; ("error",
# exception, category) ends in that error record; REFUSED by parameter binding.
CASES = [
    ("Stop-QuellComputer -WhatIf", ("whatif", ["Computer.Shutdown"])),
    ("Stop-QuellComputer Server01 -Delay 60 -Message 'Going down' -Reason p:4:1 -Force -Hybrid -WhatIf",
     ("whatif", ["Computer.Shutdown", "Force", "Hybrid", "60", "Going down", "p:4:1", "Server01"])),
    ("Restart-QuellComputer -WhatIf", ("whatif", ["Computer.Restart"])),
    ("Restart-QuellComputer -RestartApps -Reason u:1:2 -WhatIf", ("whatif", ["Computer.Restart", "RestartApps", "u:1:2"])),
    ("Restart-QuellComputer -BootOptions -Delay 315360000 -WhatIf", ("whatif", ["Computer.Restart", "BootOptions", "315360000"])),
    ("Stop-QuellPendingShutdown -WhatIf", ("whatif", ["Computer.AbortShutdown"])),
    ("Stop-QuellPendingShutdown -ComputerName Server01 -WhatIf", ("whatif", ["Computer.AbortShutdown", "Server01"])),
    ("Suspend-QuellComputer -WhatIf", ("whatif", ["Computer.Sleep"])),
    ("Suspend-QuellComputer -Hibernate -WhatIf", ("whatif", ["Computer.Hibernate"])),
    ("Lock-QuellSession -WhatIf", ("whatif", ["Session.Lock"])),
    ("Exit-QuellSession -WhatIf", ("whatif", ["Session.LogOff"])),
    ("Exit-QuellSession -Force -WhatIf", ("whatif", ["Session.LogOff", "Force"])),
    # Refused while binding, before anything runs.
    ("Stop-QuellComputer -Delay -1 -WhatIf", ("error", *REFUSED)),
    ("Restart-QuellComputer -Delay 315360001 -WhatIf", ("error", *REFUSED)),
    ("Stop-QuellComputer -Reason p:256:0 -WhatIf", ("error", *REFUSED)),
    ("Restart-QuellComputer -Reason 'x:1:1' -WhatIf", ("error", *REFUSED)),
    ("Stop-QuellComputer -ComputerName '' -WhatIf", ("error", *REFUSED)),
    ("Stop-QuellPendingShutdown -ComputerName '' -WhatIf", ("error", *REFUSED)),
    ("Restart-QuellComputer -RestartApps -BootOptions -WhatIf",
     ("error", "System.Management.Automation.ParameterBindingException", "InvalidArgument")),
    ("Restart-QuellComputer -Hybrid -WhatIf",
     ("error", "System.Management.Automation.ParameterBindingException", "InvalidArgument")),
    # A malformed name, by Quell.Net's rule, before -WhatIf answers.
    ("Stop-QuellComputer -ComputerName 'two words' -WhatIf", ("error", "System.ArgumentException", "InvalidArgument")),
    ("Restart-QuellComputer '\\\\PC7\\c' -WhatIf", ("error", "System.ArgumentException", "InvalidArgument")),
    ("Stop-QuellPendingShutdown -ComputerName 'x\"y' -WhatIf", ("error", "System.ArgumentException", "InvalidArgument")),
    # Carried out: Quell.Net checks the name before loading anything; the rest get as far as the load.
    ("Stop-QuellComputer -ComputerName 'two words' -Confirm:$false", ("error", "System.ArgumentException", "InvalidArgument")),
    ("Stop-QuellPendingShutdown -ComputerName 'a\\b' -Confirm:$false",
     ("error", "System.ArgumentException", "InvalidArgument")),
    ("Stop-QuellComputer -Confirm:$false", ("error", *NOT_LOADED)),
    ("Restart-QuellComputer -Delay 5 -Confirm:$false", ("error", *NOT_LOADED)),
    ("Stop-QuellPendingShutdown -Confirm:$false", ("error", *NOT_LOADED)),
    ("Suspend-QuellComputer -Confirm:$false", ("error", *NOT_LOADED)),
    ("Lock-QuellSession -Confirm:$false", ("error", *NOT_LOADED)),
    ("Exit-QuellSession -Confirm:$false", ("error", *NOT_LOADED)),
    ("Get-QuellPowerCapability", ("error", *NOT_LOADED)),
]

failures, checked = [], []


def expect(what, condition, detail=""):
    checked.append(what)
    if not condition:
        failures.append(what)
        print(f"FAIL: {what}" + (f"\n  {detail}" if detail else ""), flush=True)


def install_pwsh():
    pwsh = os.path.join(PWSH, "pwsh")
    if not os.access(pwsh, os.X_OK):
        subprocess.run(["dotnet", "tool", "install", "PowerShell", "--version", POWERSHELL_VERSION, "--tool-path", PWSH],
                       check=True, stdin=subprocess.DEVNULL, env=dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1",
                                                                       DOTNET_NOLOGO="1"))
    return pwsh


def read_release(dist):
    """The module's package and zip, the version, and each architecture's Quell.dll from its bundle."""
    folder = os.path.join(dist, "powershell")
    packages = [name for name in os.listdir(folder) if name.endswith(".nupkg")]
    version = re.fullmatch(r"Quell\.(.+)\.nupkg", packages[0])[1]
    bundles = {}
    for name in os.listdir(dist):
        if name.startswith(f"quell-{version}-") and name.endswith(".zip"):
            with zipfile.ZipFile(os.path.join(dist, name)) as bundle:
                bundles[name] = bundle.read(f"{name[:-4]}/bin/Quell.dll")
    return os.path.join(folder, packages[0]), os.path.join(folder, f"Quell.{version}.zip"), version, bundles


def check_files(package, bundle, dlls):
    """The package and the zip hold the same module folder, with the release's three Quell.dll."""
    with zipfile.ZipFile(package) as nupkg, zipfile.ZipFile(bundle) as archive:
        payload = {name: nupkg.read(name) for name in nupkg.namelist()
                   if not (name.endswith(".nuspec") or name.startswith(("_rels/", "package/", "[Content_Types]")))}
        folder = {name[len("Quell/"):]: archive.read(name) for name in archive.namelist()}
    expect("the zip holds the package's module folder under Quell/", payload == folder,
           sorted(set(payload) ^ set(folder)))
    for architecture in NAMES:
        dll = payload.get(f"{architecture}/Quell.dll", b"")
        expect(f"the module carries a bundle's Quell.dll for {architecture} in {architecture}/",
               dll in dlls.values() and machine(dll) == MACHINE[architecture])
    return payload


def requests():
    """requests.txt's rows as hosted.ps1 numbers them from 1: (number, route, command line, request, script, end, code)."""
    rows = []
    with open(REQUESTS, encoding="utf-8") as table:
        for line in table:
            if line.strip() and not line.startswith("#"):
                rows.append((len(rows) + 1, *([column.strip() for column in line.split(";")] + [""] * 6)[:6]))
    return rows


def category(end, code):
    """The error category docs/powershell.md gives an exception of Quell.Net."""
    if end == "Win32Exception":
        return "PermissionDenied" if code in ("5", "1314") else "ConnectionError" if int(code) in CONNECTION else "InvalidOperation"
    return {"ArgumentException": "InvalidArgument", "PlatformNotSupportedException": "NotImplemented",
            "NotSupportedException": "NotEnabled"}.get(end, "")


def check_requests(rid, route, output, said):
    """Each row of requests.txt on the route through its cmdlet: quell.exe's calls (none for '-'), the row's end."""
    def calls(path):
        return open(path, encoding="utf-8").read().splitlines() if os.path.exists(path) else []
    for number, _, line, request, script, end, code in (row for row in requests() if row[1] == route):
        what = f"{rid} under Wine, Windows {route} route: {request} [{script}]"
        quell, module = (calls(os.path.join(output, "logs", f"{route}-{number}-{name}.log")) for name in ("quell", "module"))
        expect(f"{what} makes the calls of quell {line}", quell == module,
               f"quell.exe: {quell}\n  cmdlet: {module}")
        wanted = [end, category(end, code), code if end == "Win32Exception" else ""]
        expect(f"{what} ends with {wanted}", said.get(str(number)) == wanted, said.get(str(number)))


def check_hosted(work, bundle, version, standins, dist):
    """The module in a self-contained Windows program hosting PowerShell, under Wine."""
    environment = dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1", DOTNET_NOLOGO="1",
                       NUGET_PACKAGES=os.path.join(ROOT, ".cache", "powershell-host-packages"))
    source = os.path.join(work, "host-source")
    shutil.copytree(os.path.join(HERE, "host"), source)
    wine = Wine(work)
    reason = wine.start()
    expect("a Wine prefix for the hosted runs", reason is None, reason)
    try:
        for rid, (architecture, folder) in HOSTED.items():
            output = os.path.join(work, "host-" + rid)
            published = subprocess.run(["dotnet", "publish", source, "-c", "Release", "-r", rid, "--self-contained",
                                        "-o", output, "-nologo", "-v:minimal"], env=environment, stdin=subprocess.DEVNULL,
                                       capture_output=True, text=True, timeout=900)
            expect(f"{rid}: PowerShell hosted in a self-contained program publishes", published.returncode == 0,
                   published.stdout[-2000:])
            if published.returncode != 0 or reason:
                continue
            shutil.copy(os.path.join(HERE, "host", "hosted.ps1"), output)
            shutil.copy(REQUESTS, output)
            with zipfile.ZipFile(bundle) as archive:
                archive.extractall(output)
            # The stand-in where the module loads Quell.dll from, and beside the release's quell.exe.
            shutil.copy(standins[folder], os.path.join(output, "Quell", folder, "Quell.dll"))
            os.makedirs(os.path.join(output, "cli"))
            shutil.copy(standins[folder], os.path.join(output, "cli", "Quell.dll"))
            release = bundle_name(folder, version)
            with zipfile.ZipFile(os.path.join(dist, release + ".zip")) as archive:
                image = archive.read(f"{release}/bin/quell.exe")
            for route, system in ROUTES.items():
                with open(os.path.join(output, "cli", f"quell{route}.exe"), "wb") as quell:
                    quell.write(image)
                shutil.copy(os.path.join(output, "QuellPowerShellHost.exe"), os.path.join(output, f"QuellPowerShellHost{route}.exe"))
                for program in (f"QuellPowerShellHost{route}.exe", f"quell{route}.exe"):
                    subprocess.run(["wine", "reg", "add", f"HKCU\\Software\\Wine\\AppDefaults\\{program}", "/v", "Version",
                                    "/d", system, "/f"], env=wine.run_env, stdin=subprocess.DEVNULL, capture_output=True)
                check_hosted_run(wine, rid, route, output, os.path.join(work, f"{rid}-{route}"), version)
    finally:
        wine.stop()


def check_hosted_run(wine, rid, route, output, logs, version):
    """One run of the host on a route: the module loaded from its folder, then the requests of the route."""
    architecture, folder = HOSTED[rid]
    status, stdout, stderr = wine.run(os.path.join(output, f"QuellPowerShellHost{route}.exe"), logs + ".out", logs + ".err")
    said = dict(line.split("|", 1) for line in stdout.splitlines() if "|" in line and not line.startswith("error|"))
    errors = [tuple(line.split("|")[1:]) for line in stdout.splitlines() if line.startswith("error|")]
    rows = {line.split("|")[1]: line.split("|")[2:] for line in stdout.splitlines() if line.startswith("row|")}
    expect(f"{rid} under Wine, Windows {route} route: the module imports and loads {folder}\\Quell.dll {version} from its folder",
           status == 0 and said.get("process") == architecture and said.get("cmdlets") == str(len(powershell_module.HELP))
           and said.get("capabilities") == "Quell.PowerCapabilities" and said.get("version") == version
           and said.get("loaded", "").lower().endswith(f"\\quell\\{folder}\\quell.dll"), f"{status} {stdout} {stderr[-1500:]}")
    expect(f"{rid} under Wine, Windows {route} route: a malformed computer name is InvalidArgument, nothing called",
           errors == [("System.ArgumentException", "InvalidArgument")], errors)
    check_requests(rid, route, output, rows)


def main(argv):
    if len(argv) != 4 or not sys.platform.startswith("linux"):
        sys.exit(__doc__)  # on Linux only: there, no cmdlet can reach a Windows
    dist, work, standin_x86, standin_x64 = (os.path.abspath(path) for path in argv)
    shutil.rmtree(work, ignore_errors=True)
    feed = os.path.join(work, "feed")
    os.makedirs(feed)
    package, bundle, version, dlls = read_release(dist)
    shutil.copy(package, feed)
    payload = check_files(package, bundle, dlls)

    help_xml = ElementTree.fromstring(payload[f"en-US/{powershell_module.HELP_FILE}"])
    codes = [code.text for code in help_xml.iter("{http://schemas.microsoft.com/maml/dev/2004/10}code")]
    for path in DOCS:
        with open(path, encoding="utf-8") as doc:
            codes += code_blocks(doc.read(), "powershell")
    examples = [{"id": f"example {number}", "code": code} for number, code in enumerate(codes)]
    given = {"feed": feed, "examples": examples,
             "cases": [{"id": f"case {number}", "command": command} for number, (command, _) in enumerate(CASES)]}
    with open(os.path.join(work, "input.json"), "w", encoding="utf-8") as out:
        json.dump(given, out)

    pwsh = install_pwsh()
    home = os.path.join(work, "home")  # the installed module and the repositories' registrations stay in WORKDIR
    done = subprocess.run([pwsh, "-NoProfile", "-NonInteractive", "-File", os.path.join(HERE, "module_test.ps1"),
                           "-InputFile", os.path.join(work, "input.json")], cwd=work, stdin=subprocess.DEVNULL,
                          env=dict(os.environ, HOME=home, XDG_CONFIG_HOME="", XDG_DATA_HOME="", XDG_CACHE_HOME="",
                                   POWERSHELL_TELEMETRY_OPTOUT="1", POWERSHELL_UPDATECHECK="Off"),
                          capture_output=True, text=True, timeout=900)
    with open(os.path.join(work, "pwsh.log"), "w", encoding="utf-8") as log:
        log.write(done.stdout + done.stderr)
    expect("module_test.ps1 ran to its end", done.returncode == 0 and "@@end" in done.stdout,
           (done.stdout + done.stderr)[-3000:])
    facts, hosted, current = [], {}, None
    for line in done.stdout.splitlines():
        if line.startswith("@@begin "):
            current = line[len("@@begin "):]
            hosted[current] = []
        elif line.startswith("@@ "):
            facts.append(json.loads(line[3:]))
            current = None
        elif current:
            hosted[current].append(line)
    found = {key: fact[key] for fact in facts for key in ("installModule", "installPSResource", "module") if key in fact}
    outcomes = {fact["id"]: fact for fact in facts if "id" in fact}
    cmdlets = {fact["cmdlet"]: fact for fact in facts if "cmdlet" in fact}

    expect("Install-Module installs the module from the folder repository", found.get("installModule") == version)
    expect("Install-PSResource installs the module from the folder repository", found.get("installPSResource") == version)
    module = found.get("module", {})
    expect("the manifest: the release's version, Desktop and Core, PowerShell 5.1, licence and project URIs",
           module.get("version") == version and sorted(module.get("editions", [])) == ["Core", "Desktop"]
           and module.get("powerShellVersion") == "5.1" and module.get("licenseUri") and module.get("projectUri"), module)
    expect("the module exports every cmdlet of its assembly, and those HELP documents",
           sorted(module.get("exported", [])) == sorted(module.get("inAssembly", [])) == sorted(powershell_module.HELP),
           module)
    for name in powershell_module.HELP:
        fact = cmdlets.get(name, {})
        expect(f"{name}: an approved verb", fact.get("approved") is True, fact.get("verb"))
        changes = name != "Get-QuellPowerCapability"
        expect(f"{name}: ShouldProcess {'with the confirm impact of Stop-Computer' if changes else 'not needed'}",
               fact.get("shouldProcess") is changes and
               (not changes or fact.get("confirmImpact") == fact.get("stopComputerImpact")), fact)
        expect(f"{name}: help with a synopsis and examples", fact.get("synopsis") and fact.get("examples", 0) >= 1, fact)
        expect(f"{name}: the help's syntax is the cmdlet's parameter sets", fact.get("sets") == fact.get("helpSets"),
               f"{fact.get('sets')} != {fact.get('helpSets')}")

    for number, (command, (kind, *expected)) in enumerate(CASES):
        outcome, shown = outcomes.get(f"case {number}", {}), hosted.get(f"case {number}", [])
        if kind == "whatif":
            said = [line for line in shown if line.startswith("What if:")]
            expect(f"{command}: calls nothing and names the call and its options",
                   outcome.get("ok") is True and len(said) == 1 and all(word in said[0] for word in expected[0]),
                   f"{outcome} {shown}")
        else:
            expect(f"{command}: {expected[0]} ({expected[1]})",
                   [(error["exception"], error["category"]) for error in outcome.get("errors", [])] == [tuple(expected)],
                   outcome)
    for example in examples:
        outcome = outcomes.get(example["id"], {})
        # With -WhatIf in force an example calls nothing; reading the power states gets as far as the load.
        expect(f"runs as written: {example['code']!r}", "errors" in outcome and
               all((error["exception"], error["category"]) == NOT_LOADED for error in outcome["errors"]), outcome)

    check_hosted(work, bundle, version, {"x86": standin_x86, "x64": standin_x64}, dist)
    print(f"powershell: {len(checked) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
