// quell: one subcommand per operation of Quell.dll, plus a status report of the
// harmless answers. Operations that change the session run only with --yes.
#include "quell_cli.h"

#include <shlwapi.h>

#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

enum class Shape { Plain, Timed, RestartDialog, ShutdownDialog };

using PlainEntry = BOOL(WINAPI *)();
using TimedEntry = QuellProc_LocalInitSystemShutdownW;

struct Command {
    const wchar_t *name;
    const wchar_t *arguments;  // after the name, for the help text
    const wchar_t *effect;     // what it does, completing "would ..."
    const char *exportName;
    Shape shape;
    PlainEntry QuellEntries::*plain;
    TimedEntry QuellEntries::*timed;
};

const Command Commands[] = {
    {L"logoff", L"", L"log the user off", "WindowsLogOnOff", Shape::Plain, &QuellEntries::WindowsLogOnOff, nullptr},
    {L"force-logoff", L"", L"log the user off, closing applications without asking", "WindowsForceLogOnOff",
     Shape::Plain, &QuellEntries::WindowsForceLogOnOff, nullptr},
    {L"shutdown", L"", L"shut down and power off this machine", "WindowsShutdown", Shape::Plain,
     &QuellEntries::WindowsShutdown, nullptr},
    {L"force-shutdown", L"", L"shut down and power off this machine, closing applications without asking",
     "WindowsForceShutdown", Shape::Plain, &QuellEntries::WindowsForceShutdown, nullptr},
    {L"reboot", L"", L"reboot this machine", "WindowsReboot", Shape::Plain, &QuellEntries::WindowsReboot, nullptr},
    {L"force-reboot", L"", L"reboot this machine, closing applications without asking", "WindowsForceReboot",
     Shape::Plain, &QuellEntries::WindowsForceReboot, nullptr},
    {L"restart-apps", L"", L"end the session and restart the registered applications (a log-off before Vista)",
     "WindowsRestartApps", Shape::Plain, &QuellEntries::WindowsRestartApps, nullptr},
    {L"hybrid", L"", L"shut down for a fast start-up (a power-off before Windows 8)", "WindowsHybridShutdown",
     Shape::Plain, &QuellEntries::WindowsHybridShutdown, nullptr},
    {L"timed-shutdown", L"SECONDS [MESSAGE] [--force]",
     L"shut down this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     "LocalInitSystemShutdownW", Shape::Timed, nullptr, &QuellEntries::LocalInitSystemShutdownW},
    {L"timed-reboot", L"SECONDS [MESSAGE] [--force]",
     L"reboot this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     "LocalInitSystemRebootW", Shape::Timed, nullptr, &QuellEntries::LocalInitSystemRebootW},
    {L"abort", L"", L"abort a timed shutdown or reboot", "LocalAbortSystemShutdown", Shape::Plain,
     &QuellEntries::LocalAbortSystemShutdown, nullptr},
    {L"standby", L"", L"put this machine into standby", "WindowsStandby", Shape::Plain,
     &QuellEntries::WindowsStandby, nullptr},
    {L"hibernate", L"", L"hibernate this machine", "WindowsHibernate", Shape::Plain, &QuellEntries::WindowsHibernate,
     nullptr},
    {L"lock", L"", L"lock the workstation", "LockWorkStation", Shape::Plain, &QuellEntries::LockWorkStation,
     nullptr},
    {L"restart-dialog", L"[PROMPT]", L"show the shell's dialog that asks to restart, with PROMPT", "RestartDialog",
     Shape::RestartDialog, nullptr, nullptr},
    {L"shutdown-dialog", L"", L"show the shell's shut-down dialog", "ShutdownDialog", Shape::ShutdownDialog, nullptr,
     nullptr},
    {L"msdos", L"", L"restart into MS-DOS mode (Windows 95/98/Me)", "WindowsMsDosModus", Shape::Plain,
     &QuellEntries::WindowsMsDosModus, nullptr},
};

// Late-bound entries that Quell.dll forwards to, as the status report lists them.
struct SystemEntry {
    const char *library;
    const char *name;  // null: by ordinal
    WORD ordinal;
    const wchar_t *label;
};

const SystemEntry SystemEntries[] = {
    {"user32.dll", "LockWorkStation", 0, L"LockWorkStation"},
    {"user32.dll", "ShutdownBlockReasonCreate", 0, L"ShutdownBlockReasonCreate"},
    {"user32.dll", "ShutdownBlockReasonDestroy", 0, L"ShutdownBlockReasonDestroy"},
    {"user32.dll", "ShutdownBlockReasonQuery", 0, L"ShutdownBlockReasonQuery"},
    {"advapi32.dll", "InitiateSystemShutdownExA", 0, L"InitiateSystemShutdownExA"},
    {"advapi32.dll", "InitiateSystemShutdownExW", 0, L"InitiateSystemShutdownExW"},
    {"advapi32.dll", "InitiateShutdownA", 0, L"InitiateShutdownA"},
    {"advapi32.dll", "InitiateShutdownW", 0, L"InitiateShutdownW"},
    {"shell32.dll", nullptr, 59, L"#59 (RestartDialog)"},
    {"shell32.dll", nullptr, 60, L"#60 (ShutdownDialog)"},
    {"powrprof.dll", "IsPwrSuspendAllowed", 0, L"IsPwrSuspendAllowed"},
    {"powrprof.dll", "IsPwrHibernateAllowed", 0, L"IsPwrHibernateAllowed"},
    {"powrprof.dll", "SetSuspendState", 0, L"SetSuspendState"},
    {"powrprof.dll", "GetPwrCapabilities", 0, L"GetPwrCapabilities"},
};

std::wstring Format(const wchar_t *format, ...) {
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    std::vswprintf(buffer, sizeof buffer / sizeof buffer[0], format, args);
    va_end(args);
    return buffer;
}

std::wstring LastErrorText(DWORD error) {
    return Format(L"last error %lu (%ls)", static_cast<unsigned long>(error), SystemMessage(error).c_str());
}

void PrintHelp(const CliHost &host) {
    std::wstring text =
        L"Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
        L"Ends the Windows session or changes the power state through Quell.dll.\n\n"
        L"Commands:\n"
        L"  status\n      report what this system and Quell.dll offer; changes nothing\n";
    for (const Command &command : Commands) {
        text += Format(L"  %ls%ls%ls\n      %ls (%hs)\n", command.name, *command.arguments ? L" " : L"",
                       command.arguments, command.effect, command.exportName);
    }
    text +=
        L"  help, --help, /?\n      show this text\n\n"
        L"Every command but status and help changes the session and does nothing without --yes.\n"
        L"Exit status: 0 done, 1 the operation failed, 2 usage error or --yes missing.\n";
    host.print(text);
}

int UsageError(const CliHost &host, const std::wstring &message) {
    host.printError(L"quell: " + message + L"\nTry 'quell --help'.\n");
    return ExitUsage;
}

bool IsHelpFlag(const wchar_t *arg) {
    return !std::wcscmp(arg, L"--help") || !std::wcscmp(arg, L"-h") || !std::wcscmp(arg, L"/?");
}

// A delay in seconds: decimal digits only, within 32 bits.
bool ParseSeconds(const wchar_t *text, DWORD &seconds) {
    if (!*text) return false;
    unsigned long long value = 0;
    for (const wchar_t *c = text; *c; ++c) {
        if (*c < L'0' || *c > L'9') return false;
        value = value * 10 + static_cast<unsigned>(*c - L'0');
        if (value > 0xFFFFFFFFull) return false;
    }
    seconds = static_cast<DWORD>(value);
    return true;
}

bool LibraryReady(const CliHost &host) {
    if (host.loadError == 0) return true;
    host.printError(L"quell: Quell.dll could not be loaded: " + LastErrorText(host.loadError) + L"\n");
    return false;
}

// ---- status ----------------------------------------------------------------

void StatusLine(std::wstring &out, const wchar_t *question, const std::wstring &answer, const std::wstring &detail) {
    out += Format(L"  %-36ls %-8ls %ls\n", question, answer.c_str(), detail.c_str());
}

std::wstring Missing(const char *exportName) { return Format(L"%hs missing from Quell.dll", exportName); }

template <typename Entry>
void BooleanStatus(std::wstring &out, const wchar_t *question, const char *exportName, Entry entry) {
    if (!entry) return StatusLine(out, question, L"?", Missing(exportName));
    SetLastError(0);
    LONG result = static_cast<LONG>(entry());
    DWORD error = GetLastError();
    StatusLine(out, question, result ? L"yes" : L"no",
               Format(L"%hs = %ld, %ls", exportName, static_cast<long>(result), LastErrorText(error).c_str()));
}

void VersionStatus(std::wstring &out, const QuellEntries &quell) {
    const wchar_t *question = L"version of Quell.dll";
    if (!quell.DllGetVersion) return StatusLine(out, question, L"?", Missing("DllGetVersion"));
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    SetLastError(0);
    HRESULT result = quell.DllGetVersion(&version);
    DWORD error = GetLastError();
    std::wstring answer = result == S_OK ? Format(L"%lu.%lu.%lu", version.dwMajorVersion, version.dwMinorVersion,
                                                  version.dwBuildNumber)
                                         : L"unknown";
    std::wstring detail = Format(L"DllGetVersion = 0x%08lX", static_cast<unsigned long>(result));
    if (result == S_OK) detail += Format(L" (platform %lu)", version.dwPlatformID);
    StatusLine(out, question, answer, detail + L", " + LastErrorText(error));
}

void CapabilitiesStatus(std::wstring &out, const QuellEntries &quell) {
    const wchar_t *question = L"power capabilities readable";
    if (!quell.GetPwrCapabilities) return StatusLine(out, question, L"?", Missing("GetPwrCapabilities"));
    SYSTEM_POWER_CAPABILITIES capabilities{};
    SetLastError(0);
    BOOLEAN result = quell.GetPwrCapabilities(&capabilities);
    DWORD error = GetLastError();
    std::wstring detail = Format(L"GetPwrCapabilities = %u", static_cast<unsigned>(result));
    if (result) {
        detail += Format(L" (S1 %u, S2 %u, S3 %u, S4 %u, hibernation file %u)", capabilities.SystemS1,
                         capabilities.SystemS2, capabilities.SystemS3, capabilities.SystemS4,
                         capabilities.HiberFilePresent);
    }
    StatusLine(out, question, result ? L"yes" : L"no", detail + L", " + LastErrorText(error));
}

int Status(const CliHost &host) {
    if (!LibraryReady(host)) return ExitFailed;
    const QuellEntries &quell = host.quell;
    std::wstring out = L"Quell.dll\n";
    BooleanStatus(out, L"NT-family system", "CheckWindowsNT", quell.CheckWindowsNT);
    BooleanStatus(out, L"user name readable", "CheckUserName", quell.CheckUserName);
    BooleanStatus(out, L"shutdown privilege obtainable", "WindowsNTPrivilegien", quell.WindowsNTPrivilegien);
    VersionStatus(out, quell);
    BooleanStatus(out, L"standby possible", "CheckSystemPowerStatus", quell.CheckSystemPowerStatus);
    BooleanStatus(out, L"suspend allowed", "IsPwrSuspendAllowed", quell.IsPwrSuspendAllowed);
    BooleanStatus(out, L"hibernation allowed", "IsPwrHibernateAllowed", quell.IsPwrHibernateAllowed);
    CapabilitiesStatus(out, quell);
    BooleanStatus(out, L"MS-DOS mode shortcut present", "CheckMsDosModus", quell.CheckMsDosModus);
    out += L"System entries that Quell.dll forwards to (looked up, not called)\n";
    for (const SystemEntry &entry : SystemEntries) {
        bool offered = host.systemOffers(entry.library, entry.name, entry.ordinal);
        out += Format(L"  %-14hs %-30ls %ls\n", entry.library, entry.label, offered ? L"offered" : L"missing");
    }
    host.print(out);
    return ExitSuccess;
}

// ---- operations --------------------------------------------------------------

struct Request {
    const Command *command = nullptr;
    bool yes = false;
    bool force = false;
    std::vector<wchar_t *> operands;
};

size_t MaxOperands(Shape shape) {
    switch (shape) {
    case Shape::Timed: return 2;
    case Shape::RestartDialog: return 1;
    default: return 0;
    }
}

std::wstring RequestedEffect(const Request &request, DWORD seconds) {
    const Command &command = *request.command;
    if (command.shape != Shape::Timed) return command.effect;
    const wchar_t *verb = command.timed == &QuellEntries::LocalInitSystemRebootW ? L"reboot" : L"shut down";
    std::wstring effect = Format(L"%ls this machine after %lu seconds", verb, static_cast<unsigned long>(seconds));
    if (request.operands.size() > 1) effect += Format(L", showing \"%ls\" meanwhile", request.operands[1]);
    if (request.force) effect += L", closing applications without asking";
    return effect;
}

int Perform(const CliHost &host, const Request &request) {
    const Command &command = *request.command;
    DWORD seconds = 0;
    if (command.shape == Shape::Timed) {
        if (request.operands.empty()) return UsageError(host, Format(L"%ls needs SECONDS", command.name));
        if (!ParseSeconds(request.operands[0], seconds)) {
            return UsageError(host, Format(L"%ls: SECONDS must be a whole number from 0 to 4294967295, not '%ls'",
                                           command.name, request.operands[0]));
        }
    }
    if (!request.yes) {
        host.printError(Format(L"quell %ls: would %ls (%hs). Nothing done: add --yes to do it.\n", command.name,
                               RequestedEffect(request, seconds).c_str(), command.exportName));
        return ExitUsage;
    }
    if (!LibraryReady(host)) return ExitFailed;

    const QuellEntries &quell = host.quell;
    bool present = false;
    LONG result = 0;
    SetLastError(0);
    switch (command.shape) {
    case Shape::Plain:
        if ((present = quell.*command.plain != nullptr)) result = (quell.*command.plain)();
        break;
    case Shape::Timed:
        if ((present = quell.*command.timed != nullptr)) {
            LPWSTR message = request.operands.size() > 1 ? request.operands[1] : nullptr;
            result = (quell.*command.timed)(message, seconds, request.force ? TRUE : FALSE);
        }
        break;
    case Shape::RestartDialog:
        if ((present = quell.RestartDialog != nullptr)) {
            LPCWSTR prompt = request.operands.empty() ? nullptr : request.operands[0];
            result = quell.RestartDialog(nullptr, prompt, EWX_REBOOT);
        }
        break;
    case Shape::ShutdownDialog:
        if ((present = quell.ShutdownDialog != nullptr)) result = quell.ShutdownDialog(nullptr);
        break;
    }
    DWORD error = GetLastError();
    if (!present) {
        host.printError(L"quell: " + Missing(command.exportName) + L"\n");
        return ExitFailed;
    }
    std::wstring line = Format(L"%hs = %ld, %ls\n", command.exportName, static_cast<long>(result),
                               LastErrorText(error).c_str());
    if (result == 0) {
        host.printError(line + Format(L"quell %ls: failed\n", command.name));
        return ExitFailed;
    }
    host.print(line);
    return ExitSuccess;
}

}  // namespace

std::wstring SystemMessage(DWORD error) {
    wchar_t *text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    std::wstring message = length ? std::wstring(text, length) : L"no message text";
    if (text) LocalFree(text);
    while (!message.empty() && std::iswspace(message.back())) message.pop_back();
    return message;
}

int RunCli(int argc, wchar_t **argv, const CliHost &host) {
    if (argc < 2) return UsageError(host, L"no command given");
    for (int i = 1; i < argc; ++i) {
        if (IsHelpFlag(argv[i])) {
            PrintHelp(host);
            return ExitSuccess;
        }
    }
    const wchar_t *name = argv[1];
    if (!std::wcscmp(name, L"help")) {
        if (argc > 2) return UsageError(host, L"help takes no arguments");
        PrintHelp(host);
        return ExitSuccess;
    }
    if (!std::wcscmp(name, L"status")) {
        if (argc > 2) return UsageError(host, Format(L"status takes no arguments, not '%ls'", argv[2]));
        return Status(host);
    }

    Request request;
    for (const Command &command : Commands) {
        if (!std::wcscmp(name, command.name)) request.command = &command;
    }
    if (!request.command) return UsageError(host, Format(L"unknown command '%ls'", name));

    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t *arg = argv[i];
        if (!operandsOnly && !std::wcscmp(arg, L"--")) {
            operandsOnly = true;
        } else if (!operandsOnly && !std::wcscmp(arg, L"--yes")) {
            request.yes = true;
        } else if (!operandsOnly && !std::wcscmp(arg, L"--force") && request.command->shape == Shape::Timed) {
            request.force = true;
        } else if (!operandsOnly && arg[0] == L'-' && arg[1] != L'\0') {
            return UsageError(host, Format(L"%ls: unknown option '%ls'", name, arg));
        } else if (request.operands.size() < MaxOperands(request.command->shape)) {
            request.operands.push_back(arg);
        } else {
            return UsageError(host, Format(L"%ls: unexpected argument '%ls'", name, arg));
        }
    }
    return Perform(host, request);
}
