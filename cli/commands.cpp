// The command table, the option table, reading the command line into a
// request, and the help text, printed from the same rows.
#include "commands.h"

#include "arguments.h"
#include "messages.h"
#include "moment.h"

namespace {

constexpr unsigned RequestOptions =
    OptionYes | OptionForce | OptionMachine | OptionMessage | OptionReason | WhenOptions;
// What an action that the system's request does not carry takes: quell.exe waits itself.
constexpr unsigned WaitedOptions = OptionYes | WhenOptions;
constexpr const char *WhenArguments = "[--delay SECONDS | --at TIME] [--after PROCESS]...";
constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;

}  // namespace

namespace commands {
const Command Status = {.name = "status",
                        .arguments = "[--json]",
                        .effect = "report what this system and Quell.dll offer; changes nothing",
                        .shape = Shape::Status,
                        .options = OptionJson};
const Command ForceLogoff = {.name = "force-logoff",
                             .arguments = WhenArguments,
                             .effect = "log the user off, closing applications without asking",
                             .shape = Shape::Plain,
                             .options = WaitedOptions,
                             .entry = Export_WindowsForceLogOnOff,
                             .done = "the user is being logged off"};
const Command Logoff = {.name = "logoff",
                        .arguments = WhenArguments,
                        .effect = "log the user off",
                        .shape = Shape::Plain,
                        .options = WaitedOptions,
                        .entry = Export_WindowsLogOnOff,
                        .forced = &ForceLogoff,
                        .done = "the user is being logged off"};
const Command ForceShutdown = {.name = "force-shutdown",
                               .arguments = "[OPTIONS]",
                               .effect = "shut down and power off this machine, closing applications without asking",
                               .shape = Shape::Plain,
                               .options = RequestOptions,
                               .entry = Export_WindowsForceShutdown,
                               .shutdownFlags = SHUTDOWN_POWEROFF | Forced,
                               .done = "this machine is shutting down"};
const Command Shutdown = {.name = "shutdown",
                          .arguments = "[OPTIONS]",
                          .effect = "shut down and power off this machine",
                          .shape = Shape::Plain,
                          .options = RequestOptions,
                          .entry = Export_WindowsShutdown,
                          .forced = &ForceShutdown,
                          .shutdownFlags = SHUTDOWN_POWEROFF,
                          .done = "this machine is shutting down"};
const Command ForceReboot = {.name = "force-reboot",
                             .arguments = "[OPTIONS]",
                             .effect = "reboot this machine, closing applications without asking",
                             .shape = Shape::Plain,
                             .options = RequestOptions | OptionBootOptions,
                             .entry = Export_WindowsForceReboot,
                             .shutdownFlags = SHUTDOWN_RESTART | Forced,
                             .done = "this machine is rebooting"};
const Command Reboot = {.name = "reboot",
                        .arguments = "[OPTIONS]",
                        .effect = "reboot this machine",
                        .shape = Shape::Plain,
                        .options = RequestOptions | OptionBootOptions,
                        .entry = Export_WindowsReboot,
                        .forced = &ForceReboot,
                        .shutdownFlags = SHUTDOWN_RESTART,
                        .done = "this machine is rebooting"};
const Command RestartApps = {.name = "restart-apps",
                             .arguments = "[OPTIONS]",
                             .effect =
                                 "end the session and restart the registered applications (a log-off before Vista)",
                             .shape = Shape::Plain,
                             .options = RequestOptions,
                             .entry = Export_WindowsRestartApps,
                             .shutdownFlags = SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS,
                             .done = "the session is ending"};
const Command Hybrid = {.name = "hybrid",
                        .arguments = "[OPTIONS]",
                        .effect = "shut down for a fast start-up (a power-off before Windows 8)",
                        .shape = Shape::Plain,
                        .options = RequestOptions,
                        .entry = Export_WindowsHybridShutdown,
                        .shutdownFlags = SHUTDOWN_POWEROFF | SHUTDOWN_HYBRID,
                        .done = "this machine is shutting down for a fast start-up"};
const Command TimedShutdown = {.name = "timed-shutdown",
                               .arguments = "SECONDS [MESSAGE] [OPTIONS]",
                               .effect = "shut down after SECONDS",
                               .shape = Shape::Timed,
                               .options = RequestOptions,
                               .timed = &Shutdown};
const Command TimedReboot = {.name = "timed-reboot",
                             .arguments = "SECONDS [MESSAGE] [OPTIONS]",
                             .effect = "reboot after SECONDS",
                             .shape = Shape::Timed,
                             .options = RequestOptions,
                             .timed = &Reboot};
const Command Abort = {.name = "abort",
                       .arguments = "[--machine NAME]",
                       .effect = "cancel this user's waiting quell.exe and abort a timed shutdown or reboot",
                       .shape = Shape::Plain,
                       .options = OptionYes | OptionMachine,
                       .entry = Export_LocalAbortSystemShutdown,
                       .done = "the timed shutdown or reboot of this machine is aborted"};
const Command Standby = {.name = "standby",
                         .arguments = WhenArguments,
                         .effect = "put this machine into standby",
                         .shape = Shape::Plain,
                         .options = WaitedOptions,
                         .entry = Export_WindowsStandby,
                         .done = "this machine went into standby"};
const Command Hibernate = {.name = "hibernate",
                           .arguments = WhenArguments,
                           .effect = "hibernate this machine",
                           .shape = Shape::Plain,
                           .options = WaitedOptions,
                           .entry = Export_WindowsHibernate,
                           .done = "this machine hibernated"};
const Command Lock = {.name = "lock",
                      .arguments = WhenArguments,
                      .effect = "lock the workstation",
                      .shape = Shape::Plain,
                      .options = WaitedOptions,
                      .entry = Export_LockWorkStation,
                      .done = "the workstation is locked"};
const Command DisplayOff = {.name = "display-off",
                            .arguments = WhenArguments,
                            .effect = "turn the display off (SC_MONITORPOWER), waiting on no other program",
                            .shape = Shape::DisplayOff,
                            .options = WaitedOptions,
                            .done = "the display is turned off"};
const Command RestartDialog = {.name = "restart-dialog",
                               .arguments = "[PROMPT]",
                               .effect = "show the shell's dialog that asks to restart, with PROMPT",
                               .shape = Shape::RestartDialog,
                               .options = OptionYes,
                               .entry = Export_RestartDialog,
                               .done = "the user agreed: this machine is restarting"};
const Command ShutdownDialog = {.name = "shutdown-dialog",
                                .arguments = "",
                                .effect = "show the shell's shut-down dialog",
                                .shape = Shape::ShutdownDialog,
                                .options = OptionYes,
                                .entry = Export_ShutdownDialog,
                                .done = "shown"};
const Command MsDos = {.name = "msdos",
                       .arguments = WhenArguments,
                       .effect = "restart into MS-DOS mode (Windows 95/98/Me)",
                       .shape = Shape::Plain,
                       .options = WaitedOptions,
                       .entry = Export_WindowsMsDosModus,
                       .done = "this machine is restarting into MS-DOS mode"};
const Command Help = {.name = "help",
                      .arguments = "[COMMAND]",
                      .effect = "show this text (also --help, -h, -?, /?)",
                      .shape = Shape::Help,
                      .options = 0};
const Command Version = {.name = "--version",
                         .arguments = "",
                         .effect = "show the versions of quell.exe and Quell.dll",
                         .shape = Shape::Version,
                         .options = 0,
                         .entry = Export_DllGetVersion};
const Command Blockers = {.name = "blockers",
                          .arguments = "[--json]",
                          .effect = "list the windows that hold a shutdown block reason",
                          .shape = Shape::Blockers,
                          .options = OptionJson,
                          .entry = Export_ShutdownBlockReasonQuery};
const Command Pending = {.name = "pending",
                         .arguments = "[--json]",
                         .effect = "list the waits of this user's quell.exe (--delay, --at, --after)",
                         .shape = Shape::Pending,
                         .options = OptionJson};
}  // namespace commands

