// status: what the registry says an action will really do. A pending reboot
// finishes an update or a rename at the next start, whatever the action; with
// fast startup on, the Start menu's shut down is a hybrid one and quell
// shutdown a full one.
//
// Read-only (KEY_QUERY_VALUE), through the host's A functions on Windows
// 95/98/Me and its W functions elsewhere, as everything else. An x86 quell.exe
// on 64-bit Windows reads the 64-bit view (KEY_WOW64_64KEY), where Windows
// keeps these keys: WOW64 would show it the redirected SOFTWARE. The flag is
// passed only where IsWow64Process (XP and later) says the process runs under
// WOW64, never to a 32-bit system: Microsoft's "Accessing an Alternate
// Registry View" (in its edition that still covered Windows 2000) says "Windows
// 2000: This flag is not supported", and what NT 4.0 and Windows 95/98/Me make
// of the bit is documented nowhere.
#include "json.h"
#include "messages.h"
#include "what.h"

namespace {

constexpr REGSAM Wow64View = 0x0100;  // KEY_WOW64_64KEY

// What was found of a key or value: ERROR_FILE_NOT_FOUND means it is not
// there; any other error leaves the answer unknown.
enum class Found : BYTE { Yes, No, Unknown };

// The registry as one report reads it: the view, and the first error that left an answer unknown.
struct Reader {
    const Cli &cli;
    REGSAM view;
    DWORD error;
};

Found Result(Reader &reader, LONG status) {
    if (status == ERROR_SUCCESS) return Found::Yes;
    if (status == ERROR_FILE_NOT_FOUND) return Found::No;
    if (!reader.error) reader.error = static_cast<DWORD>(status);
    return Found::Unknown;
}

// Opens a key of HKEY_LOCAL_MACHINE, named in ASCII.
Found Open(Reader &reader, const char *path, HKEY &key) {
    const CliHost &host = reader.cli.host;
    REGSAM access = KEY_QUERY_VALUE | reader.view;
    if (reader.cli.ansi) return Result(reader, host.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key));
    Text wide{};
    AppendAscii(wide, path);
    LONG status =
        wide.data ? host.RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.data, 0, access, &key) : ERROR_NOT_ENOUGH_MEMORY;
    Release(wide.data);
    return Result(reader, status);
}

Found KeyExists(Reader &reader, const char *path) {
    HKEY key;
    Found found = Open(reader, path, key);
    if (found == Found::Yes) reader.cli.host.RegCloseKey(key);
    return found;
}

// A value's data as the character set's function gives it, on the heap.
struct Value {
    BYTE *data;  // null: none
    DWORD size;  // in bytes
    DWORD type;
};

Found Read(Reader &reader, const char *path, const char *name, Value &value) {
    value.data = nullptr;
    value.size = 0;
    value.type = REG_NONE;
    HKEY key;
    Found found = Open(reader, path, key);
    if (found != Found::Yes) return found;
    const CliHost &host = reader.cli.host;
    Text wide{};
    AppendAscii(wide, name);
    // The size first, then the data; a value that grew meanwhile is asked again.
    LONG status = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 3 && status == ERROR_MORE_DATA; ++attempt) {
        Release(value.data);
        value.data = value.size ? static_cast<BYTE *>(Grow(nullptr, value.size)) : nullptr;
        if (value.size && !value.data) {
            status = ERROR_NOT_ENOUGH_MEMORY;
        } else if (reader.cli.ansi) {
            status = host.RegQueryValueExA(key, name, nullptr, &value.type, value.data, &value.size);
        } else {
            status = wide.data ? host.RegQueryValueExW(key, wide.data, nullptr, &value.type, value.data, &value.size)
                               : ERROR_NOT_ENOUGH_MEMORY;
        }
        if (status == ERROR_SUCCESS && !value.data && value.size) status = ERROR_MORE_DATA;
    }
    Release(wide.data);
    host.RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        Release(value.data);
        value.data = nullptr;
    }
    return Result(reader, status);
}

// The value is there and holds more than terminating nulls.
Found NotEmpty(Reader &reader, const char *path, const char *name) {
    Value value;
    Found found = Read(reader, path, name, value);
    bool empty = true;
    for (DWORD at = 0; found == Found::Yes && at < value.size; ++at) empty = empty && !value.data[at];
    Release(value.data);
    return found == Found::Yes && empty ? Found::No : found;
}

// A name's characters as the character set's function gave them (bytes on
// Windows 95/98/Me, UTF-16 units elsewhere), ASCII letters in upper case.
unsigned NameUnit(const Cli &cli, const Value &value, DWORD index) {
    unsigned unit = cli.ansi ? value.data[index] : reinterpret_cast<const WCHAR *>(value.data)[index];
    return unit >= 'a' && unit <= 'z' ? unit - 'a' + 'A' : unit;
}
DWORD NameLength(const Cli &cli, const Value &value) {
    DWORD units = value.size / (cli.ansi ? 1 : sizeof(WCHAR)), length = 0;
    while (length < units && NameUnit(cli, value, length)) ++length;
    return length;
}

// ---- the sources, each named as status names it ----------------------------------

