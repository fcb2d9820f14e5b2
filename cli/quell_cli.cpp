// quell: one subcommand per operation of Quell.dll, plus a status report of the
// harmless answers. Operations that change the session run only with --yes.
//
// The code runs without a C runtime: text lives in process-heap buffers and is
// formatted here. It chooses once, by the platform identifier, between Windows
// 95/98/Me, where it calls no W function and hands Quell.dll ANSI text, and
// every other system, where it keeps Unicode throughout.
#include "quell_cli.h"

#include <shlwapi.h>
#include <stddef.h>

#include "latebound/system_libraries.h"

namespace {

// ---- heap and text -----------------------------------------------------------

void *Grow(void *block, DWORD bytes) {
    HANDLE heap = GetProcessHeap();
    return block ? HeapReAlloc(heap, 0, block, bytes) : HeapAlloc(heap, 0, bytes);
}

void Release(void *block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

// UTF-16 text on the process heap, kept null-terminated, grown as it is
// appended to. A failed allocation leaves it as it was: the output is then cut.
struct Text {
    wchar_t *data;
    DWORD length;
    DWORD capacity;
};

bool Reserve(Text &text, DWORD length) {
    if (length < text.capacity) return true;
    DWORD capacity = text.capacity ? text.capacity : 128;
    while (capacity <= length) capacity *= 2;
    void *grown = Grow(text.data, capacity * sizeof(wchar_t));
    if (!grown) return false;
    text.data = static_cast<wchar_t *>(grown);
    text.capacity = capacity;
    return true;
}

void Append(Text &text, const wchar_t *chars, DWORD count) {
    if (!Reserve(text, text.length + count)) return;
    for (DWORD i = 0; i < count; ++i) text.data[text.length++] = chars[i];
    text.data[text.length] = 0;
}

void Cut(Text &text, DWORD length) {
    text.length = length;
    if (text.data) text.data[length] = 0;
}

DWORD Length(const wchar_t *text) {
    DWORD length = 0;
    while (text[length]) ++length;
    return length;
}

void Append(Text &text, const wchar_t *chars) { Append(text, chars, Length(chars)); }

// Export and library names: ASCII, widened as they are.
void AppendAscii(Text &text, const char *ascii) {
    for (; *ascii; ++ascii) {
        wchar_t wide = static_cast<unsigned char>(*ascii);
        Append(text, &wide, 1);
    }
}

void AppendAnsi(Text &text, const char *ansi, int count) {
    int length = count > 0 ? MultiByteToWideChar(CP_ACP, 0, ansi, count, nullptr, 0) : 0;
    if (length <= 0 || !Reserve(text, text.length + static_cast<DWORD>(length))) return;
    MultiByteToWideChar(CP_ACP, 0, ansi, count, text.data + text.length, length);
    Cut(text, text.length + static_cast<DWORD>(length));
}

// The text in the ANSI code page on the heap, for Windows 95/98/Me; null when
// it cannot be made.
char *ToAnsi(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char *ansi = size > 0 ? static_cast<char *>(Grow(nullptr, static_cast<DWORD>(size))) : nullptr;
    if (ansi) WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, size, nullptr, nullptr);
    return ansi;
}

void AppendNumber(Text &text, unsigned long value, unsigned base, int digits) {
    wchar_t buffer[12];
    int at = 12;
    do {
        buffer[--at] = L"0123456789ABCDEF"[value % base];
        value /= base;
    } while (value || 12 - at < digits);
    Append(text, buffer + at, static_cast<DWORD>(12 - at));
}

bool Same(const wchar_t *a, const wchar_t *b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// ---- the session's system ----------------------------------------------------

// The entries are set by LibraryReady and read only once loaded: nothing
// clears them before, and the version record is referred to, not copied (a
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

// Appends the message text, each insert (%1 to %99, with or without a !format!)
// replaced by the given text, and the trailing line break dropped.
void AppendWithInserts(Text &text, const wchar_t *message, DWORD length, const wchar_t *insert) {
    DWORD start = text.length;
    for (DWORD at = 0; at < length; ++at) {
        if (message[at] != L'%' || at + 1 == length || !IsDigit(message[at + 1]) || message[at + 1] == L'0') {
            Append(text, message + at, 1);
            continue;
        }
        DWORD end = at + 2;
        if (end < length && IsDigit(message[end])) ++end;
        if (end < length && message[end] == L'!') {
            DWORD close = end + 1;
            while (close < length && message[close] != L'!') ++close;
            if (close < length) end = close + 1;
        }
        Append(text, insert);
        at = end - 1;
    }
    while (text.length > start && text.data[text.length - 1] <= L' ') Cut(text, text.length - 1);
}

// The system's text for a last-error value. It is read with its inserts
// ignored (the system would otherwise read arguments that nobody passed), and
// they are then filled with the insert, or "..." without one: no raw %1 shows.
void AppendSystemMessage(const Cli &cli, Text &text, DWORD error, const wchar_t *insert) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD start = text.length;
    Text message{};
    if (cli.ansi) {
        char ansi[512];
        DWORD length = cli.host.FormatMessageA(flags, nullptr, error, 0, ansi, sizeof ansi, nullptr);
        AppendAnsi(message, ansi, static_cast<int>(length < sizeof ansi ? length : 0));
    } else {
        wchar_t wide[512];
        DWORD length = cli.host.FormatMessageW(flags, nullptr, error, 0, wide, 512, nullptr);
        Append(message, wide, length < 512 ? length : 0);
    }
    if (message.length) AppendWithInserts(text, message.data, message.length, insert ? insert : L"...");
    Release(message.data);
    if (text.length == start) Append(text, L"no message text");
}

// A small printf: %s wide string, %S ASCII string, %d long, %u unsigned long,
// %X unsigned long in eight hex digits, %E "last error N (text)" for a DWORD,
// %F the same after a failure, where 0 means the call set no error code, %L
// the same as %E for a DWORD and then the wide text that fills the message's
// inserts (a file name). "-N" after % pads to N characters.
void FormatV(const Cli &cli, Text &text, const wchar_t *pattern, va_list args) {
    for (const wchar_t *at = pattern; *at; ++at) {
        if (*at != L'%') {
            Append(text, at, 1);
            continue;
        }
        DWORD width = 0;
        if (*++at == L'-') {
            while (IsDigit(*++at)) width = width * 10 + static_cast<DWORD>(*at - L'0');
        }
        DWORD start = text.length;
        switch (*at) {
        case L's': Append(text, va_arg(args, const wchar_t *)); break;
        case L'S': AppendAscii(text, va_arg(args, const char *)); break;
        case L'u': AppendNumber(text, va_arg(args, unsigned long), 10, 1); break;
        case L'X': AppendNumber(text, va_arg(args, unsigned long), 16, 8); break;
        case L'd': {
            long value = va_arg(args, long);
            if (value < 0) Append(text, L"-", 1);
            AppendNumber(text, value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value),
                         10, 1);
            break;
        }
        case L'E':
        case L'F':
        case L'L': {
            DWORD error = va_arg(args, DWORD);
            const wchar_t *insert = *at == L'L' ? va_arg(args, const wchar_t *) : nullptr;
            if (*at == L'F' && error == 0) {
                Append(text, L"no error code set");
                break;
            }
            Append(text, L"last error ");
            AppendNumber(text, error, 10, 1);
            Append(text, L" (");
            AppendSystemMessage(cli, text, error, insert);
            Append(text, L")");
            break;
        }
        default: Append(text, at, 1); break;
        }
        for (DWORD filled = text.length - start; filled < width; ++filled) Append(text, L" ", 1);
    }
}

