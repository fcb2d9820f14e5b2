// What every cmdlet of the module shares: asking ShouldProcess before anything of
// Quell.Net runs (so -WhatIf and a declined -Confirm load nothing), and turning
// Quell.Net's exceptions into PowerShell errors that carry them.
using System;
using System.ComponentModel;
using System.Management.Automation;

namespace Quell.PowerShell;

/// <summary>The base of the module's cmdlets.</summary>
public abstract class QuellCmdlet : PSCmdlet
{
    /// <summary>The local computer, as a target of ShouldProcess and of errors.</summary>
    protected static string ThisComputer => Environment.MachineName;

    /// <summary>The user's session, as a target of ShouldProcess and of errors.</summary>
    protected static string ThisSession => $"{Environment.UserName} on {Environment.MachineName}";

    /// <summary>Carries out the call when ShouldProcess agrees; a refusal becomes an error record.</summary>
    /// <param name="target">What the call acts on, as -WhatIf and -Confirm name it.</param>
    /// <param name="call">The Quell.Net call with its options, as -WhatIf and -Confirm name it.</param>
    /// <param name="action">The call itself; runs only after ShouldProcess.</param>
    /// <param name="computerName">The computer named, checked before ShouldProcess: -WhatIf does not
    /// answer for a request the call would refuse.</param>
    protected void Invoke(string target, string call, Action action, string? computerName = null)
    {
        if (action is null) return;
        if (computerName is not null && !Run(target, () => Arguments.ComputerName(computerName, nameof(computerName)))) return;
        if (!ShouldProcess(target, call)) return;
        Run(target, action);
    }

    /// <summary>Runs the action; a refusal becomes an error record.</summary>
    /// <param name="target">What the action acts on, for the error record.</param>
    /// <param name="action">The call into Quell.Net.</param>
    /// <returns>False when the action was refused.</returns>
    protected bool Run(string target, Action action)
    {
        try
        {
            action?.Invoke();
            return true;
        }
        catch (Exception exception) when (Category(exception) is ErrorCategory category)
        {
            WriteError(new ErrorRecord(exception, exception.GetType().Name, category, target));
            return false;
        }
    }

    /// <summary>The error category of an exception Quell.Net throws; null for any other (a fault, left to rise).</summary>
    /// <param name="exception">What Quell.Net threw.</param>
    /// <returns>The category, or null.</returns>
    internal static ErrorCategory? Category(Exception exception) => exception switch
    {
        ArgumentException => ErrorCategory.InvalidArgument,
        // The running Windows lacks the call; NotSupportedException: the machine lacks the sleep state.
        PlatformNotSupportedException => ErrorCategory.NotImplemented,
        NotSupportedException => ErrorCategory.NotEnabled,
        // 5: access denied; 1314: the shutdown privilege is not held. 53, 1722: the machine was not reached.
        Win32Exception { NativeErrorCode: 5 or 1314 } => ErrorCategory.PermissionDenied,
        Win32Exception { NativeErrorCode: 53 or 1722 } => ErrorCategory.ConnectionError,
        Win32Exception => ErrorCategory.InvalidOperation,
        // Quell.dll is missing, of another architecture, or lacks an export.
        DllNotFoundException or BadImageFormatException or EntryPointNotFoundException => ErrorCategory.ResourceUnavailable,
        _ => null,
    };
}
