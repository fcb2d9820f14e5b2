// Shutdown and restart make the calls quell.exe makes for the matching command
// line: Quell.dll's immediate export where nothing more is asked, else the
// system's shutdown request after WindowsNTPrivilegien (a local request needs
// the shutdown privilege) through the InitiateShutdownW forwarder. quell.exe
// makes it so from Vista (6.0) on, and every Windows that runs .NET Framework
// 4.6.2 or .NET 8 is Windows 7 or later: quell.exe's XP route is not taken here.
// What the running Windows lacks is known from its version before any call.
using System;

namespace Quell;

/// <summary>Shuts down, restarts, sleeps or hibernates the computer, and reads its sleep states.</summary>
public static class Computer
{
    // InitiateShutdownW's flags.
    private const uint ForceOthers = 0x1, ForceSelf = 0x2, RestartFlag = 0x4, PowerOff = 0x8, RestartAppsFlag = 0x80,
        HybridFlag = 0x200, BootOptionsFlag = 0x400, Forced = ForceOthers | ForceSelf;

    private static readonly ShutdownOptions NoOptions = new();

    /// <summary>Shuts the computer down and powers it off (<c>quell shutdown</c>).</summary>
    /// <param name="options">Force, Hybrid, a warning period, a message, a reason, another computer; null: none.</param>
    /// <exception cref="ArgumentException">An option is out of range, malformed, or for a restart only.</exception>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks what is asked (Hybrid before Windows 8).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    /// <exception cref="BadImageFormatException">Quell.dll there is for another architecture.</exception>
    public static void Shutdown(ShutdownOptions? options = null) => End(restart: false, options ?? NoOptions);

    /// <summary>Restarts the computer (<c>quell reboot</c>; with RestartApps <c>quell restart-apps</c>).</summary>
    /// <param name="options">Force, RestartApps, BootOptions, a warning period, a message, a reason, another computer; null: none.</param>
    /// <exception cref="ArgumentException">An option is out of range, malformed, or for a shutdown only (Hybrid).</exception>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks what is asked (BootOptions before Windows 8).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    /// <exception cref="BadImageFormatException">Quell.dll there is for another architecture.</exception>
    public static void Restart(ShutdownOptions? options = null) => End(restart: true, options ?? NoOptions);

    /// <summary>Aborts a pending timed shutdown or restart (<c>quell abort</c>).</summary>
    /// <param name="computerName">Another computer, <c>NAME</c> or <c>\\NAME</c>; null: this one.</param>
    /// <returns>True when a pending shutdown was aborted, false when none was pending.</returns>
    /// <exception cref="ArgumentException"><paramref name="computerName"/> is malformed.</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static bool AbortShutdown(string? computerName = null)
    {
        string? machine = Arguments.ComputerName(computerName, nameof(computerName));
        Library.EnsureLoaded();
        // Another machine's abort is advapi32's own, as quell.exe makes it.
        string call = machine is null ? nameof(NativeMethods.LocalAbortSystemShutdown) : nameof(NativeMethods.AbortSystemShutdownW);
        int result = machine is null ? NativeMethods.LocalAbortSystemShutdown() : NativeMethods.AbortSystemShutdownW(machine);
        if (result != 0) return true;
        int error = Failure.LastError;
        if (error == Failure.NoShutdownInProgress) return false;
        throw Failure.For(call, error, machine);
    }

    /// <summary>Puts the computer into standby, S1 to S3 (<c>quell standby</c>).</summary>
    /// <exception cref="NotSupportedException">The machine has no S1–S3 sleep state.</exception>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks standby.</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void Sleep()
    {
        Library.EnsureLoaded();
        if (NativeMethods.WindowsStandby() != 0) return;
        int error = Failure.LastError;
        if (error != Failure.NotSupported) throw Failure.For(nameof(NativeMethods.WindowsStandby), error);
        throw new NotSupportedException("This machine has no S1–S3 sleep state" + (HasModernStandby()
            ? ": it has Modern Standby (S0 low power idle) instead, which it enters when the display is turned off."
            : "."));
    }

    /// <summary>Hibernates the computer (<c>quell hibernate</c>).</summary>
    /// <exception cref="PlatformNotSupportedException">The running Windows lacks hibernation.</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static void Hibernate()
    {
        Library.EnsureLoaded();
        Failure.Check(NativeMethods.WindowsHibernate(), nameof(NativeMethods.WindowsHibernate));
    }

    /// <summary>The machine's sleep states, as <c>quell status</c> reports them.</summary>
    /// <returns>What the system's power capabilities record says.</returns>
    /// <exception cref="PlatformNotSupportedException">The running Windows cannot tell (no GetPwrCapabilities).</exception>
    /// <exception cref="System.ComponentModel.Win32Exception">The system refused; <c>NativeErrorCode</c> says why.</exception>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    public static unsafe PowerCapabilities GetPowerCapabilities()
    {
        Library.EnsureLoaded();
        byte* record = stackalloc byte[NativeMethods.PowerCapabilitiesSize];
        Failure.Check(NativeMethods.GetPwrCapabilities(record), nameof(NativeMethods.GetPwrCapabilities));
        return new PowerCapabilities(record);
    }