void Format(const Cli &cli, Text &text, const wchar_t *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    FormatV(cli, text, pattern, args);
    va_end(args);
}

// NT family: a console takes UTF-16 as it is, a pipe or a file gets UTF-8.
// Windows 95/98/Me: the console's code page, through WriteFile either way.
void Print(const Cli &cli, DWORD stream, const Text &text) {
    if (!text.length) return;
    const CliHost &host = cli.host;
    HANDLE handle = host.GetStdHandle(stream);
    DWORD mode = 0, written = 0;
    if (!cli.ansi && host.GetConsoleMode(handle, &mode)) {
        // In pieces, as old consoles refuse long writes; a surrogate pair stays whole.
        for (DWORD at = 0; at < text.length; at += written) {
            DWORD piece = text.length - at < 4096 ? text.length - at : 4096;
            if (piece > 1 && piece < text.length - at && IS_HIGH_SURROGATE(text.data[at + piece - 1])) --piece;
            if (!host.WriteConsoleW(handle, text.data + at, piece, &written, nullptr) || !written) return;
        }
        return;
    }
    UINT codePage = cli.ansi ? host.GetConsoleOutputCP() : CP_UTF8;
    if (!codePage) codePage = CP_OEMCP;  // no console: as the DOS box shows it
    int size = WideCharToMultiByte(codePage, 0, text.data, static_cast<int>(text.length), nullptr, 0, nullptr,
                                   nullptr);
    char *bytes = size > 0 ? static_cast<char *>(Grow(nullptr, static_cast<DWORD>(size))) : nullptr;
    if (!bytes) return;
    WideCharToMultiByte(codePage, 0, text.data, static_cast<int>(text.length), bytes, size, nullptr, nullptr);
    for (DWORD at = 0; at < static_cast<DWORD>(size); at += written) {
        if (!host.WriteFile(handle, bytes + at, static_cast<DWORD>(size) - at, &written, nullptr) || !written) break;
    }
    Release(bytes);
}

// Formats and prints one message between a fixed beginning and end.
void SayV(const Cli &cli, DWORD stream, const wchar_t *before, const wchar_t *pattern, va_list args,
          const wchar_t *after) {
    Text text{};
    Append(text, before);
    FormatV(cli, text, pattern, args);
    Append(text, after);
    Print(cli, stream, text);
    Release(text.data);
}

void Say(const Cli &cli, DWORD stream, const wchar_t *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    SayV(cli, stream, L"", pattern, args, L"");
    va_end(args);
}

int UsageError(const Cli &cli, const wchar_t *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    SayV(cli, STD_ERROR_HANDLE, L"quell: ", pattern, args, L"\nTry 'quell --help'.\n");
    va_end(args);
    return ExitUsage;
}

