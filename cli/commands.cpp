// The command table, the option table, reading the command line into a
// request, and the help text.
#include "commands.h"

#include "arguments.h"
#include "text.h"

namespace {

constexpr unsigned Confirmable = OptionYes;
constexpr unsigned RequestOptions =
    OptionYes | OptionForce | OptionMachine | OptionDelay | OptionMessage | OptionReason;
constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;

const Command Commands[] = {
    {"status", "", "report what this system and Quell.dll offer; changes nothing; --json: as JSON", Shape::Status,
     OptionJson},
    {"logoff", "", "log the user off", Shape::Plain, Confirmable, "WindowsLogOnOff", &QuellEntries::WindowsLogOnOff},
    {"force-logoff", "", "log the user off, closing applications without asking", Shape::Plain, Confirmable,
     "WindowsForceLogOnOff", &QuellEntries::WindowsForceLogOnOff},
    {"shutdown", "[OPTIONS]", "shut down and power off this machine", Shape::Plain, RequestOptions, "WindowsShutdown",
     &QuellEntries::WindowsShutdown, SHUTDOWN_POWEROFF},
    {"force-shutdown", "[OPTIONS]", "shut down and power off this machine, closing applications without asking",
     Shape::Plain, RequestOptions, "WindowsForceShutdown", &QuellEntries::WindowsForceShutdown,
     SHUTDOWN_POWEROFF | Forced},
    {"reboot", "[OPTIONS]", "reboot this machine", Shape::Plain, RequestOptions | OptionBootOptions, "WindowsReboot",
     &QuellEntries::WindowsReboot, SHUTDOWN_RESTART},
    {"force-reboot", "[OPTIONS]", "reboot this machine, closing applications without asking", Shape::Plain,
     RequestOptions | OptionBootOptions, "WindowsForceReboot", &QuellEntries::WindowsForceReboot,
     SHUTDOWN_RESTART | Forced},
    {"restart-apps", "[OPTIONS]", "end the session and restart the registered applications (a log-off before Vista)",
     Shape::Plain, RequestOptions, "WindowsRestartApps", &QuellEntries::WindowsRestartApps,
     SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS},
    {"hybrid", "[OPTIONS]", "shut down for a fast start-up (a power-off before Windows 8)", Shape::Plain,
     RequestOptions, "WindowsHybridShutdown", &QuellEntries::WindowsHybridShutdown,
     SHUTDOWN_POWEROFF | SHUTDOWN_HYBRID},
    {"timed-shutdown", "SECONDS [MESSAGE] [OPTIONS]", "as shutdown --delay SECONDS --message MESSAGE",
     Shape::TimedShutdown, RequestOptions, nullptr, nullptr, SHUTDOWN_POWEROFF},
    {"timed-reboot", "SECONDS [MESSAGE] [OPTIONS]", "as reboot --delay SECONDS --message MESSAGE", Shape::TimedReboot,
     RequestOptions, nullptr, nullptr, SHUTDOWN_RESTART},
    {"abort", "[--machine NAME]", "abort a timed shutdown or reboot", Shape::Plain, Confirmable | OptionMachine,
     "LocalAbortSystemShutdown", &QuellEntries::LocalAbortSystemShutdown},
    {"standby", "", "put this machine into standby", Shape::Plain, Confirmable, "WindowsStandby",
     &QuellEntries::WindowsStandby},
    {"hibernate", "", "hibernate this machine", Shape::Plain, Confirmable, "WindowsHibernate",
     &QuellEntries::WindowsHibernate},
    {"lock", "", "lock the workstation", Shape::Plain, Confirmable, "LockWorkStation", &QuellEntries::LockWorkStation},
    {"restart-dialog", "[PROMPT]", "show the shell's dialog that asks to restart, with PROMPT", Shape::RestartDialog,
     Confirmable, "RestartDialog"},
    {"shutdown-dialog", "", "show the shell's shut-down dialog", Shape::ShutdownDialog, Confirmable, "ShutdownDialog"},
    {"msdos", "", "restart into MS-DOS mode (Windows 95/98/Me)", Shape::Plain, Confirmable, "WindowsMsDosModus",
     &QuellEntries::WindowsMsDosModus},
    {"help", "", "show this text (also --help, -h, /?)", Shape::Help, 0},
    {"--version", "", "show the versions of quell.exe and Quell.dll", Shape::Version, 0, "DllGetVersion"},
    {"blockers", "[--json]", "list the windows that hold a shutdown block reason", Shape::Blockers, OptionJson,
     "ShutdownBlockReasonQuery"},
};

const Option Options[] = {
    {"--yes", OptionYes, false},
    {"--force", OptionForce, false},
    {"--machine", OptionMachine, true},
    {"--delay", OptionDelay, true},
    {"--message", OptionMessage, true},
    {"--reason", OptionReason, true},
    {"--boot-options", OptionBootOptions, false},
    {"--json", OptionJson, false},
};

int MaxOperands(Shape shape) {
    if (IsTimed(shape)) return 2;
    return shape == Shape::RestartDialog ? 1 : 0;
}

// Files the operands under the options that mean the same.
int StoreOperands(const Cli &cli, int count, wchar_t **operands, Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::RestartDialog && count) request.message = operands[0];
    if (!IsTimed(command.shape)) return ExitSuccess;
    if (!count) return UsageError(cli, "%S needs SECONDS", command.name);
    if (count > 1) request.message = operands[1];
    return StoreOption(cli, {"SECONDS", OptionDelay, true}, operands[0], request);
}

}  // namespace

