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
// formed: whether its full path could be formed.
HMODULE LoadSystemLibrary(const Cli &cli, const char *fileName, bool *formed = nullptr);
// The same, and looks up its functions, names null-separated, into consecutive
// slots (null where the library or the function is not there); returns the module.
HMODULE LoadSystemFunctions(const Cli &cli, const char *fileName, const char *names, FARPROC *slots);
// Looks up the module's functions, names null-separated, into consecutive slots.
void LookUp(const Cli &cli, HMODULE module, const char *names, FARPROC *slots);
// " NAME" for each of the count names whose slot is null.
void AppendMissing(Text &text, const char *names, const FARPROC *slots, unsigned count);

// A system library's functions that the front end looks up at run time, as a
// list of X(result, name, parameters) (host.h): the struct of their entry
// points and its null-separated names, whose count is checked against the struct.
#define QUELL_SYSTEM_FUNCTIONS(Struct, LIST)                                                                           \
  struct Struct {                                                                                                      \
    LIST(QUELL_FUNCTION_MEMBER)                                                                                        \
    static constexpr char names[] = LIST(QUELL_FUNCTION_NAME);                                                         \
  };                                                                                                                   \
  static_assert(sizeof(Struct) == CountNames(Struct::names) * sizeof(FARPROC))

// Loads the system library and looks up the list's functions into functions.
template <typename Functions> HMODULE LoadSystem(const Cli &cli, const char *fileName, Functions &functions) {
    return LoadSystemFunctions(cli, fileName, Functions::names, reinterpret_cast<FARPROC *>(&functions));
}
// The name of the list's first function that was not found; "" when all were.
template <typename Functions> const char *FirstMissing(const Functions &functions) {
    auto slots = reinterpret_cast<const FARPROC *>(&functions);
    const char *name = Functions::names;
    for (; *name && *slots; ++slots) name = NextName(name);
    return name;
}

// What the system directory's copy of a library says of one of its entries.
enum class Offer : BYTE { Offered, Missing, Unknown };
// Looks the entry (a name, or an ordinal as MAKEINTRESOURCEA makes it) up in
// the system directory's copy of its library, loaded by full path, without
// calling it.
Offer SystemOffers(const Cli &cli, const char *fileName, const char *entry);
// Says that Quell.dll lacks the export; ExitNoLibrary.
int SayMissing(const Cli &cli, const char *exportName);