// ---- loading Quell.dll ---------------------------------------------------------

// Quell.dll loads only into a process of its own architecture; each release
// bundle holds one architecture's quell.exe and Quell.dll.
#ifdef _WIN64
constexpr const wchar_t *OwnArchitecture = L"x64", *OtherArchitecture = L"x86";
constexpr const wchar_t *OwnBundle = L"quell-" QUELL_VERSION_STRING "-win64.zip";
#else
constexpr const wchar_t *OwnArchitecture = L"x86", *OtherArchitecture = L"x64";
constexpr const wchar_t *OwnBundle = L"quell-" QUELL_VERSION_STRING "-win32.zip";
#endif

// The full path of Quell.dll beside quell.exe. Never a bare name: that would
// let the search path pick another file.
bool FormQuellPath(const Cli &cli, Text &path) {
    const CliHost &host = cli.host;
    void *buffer = nullptr;
    DWORD length = 0;
    // The buffer grows until the name fits; NT paths reach 32,767 characters.
    for (DWORD size = MAX_PATH; !length && size <= 0x10000; size *= 2) {
        void *grown = Grow(buffer, size * sizeof(wchar_t));
        if (!grown) break;
        buffer = grown;
        DWORD got = cli.ansi ? host.GetModuleFileNameA(nullptr, static_cast<char *>(buffer), size)
                             : host.GetModuleFileNameW(nullptr, static_cast<wchar_t *>(buffer), size);
        if (got == 0) break;
        if (got < size) length = got;
    }
    // Wide first even on Windows 95/98/Me: a DBCS trail byte may equal '\'.
    if (length && cli.ansi) AppendAnsi(path, static_cast<char *>(buffer), static_cast<int>(length));
    if (length && !cli.ansi) Append(path, static_cast<wchar_t *>(buffer), length);
    Release(buffer);

    DWORD directory = path.length;
    while (directory && path.data[directory - 1] != L'\\') --directory;
    if (!directory) return false;
    Cut(path, directory);
    Append(path, L"Quell.dll");
    if (path.length < MAX_PATH) return true;
    if (cli.ansi) return false;  // Windows 95/98/Me have no longer paths
    const wchar_t *name = path.data;
    if (name[0] == L'\\' && name[1] == L'\\' && name[2] == L'?' && name[3] == L'\\') return true;
    // Beyond MAX_PATH the loader wants the \\?\ form (\\?\UNC\ for a share).
    bool share = name[0] == L'\\' && name[1] == L'\\';
    Text prefixed{};
    Append(prefixed, share ? L"\\\\?\\UNC" : L"\\\\?\\");
    Append(prefixed, name + (share ? 1 : 0));
    Release(path.data);
    path = prefixed;
    return true;
}

// Loads Quell.dll on first need and resolves its entries; says why when it cannot.
bool LibraryReady(Cli &cli) {
    if (cli.loaded) return true;
    Text path{};
    HMODULE module = nullptr;
    if (!FormQuellPath(cli, path)) {
        Say(cli, STD_ERROR_HANDLE,
            L"quell: Quell.dll is loaded only from the directory of quell.exe, and its full path there could not "
            L"be formed\n");
        Release(path.data);
        return false;
    }
    if (cli.ansi) {
        char *ansi = ToAnsi(path.data);
        if (ansi) module = cli.host.LoadLibraryA(ansi);
        Release(ansi);
    } else {
        module = cli.host.LoadLibraryW(path.data);
    }
    if (!module) {
        DWORD error = GetLastError();
        Say(cli, STD_ERROR_HANDLE, L"quell: %s could not be loaded: %L\n", path.data, error, L"Quell.dll");
        if (error == ERROR_BAD_EXE_FORMAT) {
            Say(cli, STD_ERROR_HANDLE,
                L"quell: this Quell.dll is not built for %s like this quell.exe: most likely it is the %s build "
                L"(or the file is damaged). Use the Quell.dll of %s, the bundle this quell.exe belongs to.\n",
                OwnArchitecture, OtherArchitecture, OwnBundle);
        }
    }
    Release(path.data);
    if (!module) return false;
#define QUELL_RESOLVE(name) ResolveEntry(cli.host.GetProcAddress(module, #name), cli.quell.name);
    QUELL_CLI_ENTRIES(QUELL_RESOLVE)
#undef QUELL_RESOLVE
    cli.loaded = true;
    return true;
}

// ---- commands ----------------------------------------------------------------

enum class Shape { Plain, TimedShutdown, TimedReboot, RestartDialog, ShutdownDialog };

using PlainEntry = BOOL(WINAPI *)();

struct Command {
    const wchar_t *name;
    const wchar_t *arguments;  // after the name, for the help text
    const wchar_t *effect;     // what it does, completing "would ..."
    const char *exportName;
    Shape shape;
    PlainEntry QuellEntries::*plain;
    const char *ansiExportName = nullptr;  // the export called on Windows 95/98/Me, where it differs
};

