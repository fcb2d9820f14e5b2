using System;

namespace Quell;

/// <summary>
/// How <see cref="Computer.Shutdown"/> or <see cref="Computer.Restart"/> ends the session. Without
/// <see cref="Delay"/>, <see cref="Message"/>, <see cref="Reason"/>, <see cref="ComputerName"/> and
/// <see cref="BootOptions"/> the request is carried out at once by Quell.dll's own export; with any of
/// them it is the system's shutdown request, with a warning period.
/// </summary>
public sealed class ShutdownOptions
{
    /// <summary>The longest warning period the system takes: ten years, 315,360,000 seconds.</summary>
    public static readonly TimeSpan MaxDelay = TimeSpan.FromSeconds(315360000);

    /// <summary>Close applications without asking them (quell.exe's <c>--force</c>).</summary>
    public bool Force { get; set; }

    /// <summary>Shut down for a fast start-up (Windows 8 and later; shutdown only).</summary>
    public bool Hybrid { get; set; }

    /// <summary>Restart the applications registered for restart (restart only).</summary>
    public bool RestartApps { get; set; }

    /// <summary>Restart into the boot options menu (Windows 8 and later; restart only).</summary>
    public bool BootOptions { get; set; }

    /// <summary>The warning period, in whole seconds from zero to <see cref="MaxDelay"/>; zero: none.</summary>
    public TimeSpan Delay { get; set; }

    /// <summary>The text shown during the warning period; null: none.</summary>
    public string? Message { get; set; }

    /// <summary>The reason recorded for the shutdown; null: none given (the system's 0:0).</summary>
    public ShutdownReason? Reason { get; set; }

    /// <summary>Another computer, <c>NAME</c> or <c>\\NAME</c>; null: this one.</summary>
    public string? ComputerName { get; set; }
}
