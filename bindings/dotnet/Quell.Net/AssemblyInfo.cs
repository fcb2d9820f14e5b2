using System.Runtime.CompilerServices;
using System.Runtime.Versioning;

[assembly: SupportedOSPlatform("windows")]
// The module's cmdlets check a computer name with Quell.Net's own rule before -WhatIf answers.
[assembly: InternalsVisibleTo("Quell.PowerShell")]
