// The power records as the platform publishes them (<winnt.h>, <winbase.h>),
// and the entries of powrprof.dll that the library binds at run time.
#pragma once

#include <stddef.h>

#include "latebound/groups.h"

// The members read here, at the offsets every Windows version fills them in.
static_assert(sizeof(SYSTEM_POWER_CAPABILITIES) == 76);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, SystemS1) == 3);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, SystemS2) == 4);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, SystemS3) == 5);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, SystemS4) == 6);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, HiberFilePresent) == 8);
static_assert(sizeof(SYSTEM_POWER_STATUS) == 12);
static_assert(offsetof(SYSTEM_POWER_STATUS, ACLineStatus) == 0);

// The powrprof.dll entries, each the system's published signature.
using IsPwrSuspendAllowedEntry = BOOLEAN(WINAPI *)();
using IsPwrHibernateAllowedEntry = BOOLEAN(WINAPI *)();
using SetSuspendStateEntry = BOOLEAN(WINAPI *)(BOOLEAN bHibernate, BOOLEAN bForce, BOOLEAN bWakeupEventsDisabled);
using GetPwrCapabilitiesEntry = BOOLEAN(WINAPI *)(PSYSTEM_POWER_CAPABILITIES lpspc);

// True when GetSystemPowerStatus answers and can tell the AC line status: the
// answer on systems without powrprof.dll.
bool AcLineStatusKnown();
