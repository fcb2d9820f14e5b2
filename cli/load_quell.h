// Finding and loading Quell.dll.
#pragma once

#include "cli.h"

struct Text;

// Loads Quell.dll from quell.exe's directory on first need and resolves its
// entries; says why when it cannot (then the exit status is ExitNoLibrary).
bool LibraryReady(Cli &cli);
// The full path of Quell.dll beside quell.exe, which LibraryReady loads.
bool FormQuellPath(const Cli &cli, Text &path);
// Loads a library from the system directory by full path, never by a bare
// name; null when the directory cannot be read or the library not loaded.
HMODULE LoadSystemLibrary(const Cli &cli, const char *fileName);
// The same, and looks up its functions, names null-separated, into consecutive
// slots (left as they were when the library is not loaded); returns the module.
HMODULE LoadSystemFunctions(const Cli &cli, const char *fileName, const char *names, FARPROC *slots);
// Looks up the module's functions, names null-separated, into consecutive slots.
void LookUp(const Cli &cli, HMODULE module, const char *names, FARPROC *slots);
// " NAME" for each of the count names whose slot is null.
void AppendMissing(Text &text, const char *names, const FARPROC *slots, unsigned count);
// Says that Quell.dll lacks the export; ExitNoLibrary.
int SayMissing(const Cli &cli, const char *exportName);