namespace {

// In the order the help text lists them.
const Command *const Commands[] = {
    &commands::Status,        &commands::Logoff,         &commands::ForceLogoff, &commands::Shutdown,
    &commands::ForceShutdown, &commands::Reboot,         &commands::ForceReboot, &commands::RestartApps,
    &commands::Hybrid,        &commands::TimedShutdown,  &commands::TimedReboot, &commands::Abort,
    &commands::Standby,       &commands::Hibernate,      &commands::Lock,        &commands::DisplayOff,
    &commands::RestartDialog, &commands::ShutdownDialog, &commands::MsDos,       &commands::Help,
    &commands::Version,       &commands::Blockers,       &commands::Pending,
};

// The exit statuses, for the help text.
struct ExitMeaning {
    int status;
    const char *meaning;
};
const ExitMeaning ExitMeanings[] = {
    {ExitSuccess, "done"},
    {ExitFailed, "the system refused or failed (its error is printed), or it is not available here"},
    {ExitUsage, "usage error, or --yes missing"},
    {ExitNoLibrary, "Quell.dll missing, not loadable, or lacking the export"},
    {ExitCancelled, "cancelled while it waited (Ctrl+C, the console closed, or quell abort)"},
};

// An option given to a command that does not take it: which commands do.
int NotAnOptionOf(const Cli &cli, const Command &command, const Option &option, const wchar_t *written) {
    if (option.bit == OptionForce && command.forced) {
        return UsageError(cli, "%S does not take %s: use %S", command.name, written, command.forced->name);
    }
    Text takers{};
    for (const Command *taker : Commands) {
        if (taker->options & option.bit) Format(takers, "%S%S", takers.length ? ", " : "", taker->name);
    }
    int status = UsageError(cli, "%S does not take %s; %s take%S it", command.name, written,
                            takers.data ? takers.data : L"no command", takers.length ? "" : "s");
    Release(takers.data);
    return status;
}

// Files the operands under the options that mean the same.
int StoreOperands(const Cli &cli, int count, wchar_t **operands, Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::Help && count) {
        if (!FindCommand(operands[0])) return UsageError(cli, "help: unknown command %q", operands[0]);
        return ExitSuccess;
    }
    if (command.shape == Shape::RestartDialog && count) request.message = operands[0];
    if (command.shape != Shape::Timed) return ExitSuccess;
    if (!count) return UsageError(cli, "%S needs SECONDS", command.name);
    if (count > 1) {
        if (Has(request, OptionMessage)) {
            return UsageError(cli, "%S: the message is given twice, as MESSAGE and as --message", command.name);
        }
        request.message = operands[1];
    }
    if (Has(request, OptionDelay)) {
        return UsageError(cli, "%S: the delay is given twice, as SECONDS and as --delay", command.name);
    }
    return StoreOption(cli, OptionDelay, L"SECONDS", operands[0], request);
}

