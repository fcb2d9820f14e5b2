// Platform queries and the caller's own request for the shutdown privilege.
#include "frame/privilege.h"

BOOL WINAPI CheckWindowsNT() { return AsBoolean(IsNtFamily()); }

BOOL WINAPI CheckUserName() {
    char name[257];
    DWORD size = sizeof name;
    return AsBoolean(GetUserNameA(name, &size) != 0);
}

// Runs on every platform: outside the NT family OpenProcessToken fails.
// The privilege stays enabled for the life of the process.
BOOL WINAPI WindowsNTPrivilegien() {
    ShutdownPrivilegeBracket bracket;
    if (!EnableShutdownPrivilege(bracket)) return 0;
    EndShutdownPrivilege(bracket, PrivilegeEnd::KeepEnabled);
    return -1;
}