const Command Commands[] = {
    {L"logoff", L"", L"log the user off", "WindowsLogOnOff", Shape::Plain, &QuellEntries::WindowsLogOnOff},
    {L"force-logoff", L"", L"log the user off, closing applications without asking", "WindowsForceLogOnOff",
     Shape::Plain, &QuellEntries::WindowsForceLogOnOff},
    {L"shutdown", L"", L"shut down and power off this machine", "WindowsShutdown", Shape::Plain,
     &QuellEntries::WindowsShutdown},
    {L"force-shutdown", L"", L"shut down and power off this machine, closing applications without asking",
     "WindowsForceShutdown", Shape::Plain, &QuellEntries::WindowsForceShutdown},
    {L"reboot", L"", L"reboot this machine", "WindowsReboot", Shape::Plain, &QuellEntries::WindowsReboot},
    {L"force-reboot", L"", L"reboot this machine, closing applications without asking", "WindowsForceReboot",
     Shape::Plain, &QuellEntries::WindowsForceReboot},
    {L"restart-apps", L"", L"end the session and restart the registered applications (a log-off before Vista)",
     "WindowsRestartApps", Shape::Plain, &QuellEntries::WindowsRestartApps},
    {L"hybrid", L"", L"shut down for a fast start-up (a power-off before Windows 8)", "WindowsHybridShutdown",
     Shape::Plain, &QuellEntries::WindowsHybridShutdown},
    {L"timed-shutdown", L"SECONDS [MESSAGE] [--force]",
     L"shut down this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     "LocalInitSystemShutdownW", Shape::TimedShutdown, nullptr, "LocalInitSystemShutdownA"},
    {L"timed-reboot", L"SECONDS [MESSAGE] [--force]",
     L"reboot this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     "LocalInitSystemRebootW", Shape::TimedReboot, nullptr, "LocalInitSystemRebootA"},
    {L"abort", L"", L"abort a timed shutdown or reboot", "LocalAbortSystemShutdown", Shape::Plain,
     &QuellEntries::LocalAbortSystemShutdown},
    {L"standby", L"", L"put this machine into standby", "WindowsStandby", Shape::Plain,
     &QuellEntries::WindowsStandby},
    {L"hibernate", L"", L"hibernate this machine", "WindowsHibernate", Shape::Plain, &QuellEntries::WindowsHibernate},
    {L"lock", L"", L"lock the workstation", "LockWorkStation", Shape::Plain, &QuellEntries::LockWorkStation},
    {L"restart-dialog", L"[PROMPT]", L"show the shell's dialog that asks to restart, with PROMPT", "RestartDialog",
     Shape::RestartDialog, nullptr},
    {L"shutdown-dialog", L"", L"show the shell's shut-down dialog", "ShutdownDialog", Shape::ShutdownDialog, nullptr},
    {L"msdos", L"", L"restart into MS-DOS mode (Windows 95/98/Me)", "WindowsMsDosModus", Shape::Plain,
     &QuellEntries::WindowsMsDosModus},
};

const char *ExportName(const Cli &cli, const Command &command) {
    return cli.ansi && command.ansiExportName ? command.ansiExportName : command.exportName;
}

bool IsTimed(Shape shape) { return shape == Shape::TimedShutdown || shape == Shape::TimedReboot; }

void PrintHelp(const Cli &cli) {
    Text text{};
    Append(text, L"Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                 L"Ends the Windows session or changes the power state through Quell.dll.\n\n"
                 L"Commands:\n"
                 L"  status\n      report what this system and Quell.dll offer; changes nothing\n");
    for (const Command &command : Commands) {
        Format(cli, text, L"  %s%s%s\n      %s (%S)\n", command.name, *command.arguments ? L" " : L"",
               command.arguments, command.effect, ExportName(cli, command));
    }
    Append(text, L"  help, --help, /?\n      show this text\n\n"
                 L"Every command but status and help changes the session and does nothing without --yes.\n"
                 L"Exit status: 0 done, 1 the operation failed, 2 usage error or --yes missing.\n");
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}

bool IsHelpFlag(const wchar_t *arg) { return Same(arg, L"--help") || Same(arg, L"-h") || Same(arg, L"/?"); }

// A delay in seconds: decimal digits only, within 32 bits.
bool ParseSeconds(const wchar_t *text, DWORD &seconds) {
    if (!*text) return false;
    DWORD value = 0;
    for (const wchar_t *c = text; *c; ++c) {
        if (!IsDigit(*c)) return false;
        DWORD digit = static_cast<DWORD>(*c - L'0');
        if (value > (0xFFFFFFFFul - digit) / 10) return false;
        value = value * 10 + digit;
    }
    seconds = value;
    return true;
}

// ---- status ----------------------------------------------------------------

void StatusLine(const Cli &cli, Text &out, const wchar_t *question, const wchar_t *answer, const Text &detail) {
    Format(cli, out, L"  %-36s %-8s %s\n", question, answer, detail.data ? detail.data : L"");
}

void MissingLine(const Cli &cli, Text &out, const wchar_t *question, const char *exportName) {
    Text detail{};
    Format(cli, detail, L"%S missing from Quell.dll", exportName);
    StatusLine(cli, out, question, L"?", detail);
    Release(detail.data);
}

template <typename Entry>
void BooleanStatus(const Cli &cli, Text &out, const wchar_t *question, const char *exportName, Entry entry) {
    if (!entry) return MissingLine(cli, out, question, exportName);
    SetLastError(0);
    LONG result = static_cast<LONG>(entry());
    DWORD error = GetLastError();
    Text detail{};
    Format(cli, detail, L"%S = %d, %E", exportName, result, error);
    StatusLine(cli, out, question, result ? L"yes" : L"no", detail);
    Release(detail.data);
}

void VersionStatus(const Cli &cli, Text &out) {
    const wchar_t *question = L"version of Quell.dll";
    if (!cli.quell.DllGetVersion) return MissingLine(cli, out, question, "DllGetVersion");
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    SetLastError(0);
    HRESULT result = cli.quell.DllGetVersion(&version);
    DWORD error = GetLastError();
    Text answer{}, detail{};
    if (result == S_OK) {
        Format(cli, answer, L"%u.%u.%u", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
    } else {
        Append(answer, L"unknown");
    }
    Format(cli, detail, L"DllGetVersion = 0x%X", static_cast<unsigned long>(result));
    if (result == S_OK) Format(cli, detail, L" (platform %u)", version.dwPlatformID);
    Format(cli, detail, L", %E", error);
    StatusLine(cli, out, question, answer.data, detail);
    Release(answer.data);
    Release(detail.data);
}

// On a machine with Modern Standby, S0 low power idle takes the place of S1 to
// S3: this line explains why standby is then not possible. The capabilities
// record's AoAc member, byte 20, says so; MinGW's header calls it spare2[2].
constexpr size_t AoAcOffset = 20;
static_assert(sizeof(SYSTEM_POWER_CAPABILITIES) == 76);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, spare2) + 2 == AoAcOffset);

void ModernStandbyStatus(const Cli &cli, Text &out, bool read, const SYSTEM_POWER_CAPABILITIES &capabilities) {
    const wchar_t *question = L"Modern Standby (S0 low power idle)";
    BYTE aoAc = reinterpret_cast<const BYTE *>(&capabilities)[AoAcOffset];
    Text detail{};
    if (!read) {
        Append(detail, L"the power capabilities are not readable");
    } else if (aoAc) {
        Format(cli, detail, L"AoAc %u: the machine sleeps in S0 low power idle, which takes the place of S1 to S3",
               static_cast<unsigned long>(aoAc));
    } else {
        Append(detail, L"AoAc 0");
    }
    StatusLine(cli, out, question, !read ? L"?" : aoAc ? L"yes" : L"no", detail);
    Release(detail.data);
}

void CapabilitiesStatus(const Cli &cli, Text &out) {
    const wchar_t *question = L"power capabilities readable";
    if (!cli.quell.GetPwrCapabilities) return MissingLine(cli, out, question, "GetPwrCapabilities");
    SYSTEM_POWER_CAPABILITIES capabilities{};
    SetLastError(0);
    BOOLEAN result = cli.quell.GetPwrCapabilities(&capabilities);
    DWORD error = GetLastError();
    Text detail{};
    Format(cli, detail, L"GetPwrCapabilities = %u", static_cast<unsigned long>(result));
    if (result) {
        Format(cli, detail, L" (S1 %u, S2 %u, S3 %u, S4 %u, hibernation file %u)",
               static_cast<unsigned long>(capabilities.SystemS1), static_cast<unsigned long>(capabilities.SystemS2),
               static_cast<unsigned long>(capabilities.SystemS3), static_cast<unsigned long>(capabilities.SystemS4),
               static_cast<unsigned long>(capabilities.HiberFilePresent));
    }
    Format(cli, detail, L", %E", error);
    StatusLine(cli, out, question, result ? L"yes" : L"no", detail);
    Release(detail.data);
    ModernStandbyStatus(cli, out, result != 0, capabilities);
}

// What the system directory's copy of a library says of one of its entries.
enum class Offer { Offered, Missing, Unknown };

// Looks the entry up in the system directory's copy of its library, loaded by
// full path, without calling it.
Offer SystemOffer(const Cli &cli, const char *systemDirectory, const char *library, const LateBoundEntry &entry) {
    if (!*systemDirectory) return Offer::Unknown;
    char path[MAX_PATH + 16];
    char *at = path;
    for (const char *c = systemDirectory; *c;) *at++ = *c++;
    *at++ = '\\';
    for (const char *c = library; *c;) *at++ = *c++;
    *at = 0;
    HMODULE module = cli.host.LoadLibraryA(path);
    if (!module) return Offer::Missing;
    bool offered = cli.host.GetProcAddress(module, entry.name ? entry.name : MAKEINTRESOURCEA(entry.ordinal));
    cli.host.FreeLibrary(module);
    return offered ? Offer::Offered : Offer::Missing;
}

// The system directory, or an empty string when it cannot be read.
void ReadSystemDirectory(const Cli &cli, char (&directory)[MAX_PATH]) {
    UINT length = cli.host.GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) directory[0] = 0;
}

