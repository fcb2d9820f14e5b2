// Shared by the front end's files, never by its users.
#pragma once

#include "quell_cli.h"

// The running front end: its host, the character set it uses with the system
// and Quell.dll, and Quell.dll once loaded.
// The entries are set, or cleared, by the first attempt to load Quell.dll and
// read only after it; the version record is referred to, not copied (a
// cleared or copied record is a memset or memcpy call, and no C runtime is
// linked to provide one).
struct Cli {
    Cli(const CliHost &host, bool ansi, const OSVERSIONINFOA &version)
        : host(host), ansi(ansi), loaded(false), version(version) {}
    const CliHost &host;
    bool ansi;  // Windows 95/98/Me: A functions only
    bool loaded;
    QuellEntries quell;
    const OSVERSIONINFOA &version;
};

// Calls an entry with the last-error value cleared first, so that the value it
// leaves is its own; that value comes back in error.
template <typename Entry, typename... Arguments> auto Asked(DWORD &error, Entry entry, Arguments... arguments) {
    SetLastError(0);
    auto result = entry(arguments...);
    error = GetLastError();
    return result;
}

// Copies a record in one statement. Assigned as a whole, a record may become a
// memcpy call, and no C runtime is linked to provide one: its bytes are copied
// one by one through a volatile pointer, which the compiler leaves a loop.
template <typename Record> void CopyRecord(Record &to, const Record &from) {
    auto target = reinterpret_cast<volatile BYTE *>(&to);
    auto source = reinterpret_cast<const BYTE *>(&from);
    for (unsigned i = 0; i < sizeof(Record); ++i) target[i] = source[i];
}
