// Ending the interactive session through ExitWindowsEx.
#include "frame/privilege.h"

namespace {
constexpr UINT ExitLogOff = 0x0;
constexpr UINT ExitShutdown = 0x1;
constexpr UINT ExitReboot = 0x2;
constexpr UINT ExitForce = 0x4;
constexpr UINT ExitPowerOff = 0x8;
constexpr UINT ExitRestartApps = 0x40;
constexpr UINT ExitHybridShutdown = 0x400000;
}  // namespace

// ExitWindowsEx's result unchanged, or 0 when the privilege was not obtained.
// No shutdown reason is given (0): these ends are the caller's own request.
static BOOL ExitWindowsWithPrivilege(UINT flags) {
    ShutdownPrivilegeBracket bracket;
    bool nt = IsNtFamily();
    if (nt && !EnableShutdownPrivilege(bracket)) return 0;
    BOOL result = ExitWindowsEx(flags, 0);
    if (nt) EndShutdownPrivilege(bracket, result ? PrivilegeEnd::KeepEnabled : PrivilegeEnd::DisableKeepingError);
    return result;
}

// Logging off needs no privilege, only a user whose name can be read.
static BOOL LogOffKnownUser(UINT flags) {
    if (!CheckUserName()) return 0;
    return AsBoolean(ExitWindowsEx(flags, 0) != 0);
}

static BOOL EndSessionWithPrivilege(UINT flags) { return AsBoolean(ExitWindowsWithPrivilege(flags) != 0); }

BOOL WINAPI WindowsReboot() { return EndSessionWithPrivilege(ExitReboot); }
BOOL WINAPI WindowsShutdown() { return EndSessionWithPrivilege(ExitShutdown | ExitPowerOff); }
BOOL WINAPI WindowsForceReboot() { return EndSessionWithPrivilege(ExitReboot | ExitForce); }
BOOL WINAPI WindowsForceShutdown() { return EndSessionWithPrivilege(ExitShutdown | ExitForce | ExitPowerOff); }
BOOL WINAPI WindowsLogOnOff() { return LogOffKnownUser(ExitLogOff); }
BOOL WINAPI WindowsForceLogOnOff() { return LogOffKnownUser(ExitLogOff | ExitForce); }

// Before Vista there is no application restart: the user is logged off instead.
BOOL WINAPI WindowsRestartApps() {
    return EndSessionWithPrivilege(OsVersion.dwMajorVersion >= 6 ? ExitRestartApps : ExitLogOff);
}

// Hybrid shutdown exists from 6.2 on, 10.0 included.
BOOL WINAPI WindowsHybridShutdown() {
    bool hybrid = OsVersion.dwMajorVersion > 6 || (OsVersion.dwMajorVersion == 6 && OsVersion.dwMinorVersion >= 2);
    return EndSessionWithPrivilege(hybrid ? ExitHybridShutdown | ExitShutdown : ExitShutdown | ExitPowerOff);
}
