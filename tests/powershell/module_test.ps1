# Run by module_test.py: installs the module Quell from a folder repository with
# PowerShellGet 2 and with PSResourceGet, imports it, and reports what it finds
# as lines '@@ <json>'; each case's host output (What if: ...) comes between
# '@@begin <id>' and its '@@ ' line. module_test.py holds the expectations.
param([Parameter(Mandatory)] [string] $InputFile)
$ErrorActionPreference = 'Stop'
$ProgressPreference = 'SilentlyContinue'
$given = Get-Content -Raw $InputFile | ConvertFrom-Json

function Report($fact) { '@@ ' + ($fact | ConvertTo-Json -Compress -Depth 6) }

# What a command does: its output and the errors it wrote or ended with; each
# statement of a script runs whatever the one before it wrote.
function Outcome([string] $command, [bool] $whatIf) {
    $WhatIfPreference = $whatIf
    $ErrorActionPreference = 'Continue'
    try {
        $all = @(& ([scriptblock]::Create($command)) 2>&1)
    } catch {
        $all = @($_)
    }
    $errors = @($all | Where-Object { $_ -is [System.Management.Automation.ErrorRecord] } | ForEach-Object {
        @{ exception = $_.Exception.GetType().FullName; category = "$($_.CategoryInfo.Category)" } })
    @{ ok = $errors.Count -eq 0; errors = $errors
       output = @($all | Where-Object { $_ -isnot [System.Management.Automation.ErrorRecord] } | ForEach-Object { "$_" }) }
}

# PowerShellGet 2 (Windows PowerShell 5.1's Install-Module), then PSResourceGet.
Register-PSRepository -Name QuellFeed -SourceLocation $given.feed -InstallationPolicy Trusted
Install-Module Quell -Repository QuellFeed -Scope CurrentUser -Force
Report @{ installModule = "$((Get-InstalledModule Quell).Version)" }
Uninstall-Module Quell -AllVersions
Register-PSResourceRepository -Name QuellFeed -Uri $given.feed -Trusted
Install-PSResource Quell -Repository QuellFeed -TrustRepository -Scope CurrentUser
Report @{ installPSResource = "$((Get-InstalledPSResource Quell).Version)" }

Import-Module Quell
$module = Get-Module Quell
$assembly = [Quell.PowerShell.QuellCmdlet].Assembly
Report @{ module = @{
    version = "$($module.Version)"; editions = @($module.CompatiblePSEditions); powerShellVersion = "$($module.PowerShellVersion)"
    licenseUri = "$($module.LicenseUri)"; projectUri = "$($module.ProjectUri)"; rootModule = $module.RootModule
    exported = @($module.ExportedCmdlets.Keys)
    inAssembly = @($assembly.GetTypes() | ForEach-Object { $_.GetCustomAttributes([System.Management.Automation.CmdletAttribute], $false) } |
                   ForEach-Object { "$($_.VerbName)-$($_.NounName)" })
    files = @(Get-ChildItem -Recurse -File $module.ModuleBase | ForEach-Object { [IO.Path]::GetRelativePath($module.ModuleBase, $_.FullName).Replace('\', '/') })
} }

$approved = (Get-Verb).Verb
$stopComputer = (Get-Command Stop-Computer).ImplementingType.GetCustomAttributes([System.Management.Automation.CmdletAttribute], $false)[0]
$common = [System.Management.Automation.Cmdlet]::CommonParameters + [System.Management.Automation.Cmdlet]::OptionalCommonParameters
foreach ($command in Get-Command -Module Quell) {
    $attribute = $command.ImplementingType.GetCustomAttributes([System.Management.Automation.CmdletAttribute], $false)[0]
    $help = Get-Help $command.Name -Full
    $sets = @($command.ParameterSets | ForEach-Object {
        ,@($_.Parameters | Where-Object Name -notin $common | ForEach-Object { "$($_.Name):$($_.ParameterType.Name):$($_.Position)" } | Sort-Object) })
    $helpSets = @($help.syntax.syntaxItem | ForEach-Object {
        ,@($_.parameter | Where-Object { $_ } | ForEach-Object {
            $kind = if ($_.parameterValue) { "$($_.parameterValue)" } else { 'SwitchParameter' }
            $position = if ($_.position -eq 'named') { [int]::MinValue } else { $_.position }
            "$($_.name):$($kind):$position" } | Sort-Object) })
    Report @{ cmdlet = $command.Name; verb = $command.Verb; approved = $command.Verb -in $approved
              shouldProcess = $attribute.SupportsShouldProcess; confirmImpact = "$($attribute.ConfirmImpact)"
              stopComputerImpact = "$($stopComputer.ConfirmImpact)"
              synopsis = "$($help.Synopsis)"; examples = @((Get-Help $command.Name -Examples).examples.example).Count
              sets = @($sets | ForEach-Object { $_ -join ',' } | Sort-Object)
              helpSets = @($helpSets | ForEach-Object { $_ -join ',' } | Sort-Object)
              exampleCode = @((Get-Help $command.Name -Examples).examples.example | ForEach-Object { $_.code }) }
}

foreach ($case in $given.cases) {
    "@@begin $($case.id)"
    $outcome = Outcome $case.command $false
    $outcome.id = $case.id
    Report $outcome
}
foreach ($example in $given.examples) {
    "@@begin $($example.id)"
    $outcome = Outcome $example.code $true
    $outcome.id = $example.id
    Report $outcome
}
'@@end'
