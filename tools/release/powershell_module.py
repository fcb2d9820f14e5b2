#!/usr/bin/env python3
"""The PowerShell module Quell: the cmdlets of bindings/powershell/Quell.PowerShell
over Quell.Net, laid out as a module folder with the release's three Quell.dll
(x86/, x64/ and arm64/ beside Quell.Net.dll, where Quell.Net loads them from on
.NET Framework and through its netstandard2.0 build on PowerShell 7), packed as
the .nupkg a PowerShell repository serves and as a zip of the same folder.

The manifest is written from the tree's release.json, the help (MAML) from HELP
below; the same sources give the same bytes. tools/release/release.py calls
write_release for make dist.
"""
import os
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.dirname(HERE)]  # tools/release/ and tools/
import make_bundle  # noqa: E402
import package_manifests  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(HERE))
PROJECT = os.path.join(ROOT, "bindings", "powershell", "Quell.PowerShell", "Quell.PowerShell.csproj")
BUILT = os.path.join(os.path.dirname(PROJECT), "bin", "Release", "netstandard2.0")
MODULE = "Quell"
GUID = "9a3e460c-83a8-4907-be76-edf39942028c"  # the module's identity in every release
ASSEMBLIES = ("Quell.PowerShell.dll", "Quell.Net.dll")
HELP_FILE = "Quell.PowerShell.dll-Help.xml"
# .NET Framework carries .NET Standard 2.0's facades (netstandard.dll) from 4.7.1 on
# (dotnet/announcements#32); before it a program has to ship them, which a module
# loaded into powershell.exe cannot: the module needs 4.7.1 where Quell.Net alone needs 4.6.2.
DOTNET_FRAMEWORK = "4.7.1"
TAGS = ("Windows", "shutdown", "restart", "logoff", "sleep", "hibernate", "lock", "power")


class ModuleError(Exception):
    pass


