// The command-line front end of Quell.dll without the process around it: it
// reaches the library only through the entry points in its host, so a test can
// hand it recording fakes instead.
#pragma once

#include "Quell.h"

#include <string>

// Entry points of the loaded Quell.dll; null where the library lacks one.
struct QuellEntries {
    QuellProc_CheckWindowsNT CheckWindowsNT;
    QuellProc_CheckUserName CheckUserName;
    QuellProc_WindowsNTPrivilegien WindowsNTPrivilegien;
    QuellProc_DllGetVersion DllGetVersion;
    QuellProc_CheckSystemPowerStatus CheckSystemPowerStatus;
    QuellProc_IsPwrSuspendAllowed IsPwrSuspendAllowed;
    QuellProc_IsPwrHibernateAllowed IsPwrHibernateAllowed;
    QuellProc_GetPwrCapabilities GetPwrCapabilities;
    QuellProc_CheckMsDosModus CheckMsDosModus;

    QuellProc_WindowsLogOnOff WindowsLogOnOff;
    QuellProc_WindowsForceLogOnOff WindowsForceLogOnOff;
    QuellProc_WindowsShutdown WindowsShutdown;
    QuellProc_WindowsForceShutdown WindowsForceShutdown;
    QuellProc_WindowsReboot WindowsReboot;
    QuellProc_WindowsForceReboot WindowsForceReboot;
    QuellProc_WindowsRestartApps WindowsRestartApps;
    QuellProc_WindowsHybridShutdown WindowsHybridShutdown;
    QuellProc_LocalInitSystemShutdownW LocalInitSystemShutdownW;
    QuellProc_LocalInitSystemRebootW LocalInitSystemRebootW;
    QuellProc_LocalAbortSystemShutdown LocalAbortSystemShutdown;
    QuellProc_WindowsStandby WindowsStandby;
    QuellProc_WindowsHibernate WindowsHibernate;
    QuellProc_LockWorkStation LockWorkStation;
    QuellProc_RestartDialog RestartDialog;
    QuellProc_ShutdownDialog ShutdownDialog;
    QuellProc_WindowsMsDosModus WindowsMsDosModus;
};

struct CliHost {
    QuellEntries quell;
    DWORD loadError;  // non-zero: Quell.dll could not be loaded, quell is all null
    // Does the system library offer this entry (by name, or by ordinal when name
    // is null)? Looks it up without calling it.
    bool (*systemOffers)(const char *library, const char *name, WORD ordinal);
    void (*print)(const std::wstring &text);
    void (*printError)(const std::wstring &text);
};

constexpr int ExitSuccess = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;

int RunCli(int argc, wchar_t **argv, const CliHost &host);

// The system's message text for a last-error value, without the line break.
std::wstring SystemMessage(DWORD error);