int MaxOperands(Shape shape) {
    if (shape == Shape::Timed) return 2;
    return shape == Shape::RestartDialog || shape == Shape::Help ? 1 : 0;
}

// A machine's name: \\NAME or NAME, and nothing that a name cannot hold.
bool IsMachineName(const wchar_t *name) {
    if (!*name) return false;
    for (; *name; ++name) {
        if (*name == L'\\' || *name == L'"' || *name == L' ' || *name == L'\t' || *name < 0x20) return false;
    }
    return true;
}

// A process id, or a program's file name without a directory.
bool IsProcess(const wchar_t *text) {
    DWORD length = Length(text), id;
    if (length && IsDigit(text[0])) return ParseWholeNumber(text, ~DWORD(0), id) && id;
    if (length < 5 || !SameName(text + length - 4, ".exe")) return false;
    for (; *text; ++text) {
        if (*text == L'\\' || *text == L'/' || *text == L':' || *text == L'"') return false;
    }
    return true;
}

}  // namespace

constexpr Option Options[] = {
    {"--yes", OptionYes, nullptr, "carry it out; without it a command only says what it would do", false},
    {"--force", OptionForce, nullptr, "close applications without asking", false},
    {"--machine", OptionMachine, "NAME", "another computer, \\\\NAME or NAME", false},
    {"--delay", OptionDelay, "SECONDS", "the warning period, or quell.exe's wait before the call, 0 to ", false},
    {"--message", OptionMessage, "TEXT", "shown during the warning period", false},
    {"--reason", OptionReason, "[p:|u:]MAJOR:MINOR", "the reason code (0:0, the default, everywhere)", false},
    {"--boot-options", OptionBootOptions, nullptr, "reboot into the boot options menu (Windows 8 and later)", false},
    {"--json", OptionJson, nullptr, "as one JSON object", false},
    {"--at", OptionAt, "HH:MM|YYYY-MM-DDTHH:MM", "at this local time (HH:MM: the next, today or tomorrow), as --delay",
     false},
    {"--after", OptionAfter, "PID|NAME.exe", "once these processes have ended; may be repeated", true},
};
static_assert(sizeof Options / sizeof Options[0] == OptionCount);
constexpr bool EachOptionAtItsBit() {
    for (unsigned place = 0; place < OptionCount; ++place) {
        if (Options[place].bit != 1u << place) return false;
    }
    return true;
}
static_assert(EachOptionAtItsBit(), "OptionOf finds an option at its bit's number");

