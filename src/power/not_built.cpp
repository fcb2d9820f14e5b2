// Exports whose operations are not built yet: each gives the not-available
// answer of its result kind.
#include "frame/library.h"

BOOL WINAPI WindowsHibernate() { return NotAvailable(); }
BOOL WINAPI WindowsStandby() { return NotAvailable(); }
BOOL WINAPI CheckSystemPowerStatus() { return NotAvailable(); }
BOOLEAN WINAPI GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES) { return NotAvailable(); }
BOOLEAN WINAPI SetSuspendState(BOOLEAN, BOOLEAN, BOOLEAN) { return NotAvailable(); }
BOOLEAN WINAPI IsPwrHibernateAllowed() { return NotAvailable(); }
BOOLEAN WINAPI IsPwrSuspendAllowed() { return NotAvailable(); }
