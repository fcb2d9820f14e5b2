// The extended and new-style shutdown calls, forwarded to advapi32.dll.
#include "latebound/groups.h"

BOOL WINAPI InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed,
                                      BOOL bRebootAfterShutdown, DWORD dwReason) {
    auto entry = LoadedEntryPoint<decltype(&InitiateSystemShutdownExA)>(Advapi32Group, ShutdownExASlot);
    return entry ? entry(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed, bRebootAfterShutdown, dwReason)
                 : NotAvailable();
}

BOOL WINAPI InitiateSystemShutdownExW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed,
                                      BOOL bRebootAfterShutdown, DWORD dwReason) {
    auto entry = LoadedEntryPoint<decltype(&InitiateSystemShutdownExW)>(Advapi32Group, ShutdownExWSlot);
    return entry ? entry(lpMachineName, lpMessage, dwTimeout, bForceAppsClosed, bRebootAfterShutdown, dwReason)
                 : NotAvailable();
}

// These two answer with an error code: 1 (ERROR_INVALID_FUNCTION) when the
// entry is missing, and the last-error value stays as loading left it.
DWORD WINAPI InitiateShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwGracePeriod, DWORD dwShutdownFlags,
                               DWORD dwReason) {
    auto entry = LoadedEntryPoint<decltype(&InitiateShutdownA)>(Advapi32Group, InitiateShutdownASlot);
    return entry ? entry(lpMachineName, lpMessage, dwGracePeriod, dwShutdownFlags, dwReason) : ERROR_INVALID_FUNCTION;
}

DWORD WINAPI InitiateShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwGracePeriod, DWORD dwShutdownFlags,
                               DWORD dwReason) {
    auto entry = LoadedEntryPoint<decltype(&InitiateShutdownW)>(Advapi32Group, InitiateShutdownWSlot);
    return entry ? entry(lpMachineName, lpMessage, dwGracePeriod, dwShutdownFlags, dwReason) : ERROR_INVALID_FUNCTION;
}