const Command *FindCommand(const wchar_t *name) {
    for (const Command &command : Commands) {
        if (SameName(name, command.name)) return &command;
    }
    return nullptr;
}

int StoreOption(const Cli &cli, const Option &option, const wchar_t *value, Request &request) {
    request.given |= option.bit;
    switch (option.bit) {
    case OptionYes: request.yes = true; break;
    case OptionForce: request.force = true; break;
    case OptionBootOptions: request.bootOptions = true; break;
    case OptionJson: request.json = true; break;
    case OptionMessage: request.message = value; break;
    case OptionMachine:
        // \\NAME or NAME: the system takes the name alone.
        while (*value == L'\\') ++value;
        if (!*value) return UsageError(cli, "%S needs a computer name", option.name);
        request.machine = value;
        break;
    case OptionDelay:
        if (!ParseSeconds(value, MaxDelay, request.delay)) {
            return UsageError(cli, "%S must be a whole number from 0 to 315360000, not '%s'", option.name, value);
        }
        break;
    case OptionReason:
        if (!ParseReason(value, request.reason)) {
            return UsageError(cli, "%S must be [p:|u:]MAJOR:MINOR, MAJOR 0 to 255, MINOR 0 to 65535, not '%s'",
                              option.name, value);
        }
        break;
    default: break;
    }
    return ExitSuccess;
}

bool IsTimed(Shape shape) { return shape == Shape::TimedShutdown || shape == Shape::TimedReboot; }

int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    if (argc < 2) return UsageError(cli, "no command given");
    const wchar_t *name = argv[1];
    // The switches' parser reads its own operands (a /c comment may be "-h").
    if (name[0] == L'/' && !SameName(name, "/?")) return ParseSwitches(cli, argc, argv, request);
    for (int i = 1; i < argc && !SameName(argv[i], "--"); ++i) {
        if (!IsHelpFlag(argv[i])) continue;
        request.command = FindCommand(L"help");
        return ExitSuccess;
    }
    request.command = FindCommand(name);
    if (!request.command) return UsageError(cli, "unknown command '%s'", name);

    const Command &command = *request.command;
    wchar_t *operands[2];
    int operandCount = 0;
    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t *arg = argv[i];
        // "-5" is a number, not an option: SECONDS then says what is wrong with it.
        bool isOption = !operandsOnly && arg[0] == L'-' && arg[1] != L'\0' && !IsDigit(arg[1]);
        if (isOption && SameName(arg, "--")) {
            operandsOnly = true;
            continue;
        }
        if (isOption) {
            const Option *option = nullptr;
            for (const Option &known : Options) {
                if (SameName(arg, known.name) && (command.options & known.bit)) option = &known;
            }
            if (!option) return UsageError(cli, "%S: unknown option '%s'", command.name, arg);
            const wchar_t *value = nullptr;
            if (option->takesValue) {
                if (i + 1 == argc) return UsageError(cli, "%S: %S needs a value", command.name, option->name);
                value = argv[++i];
            }
            if (int status = StoreOption(cli, *option, value, request)) return status;
        } else if (operandCount < MaxOperands(command.shape)) {
            operands[operandCount++] = arg;
        } else {
            return UsageError(cli, "%S: unexpected argument '%s'", command.name, arg);
        }
    }
    return StoreOperands(cli, operandCount, operands, request);
}

int Execute(Cli &cli, const Request &request) {
    switch (request.command->shape) {
    case Shape::Help: PrintHelp(cli); return ExitSuccess;
    case Shape::Status: return Status(cli, request.json);
    case Shape::Version: return Version(cli);
    case Shape::Blockers: return Blockers(cli, request.json);
    default: return Perform(cli, request);
    }
}

void PrintHelp(const Cli &cli) {
    Text text{};
    AppendAscii(text, "Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                      "Ends the Windows session or changes the power state through Quell.dll.\n"
                      "Commands and options may be written in any case.\n\n"
                      "Commands:\n");
    for (const Command &command : Commands) {
        Format(cli, text, "  %S%S%S\n      %S", command.name, *command.arguments ? " " : "", command.arguments,
               command.effect);
        if (command.exportName) Format(cli, text, " (%S)", command.exportName);
        AppendAscii(text, "\n");
    }
    AppendAscii(text, "\nOPTIONS: --machine NAME, --delay SECONDS (up to 315360000), --message TEXT,\n"
                      "--reason [p:|u:]MAJOR:MINOR, --force, reboot's --boot-options.\n"
                      "All but --force make the system's shutdown request.\n"
                      "The standard shutdown command's syntax, without --yes: quell /s|/r|/g|/l|/h|/p|/a [/hybrid]\n"
                      "[/o] [/f] [/t xxx] [/c \"comment\"] [/d [p:|u:]xx:yy] [/m \\\\computer]\n");
    AppendAscii(text, "\nEvery command but status, blockers, --version and help changes the session and does nothing\n"
                      "without --yes: it then says which export it would call, with which arguments.\n"
                      "Exit status: 0 done, 1 the system refused or failed (its error is printed),\n"
                      "2 usage error or --yes missing, 3 Quell.dll missing, not loadable or lacking the export.\n");
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}
