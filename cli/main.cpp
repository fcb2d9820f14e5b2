// quell.exe: the front end on the real system, for Windows 95 to 11. It has no
// C runtime: this file is its entry point, and it hands the front end the
// system's functions. A routine the compiler might call and nobody provides
// (memset, ...) fails the link instead of coming from msvcrt.
//
// Imported, all exported by Windows 95 and NT 4.0 alike; from kernel32:
//   ExitProcess, GetModuleHandleA, GetProcAddress, GetVersionExA,
//   GetCommandLineA, GetModuleFileNameA, GetSystemDirectoryA, LoadLibraryA,
//   FreeLibrary, CloseHandle, GetStdHandle, GetConsoleMode, GetConsoleOutputCP,
//   WriteFile, FormatMessageA, GetLocalTime, GetSystemTime, GetTickCount, GetLastError, SetLastError,
//   MultiByteToWideChar,
//   WideCharToMultiByte, GetProcessHeap, HeapAlloc, HeapReAlloc, HeapFree, GetCurrentProcess;
// from advapi32 (the W forms called on every system but Windows 95/98/Me):
//   RegOpenKeyExA, RegOpenKeyExW, RegQueryValueExA, RegQueryValueExW, RegCloseKey.
// Looked up at run time and called on every system but Windows 95/98/Me:
//   GetCommandLineW, GetModuleFileNameW, LoadLibraryW, WriteConsoleW,
//   FormatMessageW, CreateFileW.
// Looked up at run time and called where the system has them:
//   GetFinalPathNameByHandleW (Vista and later), IsWow64Process and
//   TzSpecificLocalTimeToSystemTime (XP and later), GetCurrentProcessId and
//   SystemTimeToTzSpecificLocalTime (every system).
#include "quell_cli.h"

extern "C" void QuellStart() {
    CliHost host{};
    host.GetVersionExA = GetVersionExA;
    host.GetCommandLineA = GetCommandLineA;
    host.GetModuleFileNameA = GetModuleFileNameA;
    host.GetSystemDirectoryA = GetSystemDirectoryA;
    host.LoadLibraryA = LoadLibraryA;
    host.GetProcAddress = GetProcAddress;
    host.FreeLibrary = FreeLibrary;
    host.CloseHandle = CloseHandle;
    host.GetStdHandle = GetStdHandle;
    host.GetConsoleMode = GetConsoleMode;
    host.GetConsoleOutputCP = GetConsoleOutputCP;
    host.WriteFile = WriteFile;
    host.FormatMessageA = FormatMessageA;
    host.GetLocalTime = GetLocalTime;
    host.GetSystemTime = GetSystemTime;
    host.GetTickCount = GetTickCount;
    host.RegOpenKeyExA = RegOpenKeyExA;
    host.RegOpenKeyExW = RegOpenKeyExW;
    host.RegQueryValueExA = RegQueryValueExA;
    host.RegQueryValueExW = RegQueryValueExW;
    host.RegCloseKey = RegCloseKey;
    // kernel32 is in every process; its W entries are stubs on Windows 95/98/Me.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const char *name = CliHostLookedUpNames;
    for (unsigned i = 0; i < CliHostLookedUpCount; ++i, name = NextName(name)) {
        LookedUpSlots(host)[i] = GetProcAddress(kernel, name);
    }
    ExitProcess(static_cast<UINT>(RunQuell(host)));
}
