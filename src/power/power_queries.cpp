// The power-profile functions, forwarded to powrprof.dll, and whether the
// machine can be put into standby.
#include "power/power_api.h"

namespace {
constexpr BYTE AcLineStatusUnknown = 255;
}

// The forwarders pass the system's BOOLEAN back as it is, not widened to -1.
BOOLEAN WINAPI IsPwrSuspendAllowed() {
    auto entry = LoadedEntryPoint<IsPwrSuspendAllowedEntry>(PowrProfGroup, IsPwrSuspendAllowedSlot);
    return entry ? entry() : NotAvailable();
}

BOOLEAN WINAPI IsPwrHibernateAllowed() {
    auto entry = LoadedEntryPoint<IsPwrHibernateAllowedEntry>(PowrProfGroup, IsPwrHibernateAllowedSlot);
    return entry ? entry() : NotAvailable();
}

// Only the low byte of each argument slot is the caller's BOOLEAN. The entry is
// called with that byte, zero-extended, so that a caller's 0x100 reaches it as
// 0 even where it reads the whole slot.
BOOLEAN WINAPI SetSuspendState(BOOLEAN bHibernate, BOOLEAN bForce, BOOLEAN bWakeupEventsDisabled) {
    auto entry = LoadedEntryPoint<SetSuspendStateEntry>(PowrProfGroup, SetSuspendStateSlot);
    return entry ? entry(bHibernate, bForce, bWakeupEventsDisabled) : NotAvailable();
}

// The caller's pointer goes on as given, null included.
BOOLEAN WINAPI GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES lpspc) {
    auto entry = LoadedEntryPoint<GetPwrCapabilitiesEntry>(PowrProfGroup, GetPwrCapabilitiesSlot);
    return entry ? entry(lpspc) : NotAvailable();
}

bool AcLineStatusKnown() {
    SYSTEM_POWER_STATUS status;
    return GetSystemPowerStatus(&status) && status.ACLineStatus != AcLineStatusUnknown;
}

// Any one of S1 to S3 counts. Where powrprof.dll is asked whether suspending is
// allowed, its own answer comes back unchanged (a system TRUE of 1 stays 1).
// The version test looks at the major version alone, whatever the platform.
BOOL WINAPI CheckSystemPowerStatus() {
    if (!Load(PowrProfGroup)) return AsBoolean(AcLineStatusKnown());
    if (OsVersion.dwMajorVersion < 6) return IsPwrSuspendAllowed();
    SYSTEM_POWER_CAPABILITIES capabilities;
    if (!GetPwrCapabilities(&capabilities)) return IsPwrSuspendAllowed();
    return AsBoolean(capabilities.SystemS1 || capabilities.SystemS2 || capabilities.SystemS3);
}