# The help of each cmdlet: synopsis, description, the parameters (type, position or
# None, description), the parameters that each make a parameter set of their own,
# and the examples (each runs as written; the module test runs them with -WhatIf
# in force, and holds the parameters to the cmdlets' own).
_END = {
    "ComputerName": ("String", 0, "Another computer, NAME or \\\\NAME, to ask through the system's remote shutdown; "
                                  "this computer when not given."),
    "Delay": ("Int32", None, "The warning period in seconds, 0 to 315360000 (ten years). With a delay the system "
                             "shows its warning and the request can be stopped with Stop-QuellPendingShutdown."),
    "Message": ("String", None, "The text the system shows during the warning period."),
    "Reason": ("String", None, "The reason recorded in the system's event log: [p:|u:]MAJOR:MINOR, p: planned, "
                               "u: user-defined, MAJOR 0 to 255, MINOR 0 to 65535; for example p:4:1."),
    "Force": ("SwitchParameter", None, "Closes applications without asking them to save their work."),
}
HELP = {
    "Stop-QuellComputer": {
        "synopsis": "Shuts the computer down and powers it off.",
        "description": "Calls Quell.Net's Computer.Shutdown. Without -Delay, -Message, -Reason and -ComputerName "
                       "the shutdown starts at once; with any of them it is the system's shutdown request, with a "
                       "warning period. -WhatIf names the call and makes none.",
        "parameters": dict(_END, Hybrid=("SwitchParameter", None, "Shuts down for a fast start-up (Windows 8 and later).")),
        "examples": [
            ("Stop-QuellComputer", "Shuts this computer down, letting applications ask to save their work."),
            ("Stop-QuellComputer -Delay 600 -Message 'Updates: the computer shuts down in ten minutes.' -Reason p:2:17",
             "Shuts down in ten minutes with a message, recording a planned reason (2:17) in the event log."),
            ("Stop-QuellComputer -Hybrid -Force", "Shuts down for a fast start-up, closing applications without asking."),
        ],
    },
    "Restart-QuellComputer": {
        "synopsis": "Restarts the computer.",
        "description": "Calls Quell.Net's Computer.Restart. -RestartApps restarts the applications registered for "
                       "restart; -BootOptions restarts into the boot options menu. Without -Delay, -Message, -Reason, "
                       "-ComputerName and -BootOptions the restart starts at once. -WhatIf names the call and makes none.",
        "parameters": dict(_END, RestartApps=("SwitchParameter", None, "Restarts the applications registered for "
                                                                       "restart after the restart."),
                           BootOptions=("SwitchParameter", None, "Restarts into the boot options menu (Windows 8 and later).")),
        "exclusive": ["RestartApps", "BootOptions"],
        "examples": [
            ("Restart-QuellComputer -RestartApps", "Restarts this computer and then the applications registered for restart."),
            ("Restart-QuellComputer -ComputerName Server01 -Delay 300 -Reason p:4:1 -Force",
             "Restarts Server01 in five minutes, closing its applications without asking, with a planned reason."),
            ("Restart-QuellComputer -BootOptions", "Restarts into the boot options menu."),
        ],
    },
    "Stop-QuellPendingShutdown": {
        "synopsis": "Stops a pending shutdown or restart during its warning period.",
        "description": "Calls Quell.Net's Computer.AbortShutdown and writes $true when a pending shutdown was "
                       "stopped, $false when none was pending.",
        "parameters": {"ComputerName": ("String", 0, "Another computer, NAME or \\\\NAME; this computer when not given.")},
        "examples": [
            ("Stop-QuellComputer -Delay 3600\nStop-QuellPendingShutdown",
             "Asks for a shutdown in an hour, then stops it."),
            ("if (-not (Stop-QuellPendingShutdown -ComputerName Server01)) { 'Nothing was pending on Server01.' }",
             "Stops a pending shutdown of Server01, saying when there was none."),
        ],
    },
    "Suspend-QuellComputer": {
        "synopsis": "Puts the computer to sleep (S1 to S3) or into hibernation (S4).",
        "description": "Calls Quell.Net's Computer.Sleep, or Computer.Hibernate with -Hibernate. A machine without "
                       "an S1 to S3 sleep state (Modern Standby machines among them) refuses to sleep with an error "
                       "that says so; Get-QuellPowerCapability tells beforehand.",
        "parameters": {"Hibernate": ("SwitchParameter", None, "Hibernates instead of sleeping.")},
        "examples": [
            ("Suspend-QuellComputer", "Puts the computer to sleep."),
            ("if ((Get-QuellPowerCapability).S4) { Suspend-QuellComputer -Hibernate }",
             "Hibernates where the machine can."),
        ],
    },
    "Lock-QuellSession": {
        "synopsis": "Locks the workstation.",
        "description": "Calls Quell.Net's Session.Lock: the user's session stays and shows the sign-in screen.",
        "parameters": {},
        "examples": [("Lock-QuellSession", "Locks the workstation.")],
    },
    "Exit-QuellSession": {
        "synopsis": "Logs the user off.",
        "description": "Calls Quell.Net's Session.LogOff, which ends the user's session.",
        "parameters": {"Force": ("SwitchParameter", None, "Closes applications without asking them to save their work.")},
        "examples": [
            ("Exit-QuellSession", "Logs off, letting applications ask to save their work."),
            ("Exit-QuellSession -Force", "Logs off, closing applications without asking."),
        ],
    },
    "Get-QuellPowerCapability": {
        "synopsis": "Gets the computer's sleep states.",
        "description": "Calls Quell.Net's Computer.GetPowerCapabilities: S1 to S4, whether the hibernation file is "
                       "present and whether the machine has Modern Standby.",
        "parameters": {},
        "examples": [
            ("Get-QuellPowerCapability", "Lists the computer's sleep states."),
            ("(Get-QuellPowerCapability).ModernStandby", "Tells whether the machine has Modern Standby."),
        ],
    },
}