Found ComponentBasedServicing(Reader &reader) {
    return KeyExists(reader, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending");
}

Found WindowsUpdate(Reader &reader) {
    return KeyExists(reader,
                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired");
}

Found PendingFileRenameOperations(Reader &reader) {
    const char *sessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    Found first = NotEmpty(reader, sessionManager, "PendingFileRenameOperations");
    Found second = NotEmpty(reader, sessionManager, "PendingFileRenameOperations2");
    if (first == Found::Yes || second == Found::Yes) return Found::Yes;
    return first == Found::Unknown || second == Found::Unknown ? Found::Unknown : Found::No;
}

// The active computer name differs from the one set, which the next start makes active.
Found ComputerRename(Reader &reader) {
    Value active, set;
    Found activeFound =
        Read(reader, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ActiveComputerName", "ComputerName", active);
    Found setFound =
        Read(reader, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName", set);
    Found found = activeFound == Found::Unknown || setFound == Found::Unknown ? Found::Unknown : Found::No;
    if (activeFound == Found::Yes && setFound == Found::Yes) {
        const Cli &cli = reader.cli;
        DWORD length = NameLength(cli, active);
        bool differ = length != NameLength(cli, set);
        for (DWORD at = 0; !differ && at < length; ++at) differ = NameUnit(cli, active, at) != NameUnit(cli, set, at);
        found = differ ? Found::Yes : Found::No;
    }
    Release(active.data);
    Release(set.data);
    return found;
}

struct Source {
    const char *name;
    Found (*pending)(Reader &reader);
};
const Source Sources[] = {
    {"ComponentBasedServicing", ComponentBasedServicing},
    {"WindowsUpdate", WindowsUpdate},
    {"PendingFileRenameOperations", PendingFileRenameOperations},
    {"ComputerRename", ComputerRename},
};
static_assert(sizeof Sources / sizeof Sources[0] == RegistrySourceCount);

REGSAM ViewOf(const Cli &cli) {
    BOOL wow64 = FALSE;
    return cli.host.IsWow64Process && cli.host.IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? Wow64View : 0;
}

void Line(const Cli &cli, Text &out, const char *question, const char *answer, const Text &detail) {
    Format(cli, out, "  %-36S %-8S %s", question, answer, detail.data ? detail.data : L"");
    EndLine(out);
}

}  // namespace

RegistryFacts AskRegistry(const Cli &cli) {
    RegistryFacts facts;
    REGSAM view = ViewOf(cli);
    Reader pendingReader{cli, view, 0};
    for (unsigned i = 0; i < RegistrySourceCount; ++i) {
        facts.pending[i] = Sources[i].pending(pendingReader) == Found::Yes;
    }
    facts.pendingError = pendingReader.error;

    // HiberbootEnabled is there from Windows 8 on: a DWORD, 1 when fast startup is on.
    Reader powerReader{cli, view, 0};
    Value hiberboot{};
    Found power =
        Read(powerReader, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Power", "HiberbootEnabled", hiberboot);
    facts.hiberboot = power == Found::Yes;
    facts.readable = facts.hiberboot && hiberboot.type == REG_DWORD && hiberboot.size == sizeof(DWORD);
    facts.type = hiberboot.type;
    facts.fastStartup = facts.readable ? *reinterpret_cast<const DWORD *>(hiberboot.data) : 0;
    facts.powerError = powerReader.error;
    Release(hiberboot.data);
    return facts;
}

void RegistryJson(Json &json, const RegistryFacts &facts) {
    JsonLine(json, 1);
    JsonKey(json, "rebootPending");
    if (facts.pendingError) {
        JsonNull(json);
    } else {
        bool pending = false;
        for (bool found : facts.pending) pending |= found;
        JsonOpen(json, '{');
        JsonKey(json, "pending");
        JsonBool(json, pending);
        JsonKey(json, "sources");
        JsonOpen(json, '[');
        for (unsigned i = 0; i < RegistrySourceCount; ++i) {
            if (facts.pending[i]) JsonAscii(json, Sources[i].name);
        }
        JsonClose(json, '[');
        JsonClose(json, '{');
    }
    JsonLine(json, 1);
    JsonKey(json, "fastStartup");
    if (facts.readable) {
        JsonBool(json, facts.fastStartup != 0);
    } else {
        JsonNull(json);
    }
}

void RegistryText(const Cli &cli, Text &out, const RegistryFacts &facts) {
    Text sources{}, detail{};
    for (unsigned i = 0; i < RegistrySourceCount; ++i) {
        if (facts.pending[i]) Format(cli, sources, "%S%S", sources.length ? ", " : "", Sources[i].name);
    }
    bool known = facts.pendingError == 0, pending = sources.length != 0;
    AppendAscii(out, "The registry\n");
    if (!known) Format(cli, detail, "the registry could not be read: %E", facts.pendingError);
    Line(cli, out, "reboot pending", !known ? "?" : pending ? "yes" : "no", known ? sources : detail);
    Cut(detail, 0);
    DWORD fastStartup = facts.fastStartup;
    if (facts.readable) {
        Format(cli, detail, "HiberbootEnabled %u%S", fastStartup,
               fastStartup ? ": the Start menu's shut down is a hybrid one, quell shutdown a full one" : "");
    } else if (facts.powerError) {
        Format(cli, detail, "the registry could not be read: %E", facts.powerError);
    } else if (facts.hiberboot) {
        Format(cli, detail, "HiberbootEnabled is not a REG_DWORD (type %u)", facts.type);
    } else {
        AppendAscii(detail, "no HiberbootEnabled (before Windows 8)");
    }
    Line(cli, out, "fast startup", !facts.readable ? "?" : fastStartup ? "on" : "off", detail);
    Release(detail.data);
    Release(sources.data);
}
