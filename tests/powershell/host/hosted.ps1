# Run by the host under Wine with the release's module beside it, the recording
# stand-in in place of the module's Quell.dll, and cli\ holding the release's
# quell.exe beside the stand-in, as quell8.exe and quell7.exe. The host's name
# ends in the route, 8 or 7, whose Windows Wine shows it and quell<route>.exe.
# Only the cmdlets of System.Management.Automation are here: no Join-Path, no
# Select-Object, no ConvertTo-Json.
"process|$([Runtime.InteropServices.RuntimeInformation]::ProcessArchitecture)"
Import-Module ([IO.Path]::Combine($QuellHere, 'Quell', 'Quell.psd1'))
"cmdlets|$((Get-Command -Module Quell).Count)"
"capabilities|$((Get-QuellPowerCapability).GetType().FullName)"
"version|$(('Quell.QuellLibrary' -as [type])::Version)"
"loaded|$([Diagnostics.Process]::GetCurrentProcess().Modules | Where-Object ModuleName -eq 'Quell.dll' | ForEach-Object FileName)"

# Each row of requests.txt on the route: quell.exe's calls for its command line into
# logs\ROUTE-N-quell.log, the cmdlet's for the request into logs\ROUTE-N-module.log,
# then how the cmdlet ended: row|N|exception type or output|category|native code.
$cmdlets = @{ LogOff = 'Exit-QuellSession'; Lock = 'Lock-QuellSession'; Shutdown = 'Stop-QuellComputer'
              Restart = 'Restart-QuellComputer'; AbortShutdown = 'Stop-QuellPendingShutdown'
              Sleep = 'Suspend-QuellComputer'; Hibernate = 'Suspend-QuellComputer' }
function Text([string] $value) { if ($value -eq '""') { '' } else { $value.Replace('|', ' ') } }
$route = [Diagnostics.Process]::GetCurrentProcess().ProcessName.Substring(19)
$quell = [IO.Path]::Combine($QuellHere, 'cli', "quell$route.exe")
$logs = [IO.Path]::Combine($QuellHere, 'logs')
$null = [IO.Directory]::CreateDirectory($logs)
$env:QUELL_STANDIN_CAPS = '3 5 6 20'
$number = 0
foreach ($line in [IO.File]::ReadAllLines([IO.Path]::Combine($QuellHere, 'requests.txt'))) {
    if ($line.Trim() -eq '' -or $line.StartsWith('#')) { continue }
    $number++
    $column = @($line.Split(';') | ForEach-Object { $_.Trim() }) + @('', '', '', '')
    if ($column[0] -ne $route) { continue }
    $env:QUELL_STANDIN_SCRIPT = $column[3]
    $env:QUELL_STANDIN_LOG = [IO.Path]::Combine($logs, "$route-$number-quell.log")
    $arguments = @($column[1].Split(' ') | ForEach-Object { Text $_ }) + '--yes'
    if ($column[1] -ne '-') { $null = & $quell @arguments 2>&1 }
    $words = $column[2].Split(' ', [StringSplitOptions]::RemoveEmptyEntries)
    $parameters = @{ Confirm = $false }
    if ($words[0] -eq 'Hibernate') { $parameters.Hibernate = $true }
    for ($i = 1; $i -lt $words.Count; $i++) {
        $pair = $words[$i].Split('=', 2)
        $parameters[$pair[0]] = if ($pair.Count -gt 1) { Text $pair[1] } else { $true }
    }
    $env:QUELL_STANDIN_LOG = [IO.Path]::Combine($logs, "$route-$number-module.log")
    $failure = $null
    $output = & $cmdlets[$words[0]] @parameters -ErrorVariable failure -ErrorAction SilentlyContinue
    if ($failure) {
        "row|$number|$($failure[0].Exception.GetType().Name)|$($failure[0].CategoryInfo.Category)|$($failure[0].Exception.NativeErrorCode)"
    } else {
        "row|$number|$output||"
    }
}
$env:QUELL_STANDIN_LOG = $null
Stop-QuellComputer -ComputerName 'two words' -Confirm:$false