bool Applies(const Cli &cli, const LateBoundEntry &entry) {
    return (entry.name || entry.ordinal) &&
           LateBoundFormApplies(entry.form, cli.version.dwPlatformId, cli.version.dwMajorVersion);
}

// The shell's dialogs are exported by ordinal only: the export of Quell.dll
// that reaches each names it.
void AppendEntryLabel(Text &text, const LateBoundEntry &entry) {
    if (entry.name) return AppendAscii(text, entry.name);
    Append(text, L"#");
    AppendNumber(text, entry.ordinal, 10, 1);
    if (entry.ordinal == RestartDialogOrdinal) Append(text, L" (RestartDialog)");
    if (entry.ordinal == ShutdownDialogOrdinal) Append(text, L" (ShutdownDialog)");
}

// Every entry of Quell.dll's late-bound libraries that it looks up on this system.
void SystemEntriesStatus(const Cli &cli, Text &out) {
    Append(out, L"System entries that Quell.dll may use here (looked up, not called)\n");
    char systemDirectory[MAX_PATH];
    ReadSystemDirectory(cli, systemDirectory);
    for (const LateBoundLibrary *library : SystemLibraries) {
        for (const LateBoundEntry &entry : library->entries) {
            if (!Applies(cli, entry)) continue;
            Offer offer = SystemOffer(cli, systemDirectory, library->fileName, entry);
            Text label{};
            AppendEntryLabel(label, entry);
            Format(cli, out, L"  %-14S %-30s %s\n", library->fileName, label.data,
                   offer == Offer::Offered ? L"offered" : offer == Offer::Missing ? L"missing" : L"unknown");
            Release(label.data);
        }
    }
}

