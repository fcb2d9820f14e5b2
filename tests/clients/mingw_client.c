/* A C client of Quell.dll built by clang for the MinGW target and linked with
 * libQuell.dll.a. It uses <windows.h> and Quell.h in one translation unit,
 * checks that every import (plain names and the Quell_ names bound by ordinal)
 * reaches the export that GetProcAddress finds by name and by ordinal, and calls
 * harmless exports both ways. Prints PASS and exits 0 when all holds. */
#include <windows.h>
#include <shlwapi.h>

#include <stdio.h>
#include <string.h>

#include "Quell.h"

static int failures;

static void Expect(int holds, const char *what) {
    if (!holds) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

struct Import {
    const char *name;
    WORD ordinal;
    FARPROC imported;
};

#define PLAIN(name, ordinal)                                                                                           \
  { #name, ordinal, (FARPROC)name }
#define SHARED(name, ordinal)                                                                                          \
  { #name, ordinal, (FARPROC)Quell_##name }

static FARPROC ByOrdinal(HMODULE module, WORD ordinal) { return GetProcAddress(module, MAKEINTRESOURCEA(ordinal)); }

/* The address that a call reaches: an import's address may be the program's
 * own thunk, jmp [import slot], and then the slot holds it. The thunk gives the
 * slot's address itself on x86, its distance from the next instruction on x64. */
static FARPROC CallTarget(FARPROC entry) {
    const unsigned char *code;
    const unsigned char *slotAddress;
    FARPROC target;
    memcpy(&code, &entry, sizeof code);
    if (code[0] != 0xFF || code[1] != 0x25) return entry;
#ifdef _WIN64
    {
        INT32 distance;
        memcpy(&distance, code + 2, sizeof distance);
        slotAddress = code + 6 + distance;
    }
#else
    memcpy(&slotAddress, code + 2, sizeof slotAddress);
#endif
    memcpy(&target, slotAddress, sizeof target);
    return target;
}

int main(void) {
    HMODULE quell = GetModuleHandleA("Quell.dll");
    const struct Import imports[] = {
        SHARED(DllGetVersion, 1),
        PLAIN(WindowsHibernate, 2),
        PLAIN(WindowsStandby, 3),
        PLAIN(CheckSystemPowerStatus, 4),
        SHARED(GetPwrCapabilities, 5),
        SHARED(SetSuspendState, 6),
        SHARED(IsPwrHibernateAllowed, 7),
        SHARED(IsPwrSuspendAllowed, 8),
        PLAIN(ShutdownDialog, 9),
        SHARED(RestartDialog, 10),
        SHARED(InitiateShutdownW, 11),
        SHARED(InitiateShutdownA, 12),
        SHARED(InitiateSystemShutdownExW, 13),
        SHARED(InitiateSystemShutdownExA, 14),
        SHARED(ShutdownBlockReasonQuery, 15),
        SHARED(ShutdownBlockReasonDestroy, 16),
        SHARED(ShutdownBlockReasonCreate, 17),
        SHARED(LockWorkStation, 18),
        PLAIN(LocalAbortSystemShutdown, 19),
        PLAIN(LocalInitSystemRebootW, 20),
        PLAIN(LocalInitSystemRebootA, 21),
        PLAIN(LocalInitSystemShutdownW, 22),
        PLAIN(LocalInitSystemShutdownA, 23),
        PLAIN(WindowsHybridShutdown, 24),
        PLAIN(WindowsRestartApps, 25),
        PLAIN(WindowsForceLogOnOff, 26),
        PLAIN(WindowsForceShutdown, 27),
        PLAIN(WindowsForceReboot, 28),
        PLAIN(WindowsLogOnOff, 29),
        PLAIN(WindowsShutdown, 30),
        PLAIN(WindowsReboot, 31),
        PLAIN(WindowsNTPrivilegien, 32),
        PLAIN(CheckWindowsNT, 33),
        PLAIN(CheckUserName, 34),
        PLAIN(WindowsMsDosModus, 35),
        PLAIN(CheckMsDosModus, 36),
    };
    size_t i;

    Expect(quell != NULL, "Quell.dll is loaded through the import table");
    for (i = 0; i < sizeof imports / sizeof imports[0]; ++i) {
        FARPROC imported = CallTarget(imports[i].imported);
        FARPROC byName = GetProcAddress(quell, imports[i].name);
        if (!imported || imported != byName || byName != ByOrdinal(quell, imports[i].ordinal)) {
            printf("FAIL: %s (ordinal %u) is not the export of that name and ordinal\n", imports[i].name,
                   imports[i].ordinal);
            ++failures;
        }
    }

    /* The system's functions of the same names stay the system's. */
    Expect(CallTarget((FARPROC)LockWorkStation) == GetProcAddress(GetModuleHandleA("user32.dll"), "LockWorkStation"),
           "LockWorkStation is user32's");
    Expect(CallTarget((FARPROC)InitiateSystemShutdownExW) ==
               GetProcAddress(GetModuleHandleA("advapi32.dll"), "InitiateSystemShutdownExW"),
           "InitiateSystemShutdownExW is advapi32's");

    {
        QuellProc_CheckWindowsNT checkWindowsNT = (QuellProc_CheckWindowsNT)ByOrdinal(quell, 33);
        QuellProc_CheckUserName checkUserName = (QuellProc_CheckUserName)ByOrdinal(quell, 34);
        QuellProc_CheckMsDosModus checkMsDosModus = (QuellProc_CheckMsDosModus)ByOrdinal(quell, 36);
        QuellProc_IsPwrSuspendAllowed isPwrSuspendAllowed = (QuellProc_IsPwrSuspendAllowed)ByOrdinal(quell, 8);
        QuellProc_DllGetVersion dllGetVersion = (QuellProc_DllGetVersion)ByOrdinal(quell, 1);
        DLLVERSIONINFO imported, byOrdinal;
        HRESULT importedResult, byOrdinalResult;
        BOOL nt = CheckWindowsNT();
        BOOLEAN suspend;
        DWORD error;

        Expect(nt == -1, "CheckWindowsNT is -1 under Wine, an NT-family system");
        Expect(checkWindowsNT() == nt, "CheckWindowsNT by ordinal");
        Expect(CheckUserName() == checkUserName(), "CheckUserName by name and by ordinal");
        Expect(CheckUserName() == -1 || CheckUserName() == 0, "CheckUserName is a boolean");
        Expect(CheckMsDosModus() == 0 && checkMsDosModus() == 0, "CheckMsDosModus is 0 outside Windows 95/98/Me");

        /* The first call loads powrprof.dll, which may leave a last-error value of
         * the loader's own; both ways are compared once it is loaded. */
        Quell_IsPwrSuspendAllowed();
        SetLastError(0);
        suspend = Quell_IsPwrSuspendAllowed();
        error = GetLastError();
        SetLastError(0);
        Expect(isPwrSuspendAllowed() == suspend && GetLastError() == error, "IsPwrSuspendAllowed both ways");

        Expect(Quell_DllGetVersion(NULL) == dllGetVersion(NULL), "DllGetVersion(NULL) both ways");
        memset(&imported, 0, sizeof imported);
        memset(&byOrdinal, 0, sizeof byOrdinal);
        imported.cbSize = byOrdinal.cbSize = sizeof imported;
        importedResult = Quell_DllGetVersion(&imported);
        byOrdinalResult = dllGetVersion(&byOrdinal);
        Expect(importedResult == byOrdinalResult && !memcmp(&imported, &byOrdinal, sizeof imported),
               "DllGetVersion both ways");
        printf("CheckWindowsNT %ld, CheckUserName %ld, IsPwrSuspendAllowed %u (last error %lu), "
               "DllGetVersion 0x%08lX %lu.%lu.%lu\n",
               (long)nt, (long)CheckUserName(), (unsigned)suspend, (unsigned long)error, (unsigned long)importedResult,
               imported.dwMajorVersion, imported.dwMinorVersion, imported.dwBuildNumber);
    }

    if (failures) return 1;
    printf("PASS\n");
    return 0;
}
