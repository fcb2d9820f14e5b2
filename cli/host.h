// What the front end runs on: the system functions it calls, handed in by
// main.cpp or by a test's fake system, and the entry points of Quell.dll.
#pragma once

#include <stddef.h>

#include "Quell.h"

// Every export the front end uses, named once: the entry points below, the
// loader and the tests' fakes all expand this list.
#define QUELL_CLI_ENTRIES(X)                                                                                           \
  X(CheckWindowsNT)                                                                                                    \
  X(CheckUserName)                                                                                                     \
  X(WindowsNTPrivilegien)                                                                                              \
  X(DllGetVersion)                                                                                                     \
  X(CheckSystemPowerStatus)                                                                                            \
  X(IsPwrSuspendAllowed)                                                                                               \
  X(IsPwrHibernateAllowed)                                                                                             \
  X(GetPwrCapabilities)                                                                                                \
  X(CheckMsDosModus)                                                                                                   \
  X(WindowsLogOnOff)                                                                                                   \
  X(WindowsForceLogOnOff)                                                                                              \
  X(WindowsShutdown)                                                                                                   \
  X(WindowsForceShutdown)                                                                                              \
  X(WindowsReboot)                                                                                                     \
  X(WindowsForceReboot)                                                                                                \
  X(WindowsRestartApps)                                                                                                \
  X(WindowsHybridShutdown)                                                                                             \
  X(LocalInitSystemShutdownW)                                                                                          \
  X(LocalInitSystemRebootW)                                                                                            \
  X(LocalInitSystemShutdownA)                                                                                          \
  X(LocalInitSystemRebootA)                                                                                            \
  X(LocalAbortSystemShutdown)                                                                                          \
  X(WindowsStandby)                                                                                                    \
  X(WindowsHibernate)                                                                                                  \
  X(LockWorkStation)                                                                                                   \
  X(RestartDialog)                                                                                                     \
  X(ShutdownDialog)                                                                                                    \
  X(WindowsMsDosModus)                                                                                                 \
  X(InitiateShutdownW)                                                                                                 \
  X(InitiateSystemShutdownExW)                                                                                         \
  X(ShutdownBlockReasonQuery)

// Each export by its place in QuellEntries: a command names its export once, as one of these.
enum QuellExport : unsigned {
#define QUELL_CLI_PLACE(name) Export_##name,
    QUELL_CLI_ENTRIES(QUELL_CLI_PLACE)
#undef QUELL_CLI_PLACE
        NoExport
};

// Entry points of the loaded Quell.dll; null where the library lacks one.
struct QuellEntries {
#define QUELL_CLI_MEMBER(name) QuellProc_##name name;
    QUELL_CLI_ENTRIES(QUELL_CLI_MEMBER)
#undef QUELL_CLI_MEMBER
};

// The names of the entries in the order of QuellEntries, each null-terminated:
// the loader and the check for missing exports walk the two together.
#define QUELL_CLI_NAME(name) #name "\0"
inline constexpr char QuellEntryNames[] = QUELL_CLI_ENTRIES(QUELL_CLI_NAME);
#undef QUELL_CLI_NAME
constexpr unsigned QuellEntryCount = sizeof(QuellEntries) / sizeof(FARPROC);
static_assert(sizeof(QuellEntries) == QuellEntryCount * sizeof(FARPROC));
static_assert(NoExport == QuellEntryCount);

// The name after this one in a list of null-terminated names.
constexpr const char *NextName(const char *name) {
    while (*name++) {
    }
    return name;
}

// The export's name, from QuellEntryNames.
constexpr const char *ExportName(QuellExport entry) {
    const char *name = QuellEntryNames;
    for (unsigned i = 0; i < entry; ++i) name = NextName(name);
    return name;
}

// QuellEntries as the array of entry points it is laid out as.
inline FARPROC *EntrySlots(QuellEntries &entries) { return reinterpret_cast<FARPROC *>(&entries); }
inline const FARPROC *EntrySlots(const QuellEntries &entries) { return reinterpret_cast<const FARPROC *>(&entries); }

// A list of system functions looked up at run time, written once as
// X(result, name, parameters): it expands to the members of a struct of their
// entry points and to their null-separated names, whose count the struct's
// size checks (QUELL_SYSTEM_FUNCTIONS in load_quell.h).
#define QUELL_FUNCTION_MEMBER(result, name, parameters) result(WINAPI *name) parameters;
#define QUELL_FUNCTION_NAME(result, name, parameters) #name "\0"

// The host's functions looked up in kernel32 at run time. The W group, called
// on every system but Windows 95/98/Me (which fail them with 120), which must
// then offer all of it.
#define QUELL_HOST_WIDE(X)                                                                                             \
  X(LPWSTR, GetCommandLineW, ())                                                                                       \
  X(DWORD, GetModuleFileNameW, (HMODULE module, LPWSTR path, DWORD size))                                              \
  X(HMODULE, LoadLibraryW, (LPCWSTR path))                                                                             \
  X(BOOL, WriteConsoleW, (HANDLE console, const void *text, DWORD length, LPDWORD written, LPVOID reserved))           \
  X(DWORD, FormatMessageW,                                                                                             \
    (DWORD flags, LPCVOID source, DWORD id, DWORD language, LPWSTR text, DWORD size, va_list * arguments))             \
  X(HANDLE, CreateFileW,                                                                                               \
    (LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,          \
     HANDLE model))