int Status(Cli &cli) {
    if (!LibraryReady(cli)) return ExitFailed;
    const QuellEntries &quell = cli.quell;
    Text out{};
    Append(out, L"Quell.dll\n");
    BooleanStatus(cli, out, L"NT-family system", "CheckWindowsNT", quell.CheckWindowsNT);
    BooleanStatus(cli, out, L"user name readable", "CheckUserName", quell.CheckUserName);
    BooleanStatus(cli, out, L"shutdown privilege obtainable", "WindowsNTPrivilegien", quell.WindowsNTPrivilegien);
    VersionStatus(cli, out);
    BooleanStatus(cli, out, L"standby possible", "CheckSystemPowerStatus", quell.CheckSystemPowerStatus);
    BooleanStatus(cli, out, L"suspend allowed", "IsPwrSuspendAllowed", quell.IsPwrSuspendAllowed);
    BooleanStatus(cli, out, L"hibernation allowed", "IsPwrHibernateAllowed", quell.IsPwrHibernateAllowed);
    CapabilitiesStatus(cli, out);
    BooleanStatus(cli, out, L"MS-DOS mode shortcut present", "CheckMsDosModus", quell.CheckMsDosModus);

    SystemEntriesStatus(cli, out);
    Print(cli, STD_OUTPUT_HANDLE, out);
    Release(out.data);

    // A library without all its exports is not the one this front end was made for.
    Text lacking{};
#define QUELL_LACKING(name) \
    if (!quell.name) Format(cli, lacking, L" %S", #name);
    QUELL_CLI_ENTRIES(QUELL_LACKING)
#undef QUELL_LACKING
    bool complete = lacking.length == 0;
    if (!complete) Say(cli, STD_ERROR_HANDLE, L"quell: Quell.dll lacks exports:%s\n", lacking.data);
    Release(lacking.data);
    return complete ? ExitSuccess : ExitFailed;
}

// ---- operations --------------------------------------------------------------

// The shell's shut-down dialog returns nothing, so Quell.dll's answer cannot
// tell whether it was shown: the shell is asked for the entry beforehand.
bool ShellOffersShutdownDialog(const Cli &cli) {
    char systemDirectory[MAX_PATH];
    ReadSystemDirectory(cli, systemDirectory);
    Offer offer = SystemOffer(cli, systemDirectory, Shell32Library.fileName, ByOrdinal(ShutdownDialogOrdinal));
    if (offer == Offer::Missing) Say(cli, STD_ERROR_HANDLE, L"quell: shell32.dll offers no shut-down dialog (#60)\n");
    if (offer == Offer::Unknown) {
        Say(cli, STD_ERROR_HANDLE,
            L"quell: the system directory could not be read, so whether shell32.dll offers its shut-down dialog "
            L"(#60) is unknown\n");
    }
    return offer == Offer::Offered;
}

struct Request {
    const Command *command;
    bool yes;
    bool force;
    int operandCount;
    wchar_t *operands[2];
};

int MaxOperands(Shape shape) {
    if (IsTimed(shape)) return 2;
    return shape == Shape::RestartDialog ? 1 : 0;
}

void AppendEffect(const Cli &cli, Text &text, const Request &request, DWORD seconds) {
    const Command &command = *request.command;
    if (command.shape == Shape::RestartDialog) {
        Append(text, L"show the shell's dialog that asks to restart, ");
        if (request.operandCount) return Format(cli, text, L"with the prompt \"%s\"", request.operands[0]);
        return Append(text, L"with no prompt of its own");
    }
    if (!IsTimed(command.shape)) return Append(text, command.effect);
    Format(cli, text, L"%s this machine after %u seconds",
           command.shape == Shape::TimedReboot ? L"reboot" : L"shut down", seconds);
    if (request.operandCount > 1) Format(cli, text, L", showing \"%s\" meanwhile", request.operands[1]);
    if (request.force) Append(text, L", closing applications without asking");
}

// Calls the command's export; false when Quell.dll lacks it.
bool CallExport(const Cli &cli, const Request &request, DWORD seconds, LONG &result, DWORD &error) {
    const QuellEntries &quell = cli.quell;
    const Command &command = *request.command;
    // The last operand is the text: a timed command's MESSAGE, the dialog's PROMPT.
    int last = MaxOperands(command.shape) - 1;
    wchar_t *text = last >= 0 && request.operandCount > last ? request.operands[last] : nullptr;
    char *ansi = text && cli.ansi ? ToAnsi(text) : nullptr;
    BOOL force = request.force ? TRUE : FALSE;
    bool reboot = command.shape == Shape::TimedReboot;
    bool present = false;
    SetLastError(0);
    switch (command.shape) {
    case Shape::Plain:
        if ((present = quell.*command.plain != nullptr)) result = (quell.*command.plain)();
        break;
    case Shape::TimedShutdown:
    case Shape::TimedReboot:
        if (cli.ansi) {
            auto entry = reboot ? quell.LocalInitSystemRebootA : quell.LocalInitSystemShutdownA;
            if ((present = entry != nullptr)) result = entry(ansi, seconds, force);
        } else {
            auto entry = reboot ? quell.LocalInitSystemRebootW : quell.LocalInitSystemShutdownW;
            if ((present = entry != nullptr)) result = entry(text, seconds, force);
        }
        break;
    case Shape::RestartDialog:
        // On Windows 95/98/Me the shell's dialog takes its prompt as ANSI text.
        if ((present = quell.RestartDialog != nullptr)) {
            result = quell.RestartDialog(nullptr, cli.ansi ? reinterpret_cast<LPCWSTR>(ansi) : text, EWX_REBOOT);
        }
        break;
    case Shape::ShutdownDialog:
        if ((present = quell.ShutdownDialog != nullptr)) quell.ShutdownDialog(nullptr);
        break;
    }
    error = GetLastError();
    Release(ansi);
    return present;
}

int Perform(Cli &cli, const Request &request) {
    const Command &command = *request.command;
    const char *exportName = ExportName(cli, command);
    DWORD seconds = 0;
    if (IsTimed(command.shape)) {
        if (!request.operandCount) return UsageError(cli, L"%s needs SECONDS", command.name);
        if (!ParseSeconds(request.operands[0], seconds)) {
            return UsageError(cli, L"%s: SECONDS must be a whole number from 0 to 4294967295, not '%s'",
                              command.name, request.operands[0]);
        }
    }
    Text effect{};
    AppendEffect(cli, effect, request, seconds);
    if (!request.yes) {
        Say(cli, STD_ERROR_HANDLE, L"quell %s: would %s (%S). Nothing done: add --yes to do it.\n", command.name,
            effect.data, exportName);
        Release(effect.data);
        return ExitUsage;
    }
    // A dialog may end the session before it returns.
    if (command.shape == Shape::RestartDialog || command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, L"quell %s: about to %s\n", command.name, effect.data);
    }
    Release(effect.data);
    if (!LibraryReady(cli)) return ExitFailed;
    if (command.shape == Shape::ShutdownDialog && !ShellOffersShutdownDialog(cli)) return ExitFailed;

    LONG result = 0;
    DWORD error = 0;
    if (!CallExport(cli, request, seconds, result, error)) {
        Say(cli, STD_ERROR_HANDLE, L"quell: %S missing from Quell.dll\n", exportName);
        return ExitFailed;
    }
    // The shell's shut-down dialog returns nothing: what Quell.dll passes back is no answer.
    if (command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, L"quell %s: shown\n", command.name);
        return ExitSuccess;
    }
    // The restart dialog answers IDYES when the user agreed to restart.
    bool done = command.shape == Shape::RestartDialog ? result == IDYES : result != 0;
    if (done) {
        Say(cli, STD_OUTPUT_HANDLE, L"%S = %d, %E\n", exportName, result, error);
        return ExitSuccess;
    }
    const wchar_t *outcome = result && command.shape == Shape::RestartDialog ? L"not restarted, the answer was not Yes"
                                                                             : L"failed";
    Say(cli, STD_ERROR_HANDLE, L"%S = %d, %F\nquell %s: %s\n", exportName, result, error, command.name, outcome);
    return ExitFailed;
}

