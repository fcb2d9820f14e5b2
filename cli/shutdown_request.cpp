// The system's shutdown request: a warning period, a message, a reason or
// another machine. Which call makes it is chosen by the system's version before
// anything is called, so that a dry run names the call that --yes makes, and a
// system that lacks what is asked answers "not available", never with a
// different action: the forwarders' own "not available" answers (1, or 0 with
// 120) are also answers that the system's functions may give.
#include "arguments.h"
#include "commands.h"
#include "latebound/system_libraries.h"
#include "load_quell.h"
#include "text.h"

namespace {

constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;
constexpr DWORD NeedsWindows8 = SHUTDOWN_HYBRID | SHUTDOWN_RESTART_BOOTOPTIONS;

__attribute__((always_inline)) inline DWORD RequestFlags(const Request &request) {
    return request.command->shutdownFlags | (request.force ? Forced : 0) |
           (request.bootOptions ? SHUTDOWN_RESTART_BOOTOPTIONS : 0);
}

// The flags' names after "SHUTDOWN_", by bit.
const char *const FlagNames[] = {
    "FORCE_OTHERS", "FORCE_SELF", "RESTART", "POWEROFF",           nullptr, nullptr, nullptr,
    "RESTARTAPPS",  nullptr,      "HYBRID",  "RESTART_BOOTOPTIONS"};

void AppendQuoted(const Cli &cli, Text &text, const wchar_t *value) {
    if (!value) return AppendAscii(text, "NULL");
    Format(cli, text, "\"%s\"", value);
}

const wchar_t *Truth(DWORD value) { return value ? L"TRUE" : L"FALSE"; }

using AbortEntry = BOOL(WINAPI *)(LPWSTR machine);

}  // namespace

Route ChooseRoute(const Cli &cli, const Request &request, const char *&name) {
    const Command &command = *request.command;
    DWORD flags = RequestFlags(request);
    name = command.exportName;
    if (!command.shutdownFlags) {
        if (!request.machine) return Route::Immediate;
        name = cli.ansi ? "AbortSystemShutdownW (Windows NT)" : "AbortSystemShutdownW";
        return cli.ansi ? Route::NotAvailable : Route::RemoteAbort;
    }
    // The immediate export, unless an option asks for more than it does.
    constexpr unsigned RequestOptions = OptionMachine | OptionDelay | OptionMessage | OptionReason | OptionBootOptions;
    bool asksMore =
        (request.given & RequestOptions) || (request.force && !(command.shutdownFlags & SHUTDOWN_FORCE_SELF));
    if (!asksMore) return Route::Immediate;
    const OSVERSIONINFOA &system = cli.version;
    DWORD version =
        system.dwPlatformId == VER_PLATFORM_WIN32_NT ? system.dwMajorVersion << 8 | system.dwMinorVersion : 0;
    name = "InitiateShutdownW";
    if (flags & NeedsWindows8) {
        if (version >= 0x602) return Route::InitiateShutdown;
        name = "SHUTDOWN_HYBRID and SHUTDOWN_RESTART_BOOTOPTIONS (Windows 8 and later)";
        return Route::NotAvailable;
    }
    if (version >= 0x600) return Route::InitiateShutdown;
    name = "InitiateShutdownW (Windows Vista and later)";
    if (flags & SHUTDOWN_RESTARTAPPS) return Route::NotAvailable;
    name = "InitiateSystemShutdownExW";
    if (version >= 0x501) return Route::InitiateSystemShutdownEx;
    bool reboot = flags & SHUTDOWN_RESTART;
    name = cli.ansi ? (reboot ? "LocalInitSystemRebootA" : "LocalInitSystemShutdownA")
                    : (reboot ? "LocalInitSystemRebootW" : "LocalInitSystemShutdownW");
    if (!request.machine && !(request.given & OptionReason)) return Route::LocalInit;
    name = "InitiateSystemShutdownExW (Windows XP and later)";
    return Route::NotAvailable;
}