def _xml(text):
    return package_manifests._xml(text)


def _paras(text):
    return "".join(f"<maml:para>{_xml(line)}</maml:para>" for line in text.split("\n"))


def maml():
    """The module's help in MAML, one command per cmdlet of HELP."""
    commands = []
    for name, help in HELP.items():
        verb, noun = name.split("-", 1)
        def parameter(parameter, described):
            kind, position, text = help["parameters"][parameter]
            value = "" if kind == "SwitchParameter" else f'<command:parameterValue required="true">{kind}</command:parameterValue>'
            return (f'<command:parameter required="false" position="{"named" if position is None else position}" '
                    f'pipelineInput="false" globbing="false"><maml:name>{parameter}</maml:name>'
                    + (f"<maml:description>{_paras(text)}</maml:description>" if described else "") + value
                    + (f"<dev:type><maml:name>{kind}</maml:name></dev:type>" if described else "") + "</command:parameter>")

        exclusive = help.get("exclusive", [])
        shared = [name for name in help["parameters"] if name not in exclusive]
        syntax = "".join(f"<command:syntaxItem><maml:name>{name}</maml:name>"
                         + "".join(parameter(name_, False) for name_ in names) + "</command:syntaxItem>"
                         for names in [shared] + [shared + [one] for one in exclusive])
        parameters = "".join(parameter(name_, True) for name_ in help["parameters"])
        examples = "".join(
            f"<command:example><maml:title>-------------------------- Example {number} --------------------------"
            f"</maml:title><dev:code>{_xml(code)}</dev:code><dev:remarks>{_paras(remarks)}</dev:remarks></command:example>"
            for number, (code, remarks) in enumerate(help["examples"], 1))
        commands.append(
            '<command:command xmlns:maml="http://schemas.microsoft.com/maml/2004/10" '
            'xmlns:command="http://schemas.microsoft.com/maml/dev/command/2004/10" '
            'xmlns:dev="http://schemas.microsoft.com/maml/dev/2004/10">\n'
            f"<command:details><command:name>{name}</command:name><command:verb>{verb}</command:verb>"
            f"<command:noun>{noun}</command:noun><maml:description>{_paras(help['synopsis'])}</maml:description>"
            f"</command:details>\n<maml:description>{_paras(help['description'])}</maml:description>\n"
            f"<command:syntax>{syntax}</command:syntax>\n"
            f"<command:parameters>{parameters}</command:parameters>\n"
            f"<command:examples>{examples}</command:examples>\n</command:command>\n")
    return ('<?xml version="1.0" encoding="utf-8"?>\n<helpItems schema="maml" xmlns="http://msh">\n'
            + "".join(commands) + "</helpItems>\n")


def _psd1_string(text):
    return "'" + text.replace("'", "''") + "'"


def _psd1_list(items):
    return "@(" + ", ".join(_psd1_string(item) for item in items) + ")"


def copyright_line():
    with open(os.path.join(ROOT, "LICENSE"), encoding="utf-8") as licence:
        return package_manifests.copyright_line(licence.read())


def manifest(release):
    return f"""# The module manifest of Quell {release["version"]}, written by Quell's make dist.
@{{
    RootModule = 'Quell.PowerShell.dll'
    ModuleVersion = {_psd1_string(release["version"])}
    GUID = '{GUID}'
    Author = {_psd1_string(package_manifests.PUBLISHER)}
    CompanyName = {_psd1_string(package_manifests.PUBLISHER)}
    Copyright = {_psd1_string(copyright_line())}
    Description = {_psd1_string(release["description"] + ": cmdlets over Quell.Net and Quell.dll")}
    PowerShellVersion = '5.1'
    CompatiblePSEditions = @('Desktop', 'Core')
    DotNetFrameworkVersion = {_psd1_string(DOTNET_FRAMEWORK)}
    CmdletsToExport = {_psd1_list(HELP)}
    FunctionsToExport = @()
    VariablesToExport = @()
    AliasesToExport = @()
    PrivateData = @{{
        PSData = @{{
            Tags = {_psd1_list(TAGS)}
            LicenseUri = {_psd1_string("https://licenses.nuget.org/" + package_manifests.LICENSE)}
            ProjectUri = {_psd1_string(release["homepage"])}
        }}
    }}
}}
"""


