// Standby and hibernate: a capability test, then the request under the
// shutdown privilege on the NT family.
#include "frame/privilege.h"
#include "power/power_api.h"

namespace {
constexpr BOOLEAN BooleanTrue = 0xFF;
constexpr BOOL BoolTrue = -1;
}  // namespace

// Standby needs all three of S1 to S3 (CheckSystemPowerStatus is content with
// one); hibernation needs S4 or a hibernation file. Only the low byte of each
// BOOLEAN result counts.
static bool SleepStateSupported(bool hibernate, bool powerProfiles) {
    if (!powerProfiles) return AcLineStatusKnown();
    if (IsNtFamily() && OsVersion.dwMajorVersion >= 6) {
        SYSTEM_POWER_CAPABILITIES capabilities;
        if (GetPwrCapabilities(&capabilities)) {
            if (hibernate) return capabilities.SystemS4 || capabilities.HiberFilePresent;
            return capabilities.SystemS1 && capabilities.SystemS2 && capabilities.SystemS3;
        }
    }
    return (hibernate ? IsPwrHibernateAllowed() : IsPwrSuspendAllowed()) != 0;
}

// The request goes through powrprof.dll where it has SetSuspendState, with wake
// events disabled and never forced; else through kernel32, whose fSuspend is
// true for standby. Which one is settled before the privilege is enabled.
static bool SuspendSystem(bool hibernate) {
    bool powerProfiles = Load(PowrProfGroup);
    if (!SleepStateSupported(hibernate, powerProfiles)) return false;
    bool bySuspendState = powerProfiles && EntryPoint<SetSuspendStateEntry>(PowrProfGroup, SetSuspendStateSlot);
    auto setPowerState = bySuspendState ? nullptr
                                        : LoadedEntryPoint<SetSystemPowerStateEntry>(Kernel32PowerGroup,
                                                                                     SetSystemPowerStateSlot);
    if (!bySuspendState && !setPowerState) return NotAvailable();
    ShutdownPrivilegeBracket bracket;
    bool nt = IsNtFamily();
    if (nt && !EnableShutdownPrivilege(bracket)) return false;
    bool suspended = bySuspendState ? SetSuspendState(hibernate ? BooleanTrue : 0, 0, BooleanTrue) != 0
                                    : setPowerState(hibernate ? 0 : BoolTrue, 0) != 0;
    // Disabling the privilege resets the last-error value; a refused request
    // keeps its own for the caller.
    if (nt) EndShutdownPrivilege(bracket, suspended ? PrivilegeEnd::Disable : PrivilegeEnd::DisableKeepingError);
    return suspended;
}

BOOL WINAPI WindowsStandby() { return AsBoolean(SuspendSystem(false)); }

// Hibernation exists on the NT family from 5.0 on.
BOOL WINAPI WindowsHibernate() {
    if (!IsNtFamily() || OsVersion.dwMajorVersion < 5) return NotAvailable();
    return AsBoolean(SuspendSystem(true));
}
