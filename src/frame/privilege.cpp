#include "frame/privilege.h"

static void AdjustShutdownPrivilege(ShutdownPrivilegeBracket &bracket, DWORD attributes) {
    DWORD returnedLength;
    bracket.request.PrivilegeCount = 1;
    bracket.request.Privileges[0].Attributes = attributes;
    AdjustTokenPrivileges(bracket.token, FALSE, &bracket.request, 0, nullptr, &returnedLength);
}

bool EnableShutdownPrivilege(ShutdownPrivilegeBracket &bracket, PrivilegeLookup lookup) {
    bracket = {};
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &bracket.token)) return false;
    // The lookup's result is not tested: only the last-error value after the
    // adjustment tells whether the privilege was assigned.
    if (lookup == PrivilegeLookup::Wide)
        LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &bracket.request.Privileges[0].Luid);
    else
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &bracket.request.Privileges[0].Luid);
    AdjustShutdownPrivilege(bracket, SE_PRIVILEGE_ENABLED);
    if (GetLastError() != 0) {
        CloseHandle(bracket.token);
        return false;
    }
    return true;
}

void EndShutdownPrivilege(ShutdownPrivilegeBracket &bracket, PrivilegeEnd end) {
    if (end == PrivilegeEnd::KeepEnabled) {
        CloseHandle(bracket.token);
        return;
    }
    // A successful adjustment resets the last-error value to 0.
    DWORD operationError = GetLastError();
    AdjustShutdownPrivilege(bracket, 0);
    CloseHandle(bracket.token);
    if (end == PrivilegeEnd::DisableKeepingError) SetLastError(operationError);
}
