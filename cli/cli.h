// Shared by the front end's files, never by its users.
#pragma once

#include "quell_cli.h"

// The running front end: its host, the character set it uses with the system
// and Quell.dll, and Quell.dll once loaded.
struct Cli {
    const CliHost &host;
    bool ansi;  // Windows 95/98/Me: A functions only
    bool loaded;
    QuellEntries quell;
    OSVERSIONINFOA version;
};
