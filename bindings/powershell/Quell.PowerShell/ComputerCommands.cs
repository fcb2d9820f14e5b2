// Shutting down, restarting and aborting: each cmdlet is one Quell.Net call. The
// confirm impact is Medium, as Stop-Computer and Restart-Computer declare it
// (SupportsShouldProcess without a ConfirmImpact, which is Medium).
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Management.Automation;

namespace Quell.PowerShell;

/// <summary>What Stop-QuellComputer and Restart-QuellComputer share: ShutdownOptions' common members.</summary>
public abstract class EndComputerCommand : QuellCmdlet
{
    /// <summary>Another computer, NAME or \\NAME; this one when not given.</summary>
    [Parameter(Position = 0)]
    [ValidateNotNullOrEmpty]
    public string? ComputerName { get; set; }

    /// <summary>The warning period in seconds.</summary>
    [Parameter]
    [ValidateDelay]
    public int Delay { get; set; }

    /// <summary>The text shown during the warning period.</summary>
    [Parameter]
    public string? Message { get; set; }

    /// <summary>The reason recorded, [p:|u:]MAJOR:MINOR.</summary>
    [Parameter]
    [ValidateShutdownReason]
    public string? Reason { get; set; }

    /// <summary>Close applications without asking them.</summary>
    [Parameter]
    public SwitchParameter Force { get; set; }

    /// <summary>The options as given, the kind-specific switches set by the cmdlet.</summary>
    /// <returns>The options for Computer.Shutdown or Computer.Restart.</returns>
    protected ShutdownOptions Options() => new()
    {
        ComputerName = ComputerName,
        Delay = TimeSpan.FromSeconds(Delay),
        Message = Message,
        Reason = Reason is null ? null : ShutdownReason.Parse(Reason),
        Force = Force.IsPresent,
    };

    /// <summary>How -WhatIf and -Confirm name the call: Computer.Shutdown { Force, Delay = 60 s, ... }.</summary>
    /// <param name="call">The Quell.Net method.</param>
    /// <param name="options">Its options.</param>
    /// <returns>The call as named.</returns>
    protected static string Describe(string call, ShutdownOptions options)
    {
        var named = new List<string>();
        if (options.Force) named.Add("Force");
        if (options.Hybrid) named.Add("Hybrid");
        if (options.RestartApps) named.Add("RestartApps");
        if (options.BootOptions) named.Add("BootOptions");
        if (options.Delay != TimeSpan.Zero) named.Add("Delay = " + options.Delay.TotalSeconds.ToString(CultureInfo.InvariantCulture) + " s");
        if (options.Message is not null) named.Add($"Message = \"{options.Message}\"");
        if (options.Reason is ShutdownReason reason) named.Add($"Reason = {reason}");
        if (options.ComputerName is not null) named.Add($"ComputerName = {options.ComputerName}");
        return named.Count == 0 ? call : $"{call} {{ {string.Join(", ", named)} }}";
    }

    /// <summary>The target -WhatIf, -Confirm and errors name.</summary>
    protected string Target => ComputerName ?? ThisComputer;
}

/// <summary>Stop-QuellComputer: Computer.Shutdown.</summary>
[Cmdlet(VerbsLifecycle.Stop, "QuellComputer", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium)]
[OutputType(typeof(void))]
public sealed class StopQuellComputerCommand : EndComputerCommand
{
    /// <summary>Shut down for a fast start-up (Windows 8 and later).</summary>
    [Parameter]
    public SwitchParameter Hybrid { get; set; }

    /// <inheritdoc/>
    protected override void ProcessRecord()
    {
        ShutdownOptions options = Options();
        options.Hybrid = Hybrid.IsPresent;
        Invoke(Target, Describe("Computer.Shutdown", options), () => Computer.Shutdown(options), ComputerName);
    }
}

/// <summary>Restart-QuellComputer: Computer.Restart.</summary>
[Cmdlet(VerbsLifecycle.Restart, "QuellComputer", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium,
    DefaultParameterSetName = "Restart")]
[OutputType(typeof(void))]
public sealed class RestartQuellComputerCommand : EndComputerCommand
{
    /// <summary>Restart the applications registered for restart.</summary>
    [Parameter(ParameterSetName = "RestartApps")]
    public SwitchParameter RestartApps { get; set; }

    /// <summary>Restart into the boot options menu (Windows 8 and later).</summary>
    [Parameter(ParameterSetName = "BootOptions")]
    public SwitchParameter BootOptions { get; set; }

    /// <inheritdoc/>
    protected override void ProcessRecord()
    {
        ShutdownOptions options = Options();
        options.RestartApps = RestartApps.IsPresent;
        options.BootOptions = BootOptions.IsPresent;
        Invoke(Target, Describe("Computer.Restart", options), () => Computer.Restart(options), ComputerName);
    }
}

/// <summary>Stop-QuellPendingShutdown: Computer.AbortShutdown; writes whether a pending shutdown was aborted.</summary>
[Cmdlet(VerbsLifecycle.Stop, "QuellPendingShutdown", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium)]
[OutputType(typeof(bool))]
public sealed class StopQuellPendingShutdownCommand : QuellCmdlet
{
    /// <summary>Another computer, NAME or \\NAME; this one when not given.</summary>
    [Parameter(Position = 0)]
    [ValidateNotNullOrEmpty]
    public string? ComputerName { get; set; }

    /// <inheritdoc/>
    protected override void ProcessRecord()
    {
        string call = ComputerName is null ? "Computer.AbortShutdown" : $"Computer.AbortShutdown(\"{ComputerName}\")";
        Invoke(ComputerName ?? ThisComputer, call, () => WriteObject(Computer.AbortShutdown(ComputerName)), ComputerName);
    }
}

/// <summary>Suspend-QuellComputer: Computer.Sleep, or Computer.Hibernate.</summary>
[Cmdlet(VerbsLifecycle.Suspend, "QuellComputer", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium)]
[OutputType(typeof(void))]
public sealed class SuspendQuellComputerCommand : QuellCmdlet
{
    /// <summary>Hibernate (S4) instead of standby (S1 to S3).</summary>
    [Parameter]
    public SwitchParameter Hibernate { get; set; }

    /// <inheritdoc/>
    protected override void ProcessRecord()
    {
        if (Hibernate)
        {
            Invoke(ThisComputer, "Computer.Hibernate", Computer.Hibernate);
        }
        else
        {
            Invoke(ThisComputer, "Computer.Sleep", Computer.Sleep);
        }
    }
}

/// <summary>Get-QuellPowerCapability: Computer.GetPowerCapabilities.</summary>
[Cmdlet(VerbsCommon.Get, "QuellPowerCapability")]
[OutputType(typeof(PowerCapabilities))]
public sealed class GetQuellPowerCapabilityCommand : QuellCmdlet
{
    /// <inheritdoc/>
    protected override void ProcessRecord() => Run(ThisComputer, () => WriteObject(Computer.GetPowerCapabilities()));
}
