// Locking and ending the user's session: one Quell.Net call each, with the
// confirm impact of the computer cmdlets.
using System.Management.Automation;

namespace Quell.PowerShell;

/// <summary>Lock-QuellSession: Session.Lock.</summary>
[Cmdlet(VerbsCommon.Lock, "QuellSession", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium)]
[OutputType(typeof(void))]
public sealed class LockQuellSessionCommand : QuellCmdlet
{
    /// <inheritdoc/>
    protected override void ProcessRecord() => Invoke(ThisSession, "Session.Lock", Session.Lock);
}

/// <summary>Exit-QuellSession: Session.LogOff.</summary>
[Cmdlet(VerbsCommon.Exit, "QuellSession", SupportsShouldProcess = true, ConfirmImpact = ConfirmImpact.Medium)]
[OutputType(typeof(void))]
public sealed class ExitQuellSessionCommand : QuellCmdlet
{
    /// <summary>Close applications without asking them.</summary>
    [Parameter]
    public SwitchParameter Force { get; set; }

    /// <inheritdoc/>
    protected override void ProcessRecord()
    {
        bool force = Force.IsPresent;
        Invoke(ThisSession, force ? "Session.LogOff { Force }" : "Session.LogOff",
            () => Session.LogOff(force));
    }
}
