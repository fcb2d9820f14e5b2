// The checks made of a request before anything is loaded or called, with the
// rules quell.exe applies to the same values on its command line.
using System;

namespace Quell;

internal static class Arguments
{
    internal static void NotNull(object? value, string parameter)
    {
#if NET
        ArgumentNullException.ThrowIfNull(value, parameter);
#else
        if (value is null) throw new ArgumentNullException(parameter);
#endif
    }

    /// <summary>The computer's name without a leading \\; null for this one.</summary>
    internal static string? ComputerName(string? name, string parameter)
    {
        if (name is null) return null;
        string bare = name.StartsWith(@"\\", StringComparison.Ordinal) ? name.Substring(2) : name;
        bool valid = bare.Length > 0;
        foreach (char c in bare) valid &= c is not ('\\' or '"' or ' ' or '\t') && c >= ' ';
        if (!valid)
        {
            throw new ArgumentException(
                $"A computer name is NAME or \\\\NAME, without blanks, quotes, control characters or further backslashes, not \"{name}\".",
                parameter);
        }
        return bare;
    }

    /// <summary>The warning period in seconds.</summary>
    internal static uint Seconds(TimeSpan delay, string parameter)
    {
        if (delay < TimeSpan.Zero || delay > ShutdownOptions.MaxDelay)
        {
            throw new ArgumentOutOfRangeException(parameter, delay, $"The delay is 0 to {ShutdownOptions.MaxDelay.TotalSeconds} seconds.");
        }
        if (delay.Ticks % TimeSpan.TicksPerSecond != 0)
        {
            throw new ArgumentException($"The delay is a whole number of seconds, not {delay}.", parameter);
        }
        return (uint)(delay.Ticks / TimeSpan.TicksPerSecond);
    }
}
