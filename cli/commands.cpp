// The command table, the option table, reading the command line into a
// request, and the help text.
#include "commands.h"

#include "arguments.h"
#include "text.h"

namespace {

constexpr unsigned Confirmable = OptionYes;
constexpr unsigned TimedOptions = OptionYes | OptionForce;

const Command Commands[] = {
    {L"status", L"", L"report what this system and Quell.dll offer; changes nothing; --json: as JSON", Shape::Status,
     OptionJson},
    {L"logoff", L"", L"log the user off", Shape::Plain, Confirmable, "WindowsLogOnOff", &QuellEntries::WindowsLogOnOff},
    {L"force-logoff", L"", L"log the user off, closing applications without asking", Shape::Plain, Confirmable,
     "WindowsForceLogOnOff", &QuellEntries::WindowsForceLogOnOff},
    {L"shutdown", L"", L"shut down and power off this machine", Shape::Plain, Confirmable, "WindowsShutdown",
     &QuellEntries::WindowsShutdown},
    {L"force-shutdown", L"", L"shut down and power off this machine, closing applications without asking",
     Shape::Plain, Confirmable, "WindowsForceShutdown", &QuellEntries::WindowsForceShutdown},
    {L"reboot", L"", L"reboot this machine", Shape::Plain, Confirmable, "WindowsReboot", &QuellEntries::WindowsReboot},
    {L"force-reboot", L"", L"reboot this machine, closing applications without asking", Shape::Plain, Confirmable,
     "WindowsForceReboot", &QuellEntries::WindowsForceReboot},
    {L"restart-apps", L"", L"end the session and restart the registered applications (a log-off before Vista)",
     Shape::Plain, Confirmable, "WindowsRestartApps", &QuellEntries::WindowsRestartApps},
    {L"hybrid", L"", L"shut down for a fast start-up (a power-off before Windows 8)", Shape::Plain, Confirmable,
     "WindowsHybridShutdown", &QuellEntries::WindowsHybridShutdown},
    {L"timed-shutdown", L"SECONDS [MESSAGE] [--force]",
     L"shut down this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     Shape::TimedShutdown, TimedOptions, "LocalInitSystemShutdownW", nullptr, "LocalInitSystemShutdownA"},
    {L"timed-reboot", L"SECONDS [MESSAGE] [--force]",
     L"reboot this machine after SECONDS, showing MESSAGE meanwhile; --force closes applications without asking",
     Shape::TimedReboot, TimedOptions, "LocalInitSystemRebootW", nullptr, "LocalInitSystemRebootA"},
    {L"abort", L"", L"abort a timed shutdown or reboot", Shape::Plain, Confirmable, "LocalAbortSystemShutdown",
     &QuellEntries::LocalAbortSystemShutdown},
    {L"standby", L"", L"put this machine into standby", Shape::Plain, Confirmable, "WindowsStandby",
     &QuellEntries::WindowsStandby},
    {L"hibernate", L"", L"hibernate this machine", Shape::Plain, Confirmable, "WindowsHibernate",
     &QuellEntries::WindowsHibernate},
    {L"lock", L"", L"lock the workstation", Shape::Plain, Confirmable, "LockWorkStation",
     &QuellEntries::LockWorkStation},
    {L"restart-dialog", L"[PROMPT]", L"show the shell's dialog that asks to restart, with PROMPT",
     Shape::RestartDialog, Confirmable, "RestartDialog"},
    {L"shutdown-dialog", L"", L"show the shell's shut-down dialog", Shape::ShutdownDialog, Confirmable,
     "ShutdownDialog"},
    {L"msdos", L"", L"restart into MS-DOS mode (Windows 95/98/Me)", Shape::Plain, Confirmable, "WindowsMsDosModus",
     &QuellEntries::WindowsMsDosModus},
    {L"help", L"", L"show this text (also --help, -h, /?)", Shape::Help, 0},
    {L"--version", L"", L"show the versions of quell.exe and Quell.dll", Shape::Version, 0, "DllGetVersion"},
    {L"blockers", L"[--json]",
     L"list the windows that hold a shutdown block reason",
     Shape::Blockers, OptionJson, "ShutdownBlockReasonQuery"},
};

const Option Options[] = {
    {L"--yes", OptionYes, false},
    {L"--force", OptionForce, false},
    {L"--json", OptionJson, false},
};

// Files an option's value (null for a flag) in the request; ExitSuccess or a
// usage error.
int StoreOption(const Cli &, const Option &option, const wchar_t *, Request &request) {
    switch (option.bit) {
    case OptionYes: request.yes = true; break;
    case OptionForce: request.force = true; break;
    case OptionJson: request.json = true; break;
    default: break;
    }
    return ExitSuccess;
}

int MaxOperands(Shape shape) {
    if (IsTimed(shape)) return 2;
    return shape == Shape::RestartDialog ? 1 : 0;
}

// Files the operands under the options that mean the same.
int StoreOperands(const Cli &cli, int count, wchar_t **operands, Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::RestartDialog && count) request.message = operands[0];
    if (!IsTimed(command.shape)) return ExitSuccess;
    if (!count) return UsageError(cli, L"%s needs SECONDS", command.name);
    if (!ParseSeconds(operands[0], request.delay)) {
        return UsageError(cli, L"%s: SECONDS must be a whole number from 0 to 4294967295, not '%s'", command.name,
                          operands[0]);
    }
    request.given |= OptionDelay;
    if (count > 1) request.message = operands[1];
    return ExitSuccess;
}

const Command *FindCommand(const wchar_t *name) {
    for (const Command &command : Commands) {
        if (SameName(name, command.name)) return &command;
    }
    return nullptr;
}

// The standard shutdown command's syntax (a first argument starting with '/',
// other than /?) fills the same request, with yes set as that command needs no
// confirmation. None of its switches is read yet.
int ParseSwitches(const Cli &cli, int, wchar_t **argv, Request &) {
    return UsageError(cli, L"unknown command '%s'", argv[1]);
}

}  // namespace