int Run(Cli &cli, int argc, wchar_t **argv) {
    if (argc < 2) return UsageError(cli, L"no command given");
    for (int i = 1; i < argc && !Same(argv[i], L"--"); ++i) {
        if (IsHelpFlag(argv[i])) {
            PrintHelp(cli);
            return ExitSuccess;
        }
    }
    const wchar_t *name = argv[1];
    if (Same(name, L"help")) {
        if (argc > 2) return UsageError(cli, L"help takes no arguments");
        PrintHelp(cli);
        return ExitSuccess;
    }
    if (Same(name, L"status")) {
        if (argc > 2) return UsageError(cli, L"status takes no arguments, not '%s'", argv[2]);
        return Status(cli);
    }

    Request request{};
    for (const Command &command : Commands) {
        if (Same(name, command.name)) request.command = &command;
    }
    if (!request.command) return UsageError(cli, L"unknown command '%s'", name);

    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t *arg = argv[i];
        // "-5" is a number, not an option: SECONDS then says what is wrong with it.
        bool option = !operandsOnly && arg[0] == L'-' && arg[1] != L'\0' && !IsDigit(arg[1]);
        if (option && Same(arg, L"--")) {
            operandsOnly = true;
        } else if (option && Same(arg, L"--yes")) {
            request.yes = true;
        } else if (option && Same(arg, L"--force") && IsTimed(request.command->shape)) {
            request.force = true;
        } else if (option) {
            return UsageError(cli, L"%s: unknown option '%s'", name, arg);
        } else if (request.operandCount < MaxOperands(request.command->shape)) {
            request.operands[request.operandCount++] = arg;
        } else {
            return UsageError(cli, L"%s: unexpected argument '%s'", name, arg);
        }
    }
    return Perform(cli, request);
}

