// The system's shutdown request: a warning period, a message, a reason or
// another machine. Which call makes it is chosen by the system's version before
// anything is called, so that a dry run names the call that --yes makes, and a
// system that lacks what is asked answers "not available", never with a
// different action: the forwarders' own "not available" answers (1, or 0 with
// 120) are also answers that the system's functions may give.
#include "arguments.h"
#include "commands.h"
#include "latebound/system_libraries.h"
#include "text.h"

namespace {

constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;
constexpr DWORD NeedsWindows8 = SHUTDOWN_HYBRID | SHUTDOWN_RESTART_BOOTOPTIONS;

DWORD RequestFlags(const Request &request) {
    return request.command->shutdownFlags | (request.force ? Forced : 0) |
           (request.bootOptions ? SHUTDOWN_RESTART_BOOTOPTIONS : 0);
}

// The request options that make the system's request instead of the immediate export.
bool IsSystemRequest(const Request &request) {
    DWORD flags = request.command->shutdownFlags;
    if (!flags) return false;
    return (request.given & (OptionMachine | OptionDelay | OptionMessage | OptionReason | OptionBootOptions)) ||
           (request.force && !(flags & SHUTDOWN_FORCE_SELF));
}

bool Local(const Request &request) { return request.machine == nullptr; }

// The flags' names after "SHUTDOWN_", by bit.
const char *const FlagNames[] = {"FORCE_OTHERS", "FORCE_SELF", "RESTART", "POWEROFF", nullptr,       nullptr,
                                 nullptr,        "RESTARTAPPS", nullptr,  "HYBRID",   "RESTART_BOOTOPTIONS"};

void AppendQuoted(const Cli &cli, Text &text, const wchar_t *value) {
    if (!value) return Append(text, L"NULL");
    Format(cli, text, L"\"%s\"", value);
}

const wchar_t *Truth(bool value) { return value ? L"TRUE" : L"FALSE"; }

// AbortSystemShutdownW from the system directory's advapi32.dll; null when absent.
using AbortEntry = BOOL(WINAPI *)(LPWSTR machine);
AbortEntry LoadRemoteAbort(const Cli &cli, HMODULE &module) {
    char directory[MAX_PATH], path[MAX_PATH + 16];
    UINT length = cli.host.GetSystemDirectoryA(directory, MAX_PATH);
    AbortEntry entry = nullptr;
    module = FormSystemLibraryPath(directory, length, Advapi32Library.fileName, path) ? cli.host.LoadLibraryA(path)
                                                                                       : nullptr;
    if (module) ResolveEntry(cli.host.GetProcAddress(module, "AbortSystemShutdownW"), entry);
    return entry;
}

}  // namespace

Route ChooseRoute(const Cli &cli, const Request &request, const char *&missing) {
    const Command &command = *request.command;
    if (!command.shutdownFlags) {
        if (!request.machine) return Route::Immediate;
        missing = "AbortSystemShutdownW (Windows NT)";
        return cli.ansi ? Route::NotAvailable : Route::RemoteAbort;
    }
    if (!IsSystemRequest(request)) return Route::Immediate;
    const OSVERSIONINFOA &system = cli.version;
    DWORD version = system.dwPlatformId == VER_PLATFORM_WIN32_NT ? system.dwMajorVersion << 8 | system.dwMinorVersion
                                                                  : 0;
    DWORD flags = RequestFlags(request);
    missing = "SHUTDOWN_HYBRID and SHUTDOWN_RESTART_BOOTOPTIONS (Windows 8 and later)";
    if (flags & NeedsWindows8) return version >= 0x602 ? Route::InitiateShutdown : Route::NotAvailable;
    if (version >= 0x600) return Route::InitiateShutdown;
    missing = "InitiateShutdownW (Windows Vista and later)";
    if (flags & SHUTDOWN_RESTARTAPPS) return Route::NotAvailable;
    if (version >= 0x501) return Route::InitiateSystemShutdownEx;
    missing = "InitiateSystemShutdownExW (Windows XP and later)";
    return Local(request) && !(request.given & OptionReason) ? Route::LocalInit : Route::NotAvailable;
}