void AppendRoute(const Cli &cli, Text &effect, Text &call, const Request &request, Route route, const char *name) {
    DWORD flags = RequestFlags(request);
    bool local = request.machine == nullptr;
    if (route == Route::RemoteAbort) {
        AppendAscii(effect, request.command->effect);
        Format(cli, effect, " on the machine %s", request.machine);
        return Format(cli, call, "%S(\"%s\")", name, request.machine);
    }
    AppendAscii(effect, flags & SHUTDOWN_HYBRID        ? "shut down for a fast start-up"
                        : flags & SHUTDOWN_RESTARTAPPS ? "reboot and restart the registered applications of"
                        : flags & SHUTDOWN_RESTART     ? "reboot"
                                                       : "shut down");
    if (local) {
        AppendAscii(effect, " this machine");
    } else {
        Format(cli, effect, " the machine %s", request.machine);
    }
    if (request.bootOptions) AppendAscii(effect, " into the boot options menu");
    Format(cli, effect, " after %u seconds", request.delay);
    if (request.message) Format(cli, effect, ", showing \"%s\" meanwhile", request.message);
    if (request.given & OptionReason) Format(cli, effect, ", reason 0x%X", request.reason);
    if (flags & SHUTDOWN_FORCE_SELF) AppendAscii(effect, ", closing applications without asking");

    if (local && route != Route::LocalInit) AppendAscii(call, "WindowsNTPrivilegien(), then ");
    Format(cli, call, "%S(", name);
    if (route != Route::LocalInit) {
        AppendQuoted(cli, call, request.machine);
        AppendAscii(call, ", ");
    }
    AppendQuoted(cli, call, request.message);
    Format(cli, call, ", %u, ", request.delay);
    if (route == Route::InitiateShutdown) {
        const wchar_t *separator = L"";
        for (DWORD bit = 0; bit < sizeof FlagNames / sizeof FlagNames[0]; ++bit) {
            if (!(flags & 1u << bit)) continue;
            Format(cli, call, "%sSHUTDOWN_%S", separator, FlagNames[bit]);
            separator = L" | ";
        }
    } else {
        Append(call, Truth(flags & SHUTDOWN_FORCE_SELF));
    }
    if (route == Route::InitiateSystemShutdownEx) Format(cli, call, ", %s", Truth(flags & SHUTDOWN_RESTART));
    if (route != Route::LocalInit) Format(cli, call, ", 0x%X", request.reason);
    AppendAscii(call, ")");
}

bool CallRoute(Cli &cli, const Request &request, Route route, const char *&name, LONG &result, DWORD &error,
               bool &done) {
    const QuellEntries &quell = cli.quell;
    DWORD flags = RequestFlags(request);
    BOOL force = (flags & SHUTDOWN_FORCE_SELF) ? TRUE : FALSE, reboot = (flags & SHUTDOWN_RESTART) ? TRUE : FALSE;
    auto machine = const_cast<wchar_t *>(request.machine);
    auto message = const_cast<wchar_t *>(request.message);
    bool present = true;
    if (route == Route::RemoteAbort) {
        // From the system directory's advapi32.dll.
        HMODULE module = LoadSystemLibrary(cli, Advapi32Library.fileName);
        AbortEntry entry = nullptr;
        if (module) ResolveEntry(cli.host.GetProcAddress(module, name), entry);
        SetLastError(0);
        if ((present = entry != nullptr)) result = entry(machine);
        error = GetLastError();
        if (module) cli.host.FreeLibrary(module);
    } else if (route == Route::LocalInit) {
        char *ansi = cli.ansi && message ? ToAnsi(message) : nullptr;
        SetLastError(0);
        if (cli.ansi) {
            auto entry = reboot ? quell.LocalInitSystemRebootA : quell.LocalInitSystemShutdownA;
            if ((present = entry != nullptr)) result = entry(ansi, request.delay, force);
        } else {
            auto entry = reboot ? quell.LocalInitSystemRebootW : quell.LocalInitSystemShutdownW;
            if ((present = entry != nullptr)) result = entry(message, request.delay, force);
        }
        error = GetLastError();
        Release(ansi);
    } else {
        bool initiate = route == Route::InitiateShutdown;
        if (initiate ? !quell.InitiateShutdownW : !quell.InitiateSystemShutdownExW) return false;
        // A local request needs the shutdown privilege enabled; a remote one the other machine's.
        if (!machine) {
            const char *call = name;
            name = "WindowsNTPrivilegien";
            if (!quell.WindowsNTPrivilegien) return false;
            result = Asked(error, quell.WindowsNTPrivilegien);
            if (!result) return (done = false), true;
            name = call;
        }
        SetLastError(0);
        if (initiate) {
            // It answers with an error code, 0 when the request was made.
            error = quell.InitiateShutdownW(machine, message, request.delay, flags, request.reason);
            result = static_cast<LONG>(error);
            return (done = error == ERROR_SUCCESS), true;
        }
        result = quell.InitiateSystemShutdownExW(machine, message, request.delay, force, reboot, request.reason);
        error = GetLastError();
    }
    done = result != 0;
    return present;
}