def build(version):
    """Builds the cmdlets and Quell.Net (netstandard2.0); returns {name: bytes} of the two assemblies."""
    environment = dict(os.environ, DOTNET_CLI_TELEMETRY_OPTOUT="1", DOTNET_NOLOGO="1",
                       DOTNET_SKIP_FIRST_TIME_EXPERIENCE="1", MSBUILDDISABLENODEREUSE="1")
    done = subprocess.run(["dotnet", "build", PROJECT, "-c", "Release", f"-p:Version={version}",
                           "--disable-build-servers", "-nologo", "-v:minimal"], env=environment,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if done.returncode != 0:
        raise ModuleError(f"{done.stdout}dotnet build {PROJECT} failed")
    assemblies = {}
    for name in ASSEMBLIES:
        with open(os.path.join(BUILT, name), "rb") as assembly:
            assemblies[name] = assembly.read()
    return assemblies


def module_files(release, dlls):
    """{relative path: bytes} of the module folder; dlls: {architecture: path of its Quell.dll}."""
    files = {f"{MODULE}.psd1": manifest(release).encode("utf-8"),
             f"en-US/{HELP_FILE}": maml().encode("utf-8")}
    files.update(build(release["version"]))
    with open(os.path.join(ROOT, "LICENSE"), "rb") as licence:
        files["LICENSE.txt"] = licence.read()
    for architecture, dll in sorted(dlls.items()):
        with open(dll, "rb") as image:
            files[f"{architecture}/Quell.dll"] = image.read()
    return files


def nuspec(release):
    commands = " ".join(f"PSCmdlet_{name} PSCommand_{name}" for name in HELP)
    return f"""<?xml version="1.0" encoding="utf-8"?>
<package xmlns="http://schemas.microsoft.com/packaging/2011/08/nuspec.xsd">
  <metadata>
    <id>{MODULE}</id>
    <version>{_xml(release["version"])}</version>
    <authors>{_xml(package_manifests.PUBLISHER)}</authors>
    <owners>{_xml(package_manifests.PUBLISHER)}</owners>
    <requireLicenseAcceptance>false</requireLicenseAcceptance>
    <licenseUrl>https://licenses.nuget.org/{package_manifests.LICENSE}</licenseUrl>
    <projectUrl>{_xml(release["homepage"])}</projectUrl>
    <description>{_xml(release["description"])}: the PowerShell module, cmdlets over Quell.Net and Quell.dll.</description>
    <copyright>{_xml(copyright_line())}</copyright>
    <tags>PSModule PSEdition_Desktop PSEdition_Core PSIncludes_Cmdlet {commands} {" ".join(TAGS)}</tags>
  </metadata>
</package>
"""


def write_nupkg(folder, release, files):
    """folder/Quell.<version>.nupkg: the module's files at the package's root, as PowerShell repositories serve them."""
    return package_manifests.write_package(folder, MODULE, release, nuspec(release), files, "PSModule")


def write_release(folder, release, dlls):
    """folder/Quell.<version>.nupkg and folder/Quell.<version>.zip (the module folder Quell/); returns both paths."""
    files = module_files(release, dlls)
    package = write_nupkg(folder, release, files)
    bundle = os.path.join(folder, f"{MODULE}.{release['version']}.zip")
    package_manifests.write_zip(bundle, {f"{MODULE}/{name}": data for name, data in files.items()}, release["mtime"])
    return [package, bundle]
