# Run by the host under Wine with the release's module beside it: only calls that
# change nothing (a query, the version, a name refused before any call). Only the
# cmdlets of System.Management.Automation are here: no Join-Path, no ConvertTo-Json.
"process|$([Runtime.InteropServices.RuntimeInformation]::ProcessArchitecture)"
Import-Module ([IO.Path]::Combine($QuellHere, 'Quell', 'Quell.psd1'))
"cmdlets|$((Get-Command -Module Quell).Count)"
"capabilities|$((Get-QuellPowerCapability).GetType().FullName)"
"version|$(('Quell.QuellLibrary' -as [type])::Version)"
"loaded|$([Diagnostics.Process]::GetCurrentProcess().Modules | Where-Object ModuleName -eq 'Quell.dll' | ForEach-Object FileName)"
Stop-QuellComputer -ComputerName 'two words' -Confirm:$false
