namespace Quell;

/// <summary>The machine's sleep states, as the system's power capabilities record gives them and <c>quell status</c> reports them.</summary>
public sealed class PowerCapabilities
{
    internal unsafe PowerCapabilities(byte* record)
    {
        // SYSTEM_POWER_CAPABILITIES: SystemS1 to SystemS4 at 3 to 6, HiberFilePresent at 8, AoAc at 20.
        S1 = record[3] != 0;
        S2 = record[4] != 0;
        S3 = record[5] != 0;
        S4 = record[6] != 0;
        HibernationFile = record[8] != 0;
        ModernStandby = record[20] != 0;
    }

    /// <summary>Whether the machine has the S1 sleep state.</summary>
    public bool S1 { get; }

    /// <summary>Whether the machine has the S2 sleep state.</summary>
    public bool S2 { get; }

    /// <summary>Whether the machine has the S3 sleep state (standby).</summary>
    public bool S3 { get; }

    /// <summary>Whether the machine has the S4 state (hibernation).</summary>
    public bool S4 { get; }

    /// <summary>Whether the hibernation file is present.</summary>
    public bool HibernationFile { get; }

    /// <summary>Whether the machine has Modern Standby (S0 low power idle), which takes the place of S1 to S3.</summary>
    public bool ModernStandby { get; }
}
