using System;
using System.Runtime.InteropServices;

namespace Quell;

/// <summary>The Quell.dll this process has loaded.</summary>
public static class QuellLibrary
{
    /// <summary>Quell.dll's version (major, minor, build), from its DllGetVersion.</summary>
    /// <exception cref="DllNotFoundException">Quell.dll for this process is not where it is loaded from.</exception>
    /// <exception cref="BadImageFormatException">Quell.dll there is for another architecture.</exception>
    public static unsafe Version Version
    {
        get
        {
            Library.EnsureLoaded();
            NativeMethods.DllVersionInfo info = default;
            info.Size = (uint)sizeof(NativeMethods.DllVersionInfo);
            int result = NativeMethods.DllGetVersion(&info);
            if (result != 0) Marshal.ThrowExceptionForHR(result);
            return new Version((int)info.Major, (int)info.Minor, (int)info.Build);
        }
    }
}
