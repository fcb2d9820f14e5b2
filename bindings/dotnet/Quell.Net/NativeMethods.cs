// The exports of Quell.dll that this API calls, and the few system functions it
// needs itself. net8.0 has them source-generated (LibraryImport, no run-time
// marshalling); netstandard2.0 declares the same signatures with DllImport.
// Quell.dll is never found by name through the search path: Library.cs loads
// it by full path first (Library.EnsureLoaded), and every call here comes after.
using System;
using System.Runtime.InteropServices;

namespace Quell;

internal static unsafe partial class NativeMethods
{
    private const string Quell = "Quell.dll";
    private const string Kernel32 = "kernel32.dll";
    private const string Advapi32 = "advapi32.dll";

    /// <summary>DLLVERSIONINFO, as DllGetVersion fills it.</summary>
    [StructLayout(LayoutKind.Sequential)]
    internal struct DllVersionInfo
    {
        public uint Size, Major, Minor, Build, Platform;
    }

    /// <summary>OSVERSIONINFOW, as GetVersionExW fills it.</summary>
    [StructLayout(LayoutKind.Sequential)]
    internal struct OsVersionInfo
    {
        public uint Size, Major, Minor, Build, Platform;
        public fixed char ServicePack[128];
    }

    /// <summary>SYSTEM_POWER_CAPABILITIES is 76 bytes; PowerCapabilities reads it by offset.</summary>
    internal const int PowerCapabilitiesSize = 76;

#if NET
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsLogOnOff();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsForceLogOnOff();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsShutdown();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsForceShutdown();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsReboot();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsForceReboot();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsRestartApps();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsHybridShutdown();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsStandby();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsHibernate();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int LockWorkStation();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int LocalAbortSystemShutdown();
    [LibraryImport(Quell, SetLastError = true)] internal static partial int WindowsNTPrivilegien();
    [LibraryImport(Quell, SetLastError = true)] internal static partial byte GetPwrCapabilities(byte* capabilities);
    [LibraryImport(Quell)] internal static partial int DllGetVersion(DllVersionInfo* info);
    [LibraryImport(Quell, StringMarshalling = StringMarshalling.Utf16)]
    internal static partial uint InitiateShutdownW(string? machine, string? message, uint delay, uint flags, uint reason);
    [LibraryImport(Quell, SetLastError = true, StringMarshalling = StringMarshalling.Utf16)]
    internal static partial int ShutdownBlockReasonCreate(IntPtr window, string reason);
    [LibraryImport(Quell, SetLastError = true)] internal static partial int ShutdownBlockReasonDestroy(IntPtr window);
    [LibraryImport(Quell, SetLastError = true)] internal static partial int ShutdownBlockReasonQuery(IntPtr window, char* buffer, uint* length);

    [LibraryImport(Kernel32, SetLastError = true)] internal static partial int GetVersionExW(OsVersionInfo* info);
    [LibraryImport(Kernel32, SetLastError = true, StringMarshalling = StringMarshalling.Utf16)]
    internal static partial IntPtr LoadLibraryExW(string path, IntPtr reserved, uint flags);
    [LibraryImport(Advapi32, SetLastError = true, StringMarshalling = StringMarshalling.Utf16)]
    internal static partial int AbortSystemShutdownW(string machine);
#else
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsLogOnOff();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsForceLogOnOff();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsShutdown();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsForceShutdown();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsReboot();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsForceReboot();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsRestartApps();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsHybridShutdown();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsStandby();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsHibernate();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int LockWorkStation();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int LocalAbortSystemShutdown();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int WindowsNTPrivilegien();
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern byte GetPwrCapabilities(byte* capabilities);
    [DllImport(Quell, ExactSpelling = true)] internal static extern int DllGetVersion(DllVersionInfo* info);
    [DllImport(Quell, CharSet = CharSet.Unicode, ExactSpelling = true)]
    internal static extern uint InitiateShutdownW(string? machine, string? message, uint delay, uint flags, uint reason);
    [DllImport(Quell, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
    internal static extern int ShutdownBlockReasonCreate(IntPtr window, string reason);
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int ShutdownBlockReasonDestroy(IntPtr window);
    [DllImport(Quell, SetLastError = true, ExactSpelling = true)] internal static extern int ShutdownBlockReasonQuery(IntPtr window, char* buffer, uint* length);

    [DllImport(Kernel32, SetLastError = true, ExactSpelling = true)] internal static extern int GetVersionExW(OsVersionInfo* info);
    [DllImport(Kernel32, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
    internal static extern IntPtr LoadLibraryExW(string path, IntPtr reserved, uint flags);
    [DllImport(Advapi32, SetLastError = true, CharSet = CharSet.Unicode, ExactSpelling = true)]
    internal static extern int AbortSystemShutdownW(string machine);
#endif
}
