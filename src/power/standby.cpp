// Standby and hibernate: a capability test, then the request under the
// shutdown privilege on the NT family.
#include "frame/privilege.h"
#include "power/power_api.h"

namespace {
constexpr BOOLEAN BooleanTrue = 0xFF;
constexpr BOOL BoolTrue = -1;
}  // namespace

// Standby needs any one of S1 to S3, as CheckSystemPowerStatus reads them;
// hibernation needs S4 or a hibernation file. Only the low byte of each
// BOOLEAN result counts. When the system says the state is not there, the
// refusal says so (ERROR_NOT_SUPPORTED); a query that failed keeps its own
// last-error value: 120 from a missing entry, what the loader or
// GetSystemPowerStatus left.
static bool SleepStateSupported(bool hibernate, bool powerProfiles) {
    if (!powerProfiles) return AcLineStatusKnown();
    if (IsNtFamily() && OsVersion.dwMajorVersion >= 6) {
        SYSTEM_POWER_CAPABILITIES capabilities;
        if (GetPwrCapabilities(&capabilities)) {
            bool offered = hibernate ? capabilities.SystemS4 || capabilities.HiberFilePresent
                                     : capabilities.SystemS1 || capabilities.SystemS2 || capabilities.SystemS3;
            return offered || NotSupported();
        }
    }
    if (hibernate ? IsPwrHibernateAllowed() : IsPwrSuspendAllowed()) return true;
    unsigned query = hibernate ? IsPwrHibernateAllowedSlot : IsPwrSuspendAllowedSlot;
    return EntryPoint<LateBoundEntryPoint>(PowrProfGroup, query) && NotSupported();
}

// Through powrprof.dll where it has SetSuspendState, with wake events disabled
// and never forced; else through kernel32, whose fSuspend is true for standby.
static bool RequestSleep(bool hibernate, bool powerProfiles) {
    if (powerProfiles && EntryPoint<SetSuspendStateEntry>(PowrProfGroup, SetSuspendStateSlot))
        return SetSuspendState(hibernate ? BooleanTrue : 0, 0, BooleanTrue) != 0;
    return SetSystemPowerState(hibernate ? 0 : BoolTrue, 0) != 0;
}

static bool SuspendSystem(bool hibernate) {
    bool powerProfiles = Load(PowrProfGroup);
    if (!SleepStateSupported(hibernate, powerProfiles)) return false;
    ShutdownPrivilegeBracket bracket;
    bool nt = IsNtFamily();
    if (nt && !EnableShutdownPrivilege(bracket)) return false;
    bool suspended = RequestSleep(hibernate, powerProfiles);
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