const char *ExportName(const Cli &cli, const Command &command) {
    return cli.ansi && command.ansiExportName ? command.ansiExportName : command.exportName;
}

bool IsTimed(Shape shape) { return shape == Shape::TimedShutdown || shape == Shape::TimedReboot; }

int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    if (argc < 2) return UsageError(cli, L"no command given");
    const wchar_t *name = argv[1];
    // The switches' parser reads its own operands (a /c comment may be "-h").
    if (name[0] == L'/' && !SameName(name, L"/?")) return ParseSwitches(cli, argc, argv, request);
    for (int i = 1; i < argc && !SameName(argv[i], L"--"); ++i) {
        if (!IsHelpFlag(argv[i])) continue;
        request.command = FindCommand(L"help");
        return ExitSuccess;
    }
    request.command = FindCommand(name);
    if (!request.command) return UsageError(cli, L"unknown command '%s'", name);

    const Command &command = *request.command;
    wchar_t *operands[2];
    int operandCount = 0;
    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t *arg = argv[i];
        // "-5" is a number, not an option: SECONDS then says what is wrong with it.
        bool isOption = !operandsOnly && arg[0] == L'-' && arg[1] != L'\0' && !IsDigit(arg[1]);
        if (isOption && SameName(arg, L"--")) {
            operandsOnly = true;
            continue;
        }
        if (isOption) {
            const Option *option = nullptr;
            for (const Option &known : Options) {
                if (SameName(arg, known.name) && (command.options & known.bit)) option = &known;
            }
            if (!option) return UsageError(cli, L"%s: unknown option '%s'", command.name, arg);
            const wchar_t *value = nullptr;
            if (option->takesValue) {
                if (i + 1 == argc) return UsageError(cli, L"%s: %s needs a value", command.name, option->name);
                value = argv[++i];
            }
            request.given |= option->bit;
            if (int status = StoreOption(cli, *option, value, request)) return status;
        } else if (operandCount < MaxOperands(command.shape)) {
            operands[operandCount++] = arg;
        } else {
            return UsageError(cli, L"%s: unexpected argument '%s'", command.name, arg);
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
    Append(text, L"Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                 L"Ends the Windows session or changes the power state through Quell.dll.\n"
                 L"Commands and options may be written in any case.\n\n"
                 L"Commands:\n");
    for (const Command &command : Commands) {
        Format(cli, text, L"  %s%s%s\n      %s", command.name, *command.arguments ? L" " : L"", command.arguments,
               command.effect);
        if (command.exportName) Format(cli, text, L" (%S)", ExportName(cli, command));
        Append(text, L"\n");
    }
    Append(text, L"\nEvery command but status, blockers, --version and help changes the session and does nothing\n"
                 L"without --yes: it then says which export it would call, with which arguments.\n"
                 L"Exit status: 0 done, 1 the system refused or failed (its error is printed),\n"
                 L"2 usage error or --yes missing, 3 Quell.dll missing, not loadable or lacking the export.\n");
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}
