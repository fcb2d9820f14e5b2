/* A freestanding client of Quell.dll for the Microsoft target: clang for
 * i686-pc-windows-msvc or x86_64-pc-windows-msvc, no C runtime, its own entry
 * point, linked by lld-link with Quell.lib. It declares the exports itself, as a
 * caller without our header would, checks that each import reaches the export of
 * its name and ordinal, and calls harmless exports by name and by ordinal.
 * Prints PASS, exits 0. */
#include <stdint.h>

typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef unsigned long DWORD;
typedef long HRESULT;
typedef void *HANDLE;
typedef int(__stdcall *FARPROC)(void);

#define IMPORT __declspec(dllimport)

IMPORT HANDLE __stdcall GetStdHandle(DWORD handle);
IMPORT BOOL __stdcall WriteFile(HANDLE file, const void *buffer, DWORD size, DWORD *written, void *overlapped);
IMPORT void __stdcall ExitProcess(unsigned code);
IMPORT HANDLE __stdcall GetModuleHandleA(const char *name);
IMPORT FARPROC __stdcall GetProcAddress(HANDLE module, const char *name);
IMPORT DWORD __stdcall GetLastError(void);
IMPORT void __stdcall SetLastError(DWORD error);

/* The exports by the number of their arguments: each argument takes one slot of
 * pointer size (4 bytes on x86, 8 on x64), so the prototypes take uintptr_t. */
#define ARGS0 void
#define ARGS1 uintptr_t
#define ARGS2 uintptr_t, uintptr_t
#define ARGS3 uintptr_t, uintptr_t, uintptr_t
#define ARGS5 uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t
#define ARGS6 uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t
#define EXPORT(name, ordinal, args) IMPORT int __stdcall name(ARGS##args);
// clang-format off
#define EXPORTS(X)                                                                                                 \
    X(Quell_DllGetVersion, 1, 1) X(WindowsHibernate, 2, 0) X(WindowsStandby, 3, 0) X(CheckSystemPowerStatus, 4, 0) \
    X(Quell_GetPwrCapabilities, 5, 1) X(Quell_SetSuspendState, 6, 3) X(Quell_IsPwrHibernateAllowed, 7, 0)          \
    X(Quell_IsPwrSuspendAllowed, 8, 0) X(ShutdownDialog, 9, 1) X(Quell_RestartDialog, 10, 3)                      \
    X(Quell_InitiateShutdownW, 11, 5) X(Quell_InitiateShutdownA, 12, 5) X(Quell_InitiateSystemShutdownExW, 13, 6) \
    X(Quell_InitiateSystemShutdownExA, 14, 6) X(Quell_ShutdownBlockReasonQuery, 15, 3)                            \
    X(Quell_ShutdownBlockReasonDestroy, 16, 1) X(Quell_ShutdownBlockReasonCreate, 17, 2)                          \
    X(Quell_LockWorkStation, 18, 0) X(LocalAbortSystemShutdown, 19, 0) X(LocalInitSystemRebootW, 20, 3)           \
    X(LocalInitSystemRebootA, 21, 3) X(LocalInitSystemShutdownW, 22, 3) X(LocalInitSystemShutdownA, 23, 3)        \
    X(WindowsHybridShutdown, 24, 0) X(WindowsRestartApps, 25, 0) X(WindowsForceLogOnOff, 26, 0)                   \
    X(WindowsForceShutdown, 27, 0) X(WindowsForceReboot, 28, 0) X(WindowsLogOnOff, 29, 0)                         \
    X(WindowsShutdown, 30, 0) X(WindowsReboot, 31, 0) X(WindowsNTPrivilegien, 32, 0) X(CheckWindowsNT, 33, 0)     \
    X(CheckUserName, 34, 0) X(WindowsMsDosModus, 35, 0) X(CheckMsDosModus, 36, 0)
// clang-format on
EXPORTS(EXPORT)

struct DllVersionInfo {
    DWORD cbSize, dwMajorVersion, dwMinorVersion, dwBuildNumber, dwPlatformID;
};

static HANDLE out;
static int failures;

static DWORD Length(const char *text) {
    DWORD n = 0;
    while (text[n]) ++n;
    return n;
}

static void Print(const char *text) {
    DWORD written;
    WriteFile(out, text, Length(text), &written, 0);
}

static void Expect(int holds, const char *what) {
    if (holds) return;
    Print("FAIL: ");
    Print(what);
    Print("\n");
    ++failures;
}

/* The plain name that GetProcAddress knows: Quell_ names drop their prefix. */
static const char *ExportName(const char *name) {
    const char *prefix = "Quell_";
    int i;
    for (i = 0; prefix[i]; ++i) {
        if (name[i] != prefix[i]) return name;
    }
    return name + i;
}

static FARPROC ByOrdinal(HANDLE module, unsigned ordinal) {
    return GetProcAddress(module, (const char *)(uintptr_t)ordinal);
}

void __stdcall start(void) {
    HANDLE quell = GetModuleHandleA("Quell.dll");
    out = GetStdHandle((DWORD)-11);

#define CHECK_IMPORT(name, ordinal, args)                                                                              \
  Expect((FARPROC)name == GetProcAddress(quell, ExportName(#name)) && (FARPROC)name == ByOrdinal(quell, ordinal),      \
         #name " is the export of its name and ordinal");
    EXPORTS(CHECK_IMPORT)

    {
        typedef int(__stdcall * Query)(void);
        typedef HRESULT(__stdcall * VersionQuery)(struct DllVersionInfo *);
        struct DllVersionInfo imported = {20, 0, 0, 0, 0}, byOrdinal = {20, 0, 0, 0, 0};
        int nt = CheckWindowsNT();
        DWORD error;
        int suspend;

        Expect(nt == -1, "CheckWindowsNT is -1 under Wine, an NT-family system");
        Expect(((Query)ByOrdinal(quell, 33))() == nt, "CheckWindowsNT by ordinal");
        Expect(CheckUserName() == ((Query)ByOrdinal(quell, 34))(), "CheckUserName by name and by ordinal");
        Expect(CheckMsDosModus() == 0 && ((Query)ByOrdinal(quell, 36))() == 0, "CheckMsDosModus is 0 on NT");

        /* The first call loads powrprof.dll, which may leave a last-error value of
         * the loader's own; both ways are compared once it is loaded. */
        Quell_IsPwrSuspendAllowed();
        SetLastError(0);
        suspend = (unsigned char)Quell_IsPwrSuspendAllowed();
        error = GetLastError();
        SetLastError(0);
        Expect((unsigned char)((Query)ByOrdinal(quell, 8))() == suspend && GetLastError() == error,
               "IsPwrSuspendAllowed by import and by ordinal");

        Expect(Quell_DllGetVersion(0) == ((VersionQuery)ByOrdinal(quell, 1))(0), "DllGetVersion(NULL) both ways");
        Expect(Quell_DllGetVersion((uintptr_t)&imported) == ((VersionQuery)ByOrdinal(quell, 1))(&byOrdinal) &&
                   imported.dwMajorVersion == byOrdinal.dwMajorVersion &&
                   imported.dwMinorVersion == byOrdinal.dwMinorVersion &&
                   imported.dwBuildNumber == byOrdinal.dwBuildNumber && imported.dwPlatformID == byOrdinal.dwPlatformID,
               "DllGetVersion both ways");
    }

    if (!failures) Print("PASS\n");
    ExitProcess(failures ? 1 : 0);
}
