// Finding and loading Quell.dll.
#pragma once

#include "cli.h"

// Loads Quell.dll from quell.exe's directory on first need and resolves its
// entries; says why when it cannot (then the exit status is ExitNoLibrary).
bool LibraryReady(Cli &cli);