    // Asked only to explain a refused standby, as quell.exe does.
    private static unsafe bool HasModernStandby()
    {
        byte* record = stackalloc byte[NativeMethods.PowerCapabilitiesSize];
        return NativeMethods.GetPwrCapabilities(record) != 0 && new PowerCapabilities(record).ModernStandby;
    }

    private enum Export { Shutdown, ForceShutdown, HybridShutdown, Reboot, ForceReboot, RestartApps }

    private static void End(bool restart, ShutdownOptions options)
    {
        string? machine = Arguments.ComputerName(options.ComputerName, nameof(options));
        uint delay = Arguments.Seconds(options.Delay, nameof(options));
        if (restart && options.Hybrid) throw new ArgumentException("Hybrid is a kind of shutdown, not of restart.", nameof(options));
        if (!restart && (options.RestartApps || options.BootOptions))
        {
            throw new ArgumentException("RestartApps and BootOptions are kinds of restart, not of shutdown.", nameof(options));
        }
        if (options.RestartApps && options.BootOptions)
        {
            throw new ArgumentException("RestartApps and BootOptions do not go together.", nameof(options));
        }

        // The immediate export, and the flags of the system's request it stands for.
        (Export export, uint flags) = restart
            ? options.RestartApps ? (Export.RestartApps, RestartFlag | RestartAppsFlag)
            : options.Force ? (Export.ForceReboot, RestartFlag | Forced) : (Export.Reboot, RestartFlag)
            : options.Hybrid ? (Export.HybridShutdown, PowerOff | HybridFlag)
            : options.Force ? (Export.ForceShutdown, PowerOff | Forced) : (Export.Shutdown, PowerOff);
        bool systemRequest = machine is not null || delay != 0 || options.Message is not null || options.Reason is not null ||
                             options.BootOptions || (options.Force && (flags & ForceSelf) == 0);
        flags |= (options.Force ? Forced : 0) | (options.BootOptions ? BootOptionsFlag : 0);
        uint reason = options.Reason?.Code ?? 0;

        int version = WindowsVersion();
        string? lacking = (flags & HybridFlag) != 0 && version < 0x602 ? "SHUTDOWN_HYBRID (Windows 8 and later)"
            : (flags & BootOptionsFlag) != 0 && version < 0x602 ? "SHUTDOWN_RESTART_BOOTOPTIONS (Windows 8 and later)"
            : ((flags & RestartAppsFlag) != 0 || systemRequest) && version < 0x600 ? "InitiateShutdownW (Windows Vista and later)"
            : null;
        if (lacking is not null) throw new PlatformNotSupportedException($"Not available: this Windows lacks {lacking}.");

        Library.EnsureLoaded();
        if (!systemRequest)
        {
            (int result, string call) = Call(export);
            Failure.Check(result, call);
            return;
        }
        if (machine is null) Failure.Check(NativeMethods.WindowsNTPrivilegien(), nameof(NativeMethods.WindowsNTPrivilegien));
        // It answers with an error code, 0 when the request was made.
        uint code = NativeMethods.InitiateShutdownW(machine, options.Message, delay, flags, reason);
        if (code != 0) throw Failure.For(nameof(NativeMethods.InitiateShutdownW), (int)code, machine);
    }

    private static (int Result, string Call) Call(Export export) => export switch
    {
        Export.Shutdown => (NativeMethods.WindowsShutdown(), nameof(NativeMethods.WindowsShutdown)),
        Export.ForceShutdown => (NativeMethods.WindowsForceShutdown(), nameof(NativeMethods.WindowsForceShutdown)),
        Export.HybridShutdown => (NativeMethods.WindowsHybridShutdown(), nameof(NativeMethods.WindowsHybridShutdown)),
        Export.Reboot => (NativeMethods.WindowsReboot(), nameof(NativeMethods.WindowsReboot)),
        Export.ForceReboot => (NativeMethods.WindowsForceReboot(), nameof(NativeMethods.WindowsForceReboot)),
        _ => (NativeMethods.WindowsRestartApps(), nameof(NativeMethods.WindowsRestartApps)),
    };

    /// <summary>The NT version as major &lt;&lt; 8 | minor, as GetVersionEx reports it to quell.exe; 0 outside the NT family.</summary>
    private static unsafe int WindowsVersion()
    {
        NativeMethods.OsVersionInfo info = default;
        info.Size = (uint)sizeof(NativeMethods.OsVersionInfo);
        const uint Nt = 2;  // VER_PLATFORM_WIN32_NT
        if (NativeMethods.GetVersionExW(&info) == 0 || info.Platform != Nt) return 0;
        return (int)(info.Major << 8 | info.Minor);
    }
}