const Option &OptionOf(OptionBit bit) {
    unsigned place = 0;
    while (bit >> (place + 1)) ++place;
    return Options[place];
}

const Command *FindCommand(const wchar_t *name) {
    for (const Command *command : Commands) {
        if (SameName(name, command->name)) return command;
    }
    return nullptr;
}

int StoreOption(const Cli &cli, OptionBit bit, const wchar_t *written, const wchar_t *value, Request &request) {
    bool twice = Has(request, bit);
    // A wait is given once: as a delay or as a moment.
    OptionBit other = bit == OptionAt ? OptionDelay : bit == OptionDelay ? OptionAt : bit;
    if (other != bit && Has(request, other)) {
        return UsageError(cli, "%s and %S: give one of them", written, OptionOf(other).name);
    }
    request.given |= bit;
    if (!OptionOf(bit).value) return ExitSuccess;  // a flag may be repeated
    if (twice && !OptionOf(bit).repeats) return UsageError(cli, "%s is given twice", written);
    switch (bit) {
    case OptionMessage: request.message = value; break;
    case OptionMachine:
        if (value[0] == L'\\' && value[1] == L'\\') value += 2;
        if (!IsMachineName(value)) {
            return UsageError(cli,
                              "%s needs a computer name: \\\\NAME or NAME, without blanks, quotes or further "
                              "backslashes, not %q",
                              written, value);
        }
        request.machine = value;
        break;
    case OptionDelay:
        if (!ParseWholeNumber(value, MaxDelay, request.delay)) {
            return UsageError(cli, "%s must be a whole number from 0 to %u, not %q", written, MaxDelay, value);
        }
        break;
    case OptionAt: {
        if (!ParseMoment(cli, value, request.at)) {
            return UsageError(cli, "%s must be a real time HH:MM or YYYY-MM-DDTHH:MM, not %q", written, value);
        }
        DWORD now = Now(cli);
        if (request.at <= now) return UsageError(cli, "%s %q has passed", written, value);
        if (!Occurs(cli, request.at)) {
            return UsageError(cli, "%s %q does not occur: daylight saving time skips it", written, value);
        }
        if (request.at - now > MaxDelay) {
            return UsageError(cli, "%s %q is more than ten years (%u seconds) from now", written, value, MaxDelay);
        }
        break;
    }
    case OptionAfter:
        if (!IsProcess(value)) {
            return UsageError(cli, "%s needs a process id or a program's file name NAME.exe, not %q", written, value);
        }
        // Its own end never comes.
        if (DWORD id; ParseWholeNumber(value, ~DWORD(0), id) && cli.host.GetCurrentProcessId &&
                      id == cli.host.GetCurrentProcessId()) {
            return UsageError(cli, "%s %q is the process id of this quell.exe, which would wait for itself", written,
                              value);
        }
        if (auto grown = static_cast<const wchar_t **>(Grow(request.after, (request.afterCount + 1) * sizeof value))) {
            request.after = grown;
            request.after[request.afterCount++] = value;
        }
        break;
    case OptionReason:
        if (!ParseReason(value, request.reason)) {
            return UsageError(cli, "%s must be [p:|u:]MAJOR:MINOR, MAJOR 0 to 255, MINOR 0 to 65535, not %q", written,
                              value);
        }
        break;
    default: break;
    }
    return ExitSuccess;
}

