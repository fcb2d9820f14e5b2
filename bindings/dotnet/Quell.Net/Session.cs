using System;

namespace Quell;

/// <summary>Ends or locks the user's session.</summary>
public static class Session
{
    /// <summary>Logs the user off (<c>quell logoff</c>; with <paramref name="force"/> <c>quell force-logoff</c>).</summary>
    /// <param name="force">Close applications without asking them.</param>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks what it needs.</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void LogOff(bool force = false)
    {
        Library.EnsureLoaded();
        if (force)
        {
            Failure.Check(NativeMethods.WindowsForceLogOnOff(), nameof(NativeMethods.WindowsForceLogOnOff));
        }
        else
        {
            Failure.Check(NativeMethods.WindowsLogOnOff(), nameof(NativeMethods.WindowsLogOnOff));
        }
    }

    /// <summary>Locks the workstation (<c>quell lock</c>).</summary>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks it (before Windows 2000).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void Lock()
    {
        Library.EnsureLoaded();
        Failure.Check(NativeMethods.LockWorkStation(), nameof(NativeMethods.LockWorkStation));
    }
}