const char *RouteExportName(const Cli &cli, const Request &request, Route route) {
    bool reboot = RequestFlags(request) & SHUTDOWN_RESTART;
    switch (route) {
    case Route::InitiateShutdown: return "InitiateShutdownW";
    case Route::InitiateSystemShutdownEx: return "InitiateSystemShutdownExW";
    case Route::RemoteAbort: return "AbortSystemShutdownW";
    case Route::LocalInit:
        if (cli.ansi) return reboot ? "LocalInitSystemRebootA" : "LocalInitSystemShutdownA";
        return reboot ? "LocalInitSystemRebootW" : "LocalInitSystemShutdownW";
    default: return ExportName(cli, *request.command);
    }
}

void AppendRouteEffect(const Cli &cli, Text &text, const Request &request) {
    const Command &command = *request.command;
    DWORD flags = RequestFlags(request);
    if (!flags) {
        Append(text, command.effect);
        if (request.machine) Format(cli, text, L" on the machine %s", request.machine);
        return;
    }
    AppendAscii(text, flags & SHUTDOWN_HYBRID        ? "shut down for a fast start-up"
                      : flags & SHUTDOWN_RESTARTAPPS ? "reboot and restart the registered applications of"
                      : flags & SHUTDOWN_RESTART     ? "reboot"
                                                     : "shut down");
    if (request.machine) {
        Format(cli, text, L" the machine %s", request.machine);
    } else {
        Append(text, L" this machine");
    }
    if (request.bootOptions) Append(text, L" into the boot options menu");
    Format(cli, text, L" after %u seconds", request.delay);
    if (request.message) Format(cli, text, L", showing \"%s\" meanwhile", request.message);
    if (request.given & OptionReason) Format(cli, text, L", reason 0x%X", request.reason);
    if (flags & SHUTDOWN_FORCE_SELF) Append(text, L", closing applications without asking");
}

void AppendRouteCall(const Cli &cli, Text &text, const Request &request, Route route) {
    DWORD flags = RequestFlags(request);
    bool privilege = Local(request) && (route == Route::InitiateShutdown || route == Route::InitiateSystemShutdownEx);
    if (privilege) Append(text, L"WindowsNTPrivilegien(), then ");
    Format(cli, text, L"%S(", RouteExportName(cli, request, route));
    if (route != Route::LocalInit) AppendQuoted(cli, text, request.machine);
    if (route == Route::RemoteAbort) return Append(text, L")");
    if (route != Route::LocalInit) Append(text, L", ");
    AppendQuoted(cli, text, request.message);
    Format(cli, text, L", %u, ", request.delay);
    if (route == Route::InitiateShutdown) {
        const wchar_t *separator = L"";
        for (DWORD bit = 0; bit < sizeof FlagNames / sizeof FlagNames[0]; ++bit) {
            if (!(flags & 1u << bit)) continue;
            Format(cli, text, L"%sSHUTDOWN_%S", separator, FlagNames[bit]);
            separator = L" | ";
        }
    } else {
        Append(text, Truth(flags & SHUTDOWN_FORCE_SELF));
    }
    if (route == Route::InitiateSystemShutdownEx) Format(cli, text, L", %s", Truth(flags & SHUTDOWN_RESTART));
    if (route != Route::LocalInit) Format(cli, text, L", 0x%X", request.reason);
    Append(text, L")");
}

bool CallRoute(Cli &cli, const Request &request, Route route, const char *&name, LONG &result, DWORD &error,
               bool &done) {
    const QuellEntries &quell = cli.quell;
    DWORD flags = RequestFlags(request);
    BOOL force = (flags & SHUTDOWN_FORCE_SELF) ? TRUE : FALSE, reboot = (flags & SHUTDOWN_RESTART) ? TRUE : FALSE;
    auto machine = const_cast<wchar_t *>(request.machine);
    auto message = const_cast<wchar_t *>(request.message);
    bool present = true;
    name = RouteExportName(cli, request, route);
    if (route == Route::RemoteAbort) {
        HMODULE module = nullptr;
        AbortEntry entry = LoadRemoteAbort(cli, module);
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
        if (Local(request)) {
            name = "WindowsNTPrivilegien";
            if (!quell.WindowsNTPrivilegien) return false;
            SetLastError(0);
            result = quell.WindowsNTPrivilegien();
            error = GetLastError();
            if (!result) return (done = false), true;
            name = RouteExportName(cli, request, route);
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