// Every other system has each W function that the front end calls. Where one
// is missing, it says so and stops: the ANSI path would hand ANSI text to
// Unicode exports of Quell.dll and of the system.
bool UnicodeComplete(const Cli &cli) {
    const CliHost &host = cli.host;
    Text lacking{};
    if (!host.GetCommandLineW) Append(lacking, L" GetCommandLineW");
    if (!host.GetModuleFileNameW) Append(lacking, L" GetModuleFileNameW");
    if (!host.LoadLibraryW) Append(lacking, L" LoadLibraryW");
    if (!host.WriteConsoleW) Append(lacking, L" WriteConsoleW");
    if (!host.FormatMessageW) Append(lacking, L" FormatMessageW");
    bool complete = lacking.length == 0;
    if (!complete) {
        // Said through the ANSI output, which needs none of them.
        Cli ansiOutput(host, true, cli.version);
        Say(ansiOutput, STD_ERROR_HANDLE,
            L"quell: this is not Windows 95/98/Me (platform %u), yet kernel32.dll lacks%s. quell.exe uses only "
            L"Unicode functions on such a system and stops.\n",
            cli.version.dwPlatformId, lacking.data);
    }
    Release(lacking.data);
    return complete;
}

// Splits a command line as the Microsoft C runtime does for argv. values has
// room for a pointer per character and two more, chars for every character
// and a terminator.
int SplitCommandLine(const wchar_t *line, wchar_t **values, wchar_t *chars) {
    int count = 0;
    // The program name: quotes group, backslashes are plain characters.
    values[count++] = chars;
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        if (*line == L'"') {
            quoted = !quoted;
        } else {
            *chars++ = *line;
        }
    }
    *chars++ = 0;
    // The arguments: 2n backslashes and a quote give n backslashes and open or
    // close a quoted part; 2n+1 backslashes and a quote give n backslashes and a
    // quote; "" inside a quoted part gives a quote; blanks outside quotes part.
    for (;;) {
        while (*line == L' ' || *line == L'\t') ++line;
        if (!*line) break;
        values[count++] = chars;
        quoted = false;
        for (;;) {
            DWORD backslashes = 0;
            while (*line == L'\\') ++line, ++backslashes;
            bool copy = true;
            if (*line == L'"') {
                if (backslashes % 2 == 0) {
                    if (quoted && line[1] == L'"') {
                        ++line;
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            for (; backslashes; --backslashes) *chars++ = L'\\';
            if (!*line || (!quoted && (*line == L' ' || *line == L'\t'))) break;
            if (copy) *chars++ = *line;
            ++line;
        }
        *chars++ = 0;
    }
    return count;
}

}  // namespace

int RunQuell(const CliHost &host) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    // Only Windows 95/98/Me get ANSI. The numbers of a record that cannot be
    // read stay zero and count as Unicode, as Quell.dll counts them.
    version.dwMajorVersion = version.dwMinorVersion = version.dwBuildNumber = version.dwPlatformId = 0;
    host.GetVersionExA(&version);
    Cli cli(host, version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS, version);
    if (!cli.ansi && !UnicodeComplete(cli)) return ExitFailed;

    // One parser for both families, on the wide text; Windows 95/98/Me's
    // command line is ANSI.
    Text line{};
    if (cli.ansi) {
        const char *ansi = host.GetCommandLineA();
        int length = 0;
        while (ansi && ansi[length]) ++length;
        AppendAnsi(line, ansi, length);
    } else if (const wchar_t *wide = host.GetCommandLineW()) {
        Append(line, wide);
    }
    Append(line, L"", 0);
    auto values = static_cast<wchar_t **>(Grow(nullptr, (line.length + 2) * sizeof(wchar_t *)));
    auto chars = static_cast<wchar_t *>(Grow(nullptr, (line.length + 1) * sizeof(wchar_t)));
    int status = ExitFailed;
    if (line.data && values && chars) status = Run(cli, SplitCommandLine(line.data, values, chars), values);
    Release(chars);
    Release(values);
    Release(line.data);
    return status;
}
