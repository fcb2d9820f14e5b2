using System;

namespace Quell;

/// <summary>The reason a window's application gives for holding up a shutdown (Windows Vista and later).</summary>
public static class ShutdownBlockReason
{
    /// <summary>Sets the window's reason, shown while a shutdown waits for its application.</summary>
    /// <param name="window">A top-level window of this process.</param>
    /// <param name="reason">The reason shown.</param>
    /// <exception cref="ArgumentNullException"><paramref name="reason"/> is null.</exception>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks it (before Vista).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void Create(IntPtr window, string reason)
    {
        Arguments.NotNull(reason, nameof(reason));
        Library.EnsureLoaded();
        Failure.Check(NativeMethods.ShutdownBlockReasonCreate(window, reason), nameof(NativeMethods.ShutdownBlockReasonCreate));
    }

    /// <summary>Removes the window's reason.</summary>
    /// <param name="window">The window that set it.</param>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks it (before Vista).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void Destroy(IntPtr window)
    {
        Library.EnsureLoaded();
        Failure.Check(NativeMethods.ShutdownBlockReasonDestroy(window), nameof(NativeMethods.ShutdownBlockReasonDestroy));
    }

    /// <summary>The window's reason.</summary>
    /// <param name="window">A top-level window.</param>
    /// <returns>The reason; null when the window holds none.</returns>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks it (before Vista).</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static unsafe string? Query(IntPtr window)
    {
        Library.EnsureLoaded();
        // The length first, then the text; one more, as the length may or may not count the terminating null.
        uint length = 0;
        if (NativeMethods.ShutdownBlockReasonQuery(window, null, &length) == 0) return NoneOrThrow();
        uint capacity = length + 1;
        char[] text = new char[capacity];
        fixed (char* buffer = text)
        {
            if (NativeMethods.ShutdownBlockReasonQuery(window, buffer, &capacity) == 0) return NoneOrThrow();
        }
        int end = Array.IndexOf(text, '\0');
        return new string(text, 0, end < 0 ? (int)length : end);
    }

    // A window without a reason is answered with a failure; a missing function is not that.
    private static string? NoneOrThrow()
    {
        int error = Failure.LastError;
        if (error == Failure.CallNotImplemented) throw Failure.For(nameof(NativeMethods.ShutdownBlockReasonQuery), error);
        return null;
    }
}
