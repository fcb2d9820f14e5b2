// The command-line front end of Quell.dll without the process around it: it
// reaches the library only through the entry points in its host, so a test can
// hand it recording fakes instead.
#pragma once

#include "Quell.h"

#include <string>

// Every export the front end uses, named once: the entry points below, the
// loader and the tests' fakes all expand this list.
#define QUELL_CLI_ENTRIES(X) \
    X(CheckWindowsNT) \
    X(CheckUserName) \
    X(WindowsNTPrivilegien) \
    X(DllGetVersion) \
    X(CheckSystemPowerStatus) \
    X(IsPwrSuspendAllowed) \
    X(IsPwrHibernateAllowed) \
    X(GetPwrCapabilities) \
    X(CheckMsDosModus) \
    X(WindowsLogOnOff) \
    X(WindowsForceLogOnOff) \
    X(WindowsShutdown) \
    X(WindowsForceShutdown) \
    X(WindowsReboot) \
    X(WindowsForceReboot) \
    X(WindowsRestartApps) \
    X(WindowsHybridShutdown) \
    X(LocalInitSystemShutdownW) \
    X(LocalInitSystemRebootW) \
    X(LocalAbortSystemShutdown) \
    X(WindowsStandby) \
    X(WindowsHibernate) \
    X(LockWorkStation) \
    X(RestartDialog) \
    X(ShutdownDialog) \
    X(WindowsMsDosModus)

// Entry points of the loaded Quell.dll; null where the library lacks one.
struct QuellEntries {
#define QUELL_CLI_MEMBER(name) QuellProc_##name name;
    QUELL_CLI_ENTRIES(QUELL_CLI_MEMBER)
#undef QUELL_CLI_MEMBER
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
