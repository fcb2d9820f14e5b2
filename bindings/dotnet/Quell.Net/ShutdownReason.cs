using System;
using System.Globalization;

namespace Quell;

/// <summary>
/// The reason recorded with a shutdown or restart: a major and a minor reason, and whether it was planned
/// or user-defined. Written <c>[p:|u:]MAJOR:MINOR</c> in decimal, as <c>quell.exe --reason</c> reads it.
/// </summary>
public readonly struct ShutdownReason : IEquatable<ShutdownReason>
{
    private const uint PlannedFlag = 0x80000000;      // SHTDN_REASON_FLAG_PLANNED
    private const uint UserDefinedFlag = 0x40000000;  // SHTDN_REASON_FLAG_USER_DEFINED

    /// <summary>The largest major reason.</summary>
    public const int MaxMajor = 255;

    /// <summary>The largest minor reason.</summary>
    public const int MaxMinor = 65535;

    /// <summary>A reason from its parts.</summary>
    /// <param name="major">The major reason, 0 to 255.</param>
    /// <param name="minor">The minor reason, 0 to 65535.</param>
    /// <param name="planned">Whether the shutdown was planned (<c>p:</c>).</param>
    /// <param name="userDefined">Whether the reason is user-defined (<c>u:</c>).</param>
    /// <exception cref="ArgumentOutOfRangeException">A part is out of its range.</exception>
    /// <exception cref="ArgumentException">Both <paramref name="planned"/> and <paramref name="userDefined"/>: the written form has one kind.</exception>
    public ShutdownReason(int major, int minor, bool planned = false, bool userDefined = false)
    {
        if (major is < 0 or > MaxMajor) throw new ArgumentOutOfRangeException(nameof(major), major, $"The major reason is 0 to {MaxMajor}.");
        if (minor is < 0 or > MaxMinor) throw new ArgumentOutOfRangeException(nameof(minor), minor, $"The minor reason is 0 to {MaxMinor}.");
        if (planned && userDefined) throw new ArgumentException("A reason is planned (p:) or user-defined (u:), not both.", nameof(userDefined));
        Code = (planned ? PlannedFlag : 0) | (userDefined ? UserDefinedFlag : 0) | (uint)major << 16 | (uint)minor;
    }

    /// <summary>The major reason, 0 to 255.</summary>
    public int Major => (int)(Code >> 16 & 0xFF);

    /// <summary>The minor reason, 0 to 65535.</summary>
    public int Minor => (int)(Code & 0xFFFF);

    /// <summary>Whether the shutdown was planned (written <c>p:</c>).</summary>
    public bool IsPlanned => (Code & PlannedFlag) != 0;

    /// <summary>Whether the reason is user-defined (written <c>u:</c>).</summary>
    public bool IsUserDefined => (Code & UserDefinedFlag) != 0;

    /// <summary>The 32-bit reason value the system takes.</summary>
    public uint Code { get; }

    /// <summary>Reads <c>[p:|u:]MAJOR:MINOR</c>: decimal digits, MAJOR 0 to 255, MINOR 0 to 65535, the prefix in either case.</summary>
    /// <param name="text">The written reason, e.g. <c>p:4:1</c>.</param>
    /// <returns>The reason.</returns>
    /// <exception cref="ArgumentNullException"><paramref name="text"/> is null.</exception>
    /// <exception cref="FormatException"><paramref name="text"/> is not such a reason.</exception>
    public static ShutdownReason Parse(string text)
    {
        Arguments.NotNull(text, nameof(text));
        if (TryParse(text, out ShutdownReason reason)) return reason;
        throw new FormatException(
            $"A shutdown reason is [p:|u:]MAJOR:MINOR, MAJOR 0 to {MaxMajor}, MINOR 0 to {MaxMinor}, not '{text}'.");
    }

    /// <summary>Reads <c>[p:|u:]MAJOR:MINOR</c> as <see cref="Parse"/> does, without throwing.</summary>
    /// <param name="text">The written reason.</param>
    /// <param name="reason">The reason read; the default when it returns false.</param>
    /// <returns>Whether <paramref name="text"/> is such a reason.</returns>
    public static bool TryParse(string? text, out ShutdownReason reason)
    {
        reason = default;
        if (text is null) return false;
        int at = 0;
        bool planned = false, userDefined = false;
        if (text.Length >= 2 && text[1] == ':')
        {
            planned = text[0] is 'p' or 'P';
            userDefined = text[0] is 'u' or 'U';
            if (planned || userDefined) at = 2;
        }
        if (!ReadNumber(text, ref at, MaxMajor, out int major) || at == text.Length || text[at++] != ':') return false;
        if (!ReadNumber(text, ref at, MaxMinor, out int minor) || at != text.Length) return false;
        reason = new ShutdownReason(major, minor, planned, userDefined);
        return true;
    }

    // At least one ASCII digit, the number at most max.
    private static bool ReadNumber(string text, ref int at, int max, out int value)
    {
        value = 0;
        int start = at;
        for (; at < text.Length && text[at] is >= '0' and <= '9'; ++at)
        {
            int digit = text[at] - '0';
            if (value > (max - digit) / 10) return false;
            value = value * 10 + digit;
        }
        return at > start;
    }

    /// <summary>The reason as written: <c>[p:|u:]MAJOR:MINOR</c>.</summary>
    /// <returns>The written form, which <see cref="Parse"/> reads back.</returns>
    public override string ToString() =>
        (IsPlanned ? "p:" : IsUserDefined ? "u:" : "") + Major.ToString(CultureInfo.InvariantCulture) + ":" +
        Minor.ToString(CultureInfo.InvariantCulture);

    /// <inheritdoc />
    public bool Equals(ShutdownReason other) => Code == other.Code;

    /// <inheritdoc />
    public override bool Equals(object? obj) => obj is ShutdownReason other && Equals(other);

    /// <inheritdoc />
    public override int GetHashCode() => Code.GetHashCode();

    /// <summary>Whether two reasons are the same.</summary>
    /// <param name="left">A reason.</param>
    /// <param name="right">Another.</param>
    /// <returns>Whether their codes are equal.</returns>
    public static bool operator ==(ShutdownReason left, ShutdownReason right) => left.Equals(right);

    /// <summary>Whether two reasons differ.</summary>
    /// <param name="left">A reason.</param>
    /// <param name="right">Another.</param>
    /// <returns>Whether their codes differ.</returns>
    public static bool operator !=(ShutdownReason left, ShutdownReason right) => !left.Equals(right);
}
