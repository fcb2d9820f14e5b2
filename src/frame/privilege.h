// The enable / operate / end sequence around shutdown operations on the NT family.
#pragma once

#include "frame/library.h"

struct ShutdownPrivilegeBracket {
    HANDLE token;
    TOKEN_PRIVILEGES request;
};

enum class PrivilegeLookup { Ansi, Wide };

enum class PrivilegeEnd {
    KeepEnabled,          // close the token only
    Disable,              // disable the privilege, then close the token
    DisableKeepingError,  // as Disable, with the operation's last-error value kept for the caller
};

// Opens the process token and enables "SeShutdownPrivilege". On false the
// operation must not run; the token is already closed and the failing call's
// last-error value stands.
bool EnableShutdownPrivilege(ShutdownPrivilegeBracket &bracket, PrivilegeLookup lookup = PrivilegeLookup::Ansi);

// Ends a bracket that EnableShutdownPrivilege opened.
void EndShutdownPrivilege(ShutdownPrivilegeBracket &bracket, PrivilegeEnd end);
