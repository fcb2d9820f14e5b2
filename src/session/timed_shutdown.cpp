// Timed shutdown or reboot of the local machine with a message, and its abort.
// NT family only; each runs its request under the shutdown privilege.
#include "frame/privilege.h"

namespace {
constexpr BOOL ShutdownOnly = 0;
constexpr BOOL RebootAfterShutdown = -1;
}  // namespace

// A scheduled shutdown keeps the privilege only while the request is made. A
// refused request leaves it enabled and the system's last-error value stands.
template <typename Request> static BOOL RequestWithShutdownPrivilege(PrivilegeLookup lookup, Request request) {
    if (!IsNtFamily()) return NotAvailable();
    ShutdownPrivilegeBracket bracket;
    if (!EnableShutdownPrivilege(bracket, lookup)) return 0;
    BOOL result = request();
    EndShutdownPrivilege(bracket, result ? PrivilegeEnd::Disable : PrivilegeEnd::KeepEnabled);
    return result;
}

static BOOL InitiateShutdownWithPrivilegeA(LPSTR message, DWORD timeout, BOOL forceAppsClosed,
                                           BOOL rebootAfterShutdown) {
    return RequestWithShutdownPrivilege(PrivilegeLookup::Ansi, [=] {
        return InitiateSystemShutdownA(nullptr, message, timeout, forceAppsClosed, rebootAfterShutdown);
    });
}

static BOOL InitiateShutdownWithPrivilegeW(LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                                           BOOL rebootAfterShutdown) {
    return RequestWithShutdownPrivilege(PrivilegeLookup::Wide, [=] {
        return InitiateSystemShutdownW(nullptr, message, timeout, forceAppsClosed, rebootAfterShutdown);
    });
}

BOOL WINAPI LocalInitSystemShutdownA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed) {
    return AsBoolean(InitiateShutdownWithPrivilegeA(lpMessage, dwTimeout, bForceAppsClosed, ShutdownOnly) != 0);
}

BOOL WINAPI LocalInitSystemShutdownW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed) {
    return AsBoolean(InitiateShutdownWithPrivilegeW(lpMessage, dwTimeout, bForceAppsClosed, ShutdownOnly) != 0);
}

BOOL WINAPI LocalInitSystemRebootA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed) {
    return AsBoolean(InitiateShutdownWithPrivilegeA(lpMessage, dwTimeout, bForceAppsClosed, RebootAfterShutdown) != 0);
}

BOOL WINAPI LocalInitSystemRebootW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed) {
    return AsBoolean(InitiateShutdownWithPrivilegeW(lpMessage, dwTimeout, bForceAppsClosed, RebootAfterShutdown) != 0);
}

BOOL WINAPI LocalAbortSystemShutdown() {
    return AsBoolean(
        RequestWithShutdownPrivilege(PrivilegeLookup::Ansi, [] { return AbortSystemShutdownA(nullptr); }) != 0);
}