int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    if (argc < 2) return UsageError(cli, "no command given");
    const wchar_t *name = argv[1];
    // The switches' parser reads its own operands (a /c comment may be "-h").
    if (name[0] == L'/' && !IsHelpFlag(name)) return ParseSwitches(cli, argc, argv, request);
    for (int i = 1; i < argc && !SameName(argv[i], "--"); ++i) {
        if (!IsHelpFlag(argv[i])) continue;
        request.command = &commands::Help;
        return ExitSuccess;
    }
    request.command = FindCommand(name);
    if (!request.command) return UsageError(cli, "unknown command %q", name);

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
                if (SameName(arg, known.name)) option = &known;
            }
            if (!option) return UsageError(cli, "%S: unknown option %q", command.name, arg);
            if (!(command.options & option->bit)) return NotAnOptionOf(cli, command, *option, arg);
            const wchar_t *value = nullptr;
            if (option->value) {
                if (i + 1 == argc) return UsageError(cli, "%S: %s needs a value", command.name, arg);
                value = argv[++i];
            }
            if (int status = StoreOption(cli, option->bit, arg, value, request)) return status;
        } else if (operandCount < MaxOperands(command.shape)) {
            operands[operandCount++] = arg;
        } else {
            return UsageError(cli, "%S: unexpected argument %q", command.name, arg);
        }
    }
    return StoreOperands(cli, operandCount, operands, request);
}

int Execute(Cli &cli, const Request &request) {
    switch (request.command->shape) {
    case Shape::Help: PrintHelp(cli, request.command); return ExitSuccess;
    case Shape::Status: return Status(cli, Has(request, OptionJson));
    case Shape::Version: return Version(cli);
    case Shape::Blockers: return Blockers(cli, Has(request, OptionJson));
    case Shape::Pending: return Pending(cli, Has(request, OptionJson));
    default: break;
    }
    Plan plan = MakePlan(cli, request);
    return Has(request, OptionYes) ? CarryOut(cli, plan) : DryRun(cli, plan);
}

void PrintHelp(const Cli &cli, const Command *) {
    Text text{};
    AppendAscii(text, "Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                      "Ends the Windows session or changes the power state through Quell.dll.\n"
                      "Commands and options may be written in any case.\n\n"
                      "Commands:\n");
    for (const Command *command : Commands) {
        Format(text, "  %S%S%S\n      %S", command->name, *command->arguments ? " " : "", command->arguments,
               command->effect);
        if (command->timed) {
            Format(text, ": %S --delay SECONDS --message MESSAGE", command->timed->name);
        }
        if (command->entry != NoExport) Format(text, " (%S)", ExportName(command->entry));
        if (command->forced && (command->options & OptionForce)) {
            Format(text, "; --force: %S", command->forced->name);
        }
        AppendAscii(text, "\n");
    }
    AppendAscii(text, "\nOptions (a command that does not take one says which do):\n");
    for (const Option &option : Options) {
        Format(text, "  %S%S%S\n      %S", option.name, option.value ? " " : "", option.value ? option.value : "",
               option.meaning);
        if (option.bit == OptionDelay) Format(text, "%u (ten years)", MaxDelay);
        AppendAscii(text, "\n");
    }
    for (const Option &option : Options) {
        if (option.bit & SystemRequestOptions) Format(text, "%S ", option.name);
    }
    AppendAscii(text, "make the system's shutdown request of shutdown, reboot, restart-apps and hybrid;\n"
                      "the other actions but the two dialogs wait in quell.exe, which `quell abort` and\n"
                      "Ctrl+C cancel.\n");
    AppendAscii(text, "\nThe standard shutdown command's syntax, without --yes:\n  ");
    AppendSwitchSyntax(text);
    AppendAscii(text, "\n");
    AppendAscii(
        text, "\nEvery command but status, blockers, pending, --version and help changes the session and does nothing\n"
              "without --yes: it then says what it would do and which export it would call, with which "
              "arguments.\nExit status:\n");
    for (const ExitMeaning &exit : ExitMeanings) Format(text, "  %u  %S\n", exit.status, exit.meaning);
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}