// The last group, null where the system lacks one. GetFinalPathNameByHandleW
// is exported from Windows Vista on (kernel32 6.0 and higher in Geoff
// Chappell's study of kernel32's exports); IsWow64Process and
// TzSpecificLocalTimeToSystemTime from Windows XP on (5.1 and higher, the same
// study). GetCurrentProcessId and SystemTimeToTzSpecificLocalTime are exported
// by every system (3.51 and higher, Windows 95 included, the same study),
// looked up rather than imported to keep the import table as it is; the way
// back from UTC finds local times that do not occur.
#define QUELL_HOST_OPTIONAL(X)                                                                                         \
  X(DWORD, GetFinalPathNameByHandleW, (HANDLE file, LPWSTR path, DWORD size, DWORD flags))                             \
  X(BOOL, IsWow64Process, (HANDLE process, PBOOL wow64))                                                               \
  X(BOOL, TzSpecificLocalTimeToSystemTime,                                                                             \
    (LPTIME_ZONE_INFORMATION zone, const SYSTEMTIME *local, LPSYSTEMTIME universal))                                   \
  X(DWORD, GetCurrentProcessId, ())                                                                                    \
  X(BOOL, SystemTimeToTzSpecificLocalTime,                                                                             \
    (const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *universal, LPSYSTEMTIME local))

constexpr unsigned CountNames(const char *names) {
    unsigned count = 0;
    for (; *names; names = NextName(names)) ++count;
    return count;
}

// The system functions the front end calls, each with its Win32 signature.
// The first group is exported by Windows 95 and NT alike; the W group is
// looked up at run time (Windows 95/98/Me fail these functions with 120) and
// is called on every system but those, which must then offer all of it; the
// last group is looked up as well and is null where the system lacks it. Heap,
// code-page conversion, last-error and current-process calls are made
// directly: every system has them and they touch nothing outside the process.
struct CliHost {
    BOOL(WINAPI *GetVersionExA)(LPOSVERSIONINFOA info);
    LPSTR(WINAPI *GetCommandLineA)();
    DWORD(WINAPI *GetModuleFileNameA)(HMODULE module, LPSTR path, DWORD size);
    UINT(WINAPI *GetSystemDirectoryA)(LPSTR path, UINT size);
    HMODULE(WINAPI *LoadLibraryA)(LPCSTR path);
    FARPROC(WINAPI *GetProcAddress)(HMODULE module, LPCSTR name);
    BOOL(WINAPI *FreeLibrary)(HMODULE module);
    BOOL(WINAPI *CloseHandle)(HANDLE handle);
    HANDLE(WINAPI *GetStdHandle)(DWORD stream);
    BOOL(WINAPI *GetConsoleMode)(HANDLE console, LPDWORD mode);
    UINT(WINAPI *GetConsoleOutputCP)();
    BOOL(WINAPI *WriteFile)(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    DWORD(WINAPI *FormatMessageA)
    (DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR text, DWORD size, va_list *arguments);
    void(WINAPI *GetLocalTime)(LPSYSTEMTIME time);
    void(WINAPI *GetSystemTime)(LPSYSTEMTIME time);
    DWORD(WINAPI *GetTickCount)();
    // advapi32's registry functions, read-only: the A forms on Windows 95/98/Me,
    // the W forms elsewhere (95/98/Me export them as stubs).
    LONG(WINAPI *RegOpenKeyExA)(HKEY key, LPCSTR name, DWORD options, REGSAM access, PHKEY opened);
    LONG(WINAPI *RegOpenKeyExW)(HKEY key, LPCWSTR name, DWORD options, REGSAM access, PHKEY opened);
    LONG(WINAPI *RegQueryValueExA)(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
    LONG(WINAPI *RegQueryValueExW)(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
    LONG(WINAPI *RegCloseKey)(HKEY key);

    // The W group, then the last group.
    QUELL_HOST_WIDE(QUELL_FUNCTION_MEMBER)
    QUELL_HOST_OPTIONAL(QUELL_FUNCTION_MEMBER)
};

// The names of the members looked up at run time, in their order, each
// null-terminated: the W group's, then the last group's. main.cpp looks them
// all up; the front end checks that each of the W group was found.
inline constexpr char CliHostLookedUpNames[] =
    QUELL_HOST_WIDE(QUELL_FUNCTION_NAME) QUELL_HOST_OPTIONAL(QUELL_FUNCTION_NAME);
constexpr unsigned CliHostWideCount = CountNames(QUELL_HOST_WIDE(QUELL_FUNCTION_NAME));
constexpr unsigned CliHostLookedUpCount = CountNames(CliHostLookedUpNames);
static_assert(sizeof(CliHost) == offsetof(CliHost, GetCommandLineW) + CliHostLookedUpCount * sizeof(FARPROC));

// The members looked up at run time as the array of entry points they are laid out as.
inline FARPROC *LookedUpSlots(CliHost &host) { return reinterpret_cast<FARPROC *>(&host.GetCommandLineW); }
inline const FARPROC *LookedUpSlots(const CliHost &host) {
    return reinterpret_cast<const FARPROC *>(&host.GetCommandLineW);
}

// An entry point looked up with GetProcAddress, as its own function type.
template <typename Entry> Entry As(FARPROC address) {
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(address));
}
