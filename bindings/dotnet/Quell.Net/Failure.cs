// A refused call as the exception a .NET caller expects: what the system lacks
// as PlatformNotSupportedException, anything else as Win32Exception with the
// native code and, where the code has a known cause, the hint quell.exe gives.
using System;
using System.ComponentModel;
using System.Runtime.InteropServices;

namespace Quell;

internal static class Failure
{
    internal const int InvalidFunction = 1;        // InitiateShutdownW's forwarder: not available
    internal const int AccessDenied = 5;
    internal const int NotSupported = 50;
    internal const int CallNotImplemented = 120;   // a forwarder's "not available"
    internal const int NoShutdownInProgress = 1116;

    private const string Unreachable =
        ": check its name, the network, and that its firewall's remote administration rule lets the request in";

    // The error, whether only another machine's request has this cause, and the cause.
    private static readonly (int Error, bool RemoteOnly, string Why)[] Hints =
    {
        (AccessDenied, true, "that machine refused the account: it needs the \"Force shutdown from a remote system\" " +
            "right there, and a local account of that machine is cut to a standard user's rights over the network " +
            "by remote UAC filtering"),
        (53, false, "the machine was not found" + Unreachable),
        (1722, false, "the machine did not answer" + Unreachable),
        (1115, false, "a shutdown is already under way"),
        (1190, false, "a shutdown is already scheduled: Computer.AbortShutdown() cancels it first"),
        (1314, false, "the account does not hold the shutdown privilege"),
    };

    /// <summary>The last-error value of the call just made.</summary>
    internal static int LastError => Marshal.GetLastWin32Error();

    /// <summary>Throws for a Boolean answer of 0, with the last-error value it left.</summary>
    internal static void Check(int result, string call, string? machine = null)
    {
        if (result == 0) throw For(call, LastError, machine);
    }

    internal static Exception For(string call, int error, string? machine = null)
    {
        if (error == CallNotImplemented || (error == InvalidFunction && call == nameof(NativeMethods.InitiateShutdownW)))
        {
            return new PlatformNotSupportedException(
                $"{call} is not available: this Windows lacks it (Quell.dll answered {error}).");
        }
        string message = $"{call} failed with last error {error}: {new Win32Exception(error).Message}";
        foreach ((int known, bool remoteOnly, string why) in Hints)
        {
            if (known == error && (!remoteOnly || machine is not null))
            {
                message += $" The likely cause: {why}.";
                break;
            }
        }
        return new Win32Exception(error, message);
    }
}
