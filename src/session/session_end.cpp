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
static BOOL ExitWindowsWithPrivilege(UINT flags, DWORD reason) {
    ShutdownPrivilegeBracket bracket;
    bool nt = IsNtFamily();
    if (nt && !EnableShutdownPrivilege(bracket)) return 0;
    BOOL result = ExitWindowsEx(flags, reason);
    if (nt) EndShutdownPrivilege(bracket, result ? PrivilegeEnd::KeepEnabled : PrivilegeEnd::DisableKeepingError);
    return result;
}

static BOOL ExitWindowsAsUser(UINT flags) {
    if (!CheckUserName()) return 0;
    return AsBoolean(ExitWindowsEx(flags, 0) != 0);
}

static BOOL ExitWindowsAsBoolean(UINT flags) { return AsBoolean(ExitWindowsWithPrivilege(flags, 0) != 0); }

BOOL WINAPI WindowsReboot() { return ExitWindowsAsBoolean(ExitReboot); }
BOOL WINAPI WindowsShutdown() { return ExitWindowsAsBoolean(ExitShutdown | ExitPowerOff); }
BOOL WINAPI WindowsForceReboot() { return ExitWindowsAsBoolean(ExitReboot | ExitForce); }
BOOL WINAPI WindowsForceShutdown() { return ExitWindowsAsBoolean(ExitShutdown | ExitForce | ExitPowerOff); }
BOOL WINAPI WindowsLogOnOff() { return ExitWindowsAsUser(ExitLogOff); }
BOOL WINAPI WindowsForceLogOnOff() { return ExitWindowsAsUser(ExitLogOff | ExitForce); }

// Before Vista there is no application restart: the user is logged off instead.
BOOL WINAPI WindowsRestartApps() {
    return ExitWindowsAsBoolean(OsVersion.dwMajorVersion >= 6 ? ExitRestartApps : ExitLogOff);
}

// Hybrid shutdown exists from 6.2 on, 10.0 included.
BOOL WINAPI WindowsHybridShutdown() {
    bool hybrid = OsVersion.dwMajorVersion > 6 || (OsVersion.dwMajorVersion == 6 && OsVersion.dwMinorVersion >= 2);
    return ExitWindowsAsBoolean(hybrid ? ExitHybridShutdown | ExitShutdown : ExitShutdown | ExitPowerOff);
}
