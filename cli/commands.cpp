// The command table and the option table: the rows that the parser, the
// help text and the plan read.
#include "commands.h"

#include "arguments.h"

namespace {
// What an action that the system's request does not carry takes: quell.exe waits itself.
constexpr unsigned WaitedOptions = OptionYes | WhenOptions;
constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;

}  // namespace

namespace commands {
const Command Status = {.name = "status",
                        .effect = "report what this system and Quell.dll offer; changes nothing",
                        .shape = Shape::Status,
                        .options = OptionJson};
const Command ForceLogoff = {.name = "force-logoff",
                             .effect = "log the user off, closing applications without asking",
                             .shape = Shape::Plain,
                             .options = WaitedOptions,
                             .entry = Export_WindowsForceLogOnOff,
                             .done = "the user is being logged off"};
const Command Logoff = {.name = "logoff",
                        .effect = "log the user off",
                        .shape = Shape::Plain,
                        .options = WaitedOptions,
                        .entry = Export_WindowsLogOnOff,
                        .forced = &ForceLogoff,
                        .done = "the user is being logged off"};
const Command ForceShutdown = {.name = "force-shutdown",
                               .effect = "shut down and power off this machine, closing applications without asking",
                               .shape = Shape::Plain,
                               .options = RequestOptions,
                               .entry = Export_WindowsForceShutdown,
                               .shutdownFlags = SHUTDOWN_POWEROFF | Forced,
                               .done = "this machine is shutting down"};
const Command Shutdown = {.name = "shutdown",
                          .effect = "shut down and power off this machine",
                          .shape = Shape::Plain,
                          .options = RequestOptions,
                          .entry = Export_WindowsShutdown,
                          .forced = &ForceShutdown,
                          .shutdownFlags = SHUTDOWN_POWEROFF,
                          .done = "this machine is shutting down"};
const Command ForceReboot = {.name = "force-reboot",
                             .effect = "reboot this machine, closing applications without asking",
                             .shape = Shape::Plain,
                             .options = RequestOptions | OptionBootOptions,
                             .entry = Export_WindowsForceReboot,
                             .shutdownFlags = SHUTDOWN_RESTART | Forced,
                             .done = "this machine is rebooting"};
const Command Reboot = {.name = "reboot",
                        .effect = "reboot this machine",
                        .shape = Shape::Plain,
                        .options = RequestOptions | OptionBootOptions,
                        .entry = Export_WindowsReboot,
                        .forced = &ForceReboot,
                        .shutdownFlags = SHUTDOWN_RESTART,
                        .done = "this machine is rebooting"};
const Command RestartApps = {.name = "restart-apps",
                             .effect =
                                 "end the session and restart the registered applications (a log-off before Vista)",
                             .shape = Shape::Plain,
                             .options = RequestOptions,
                             .entry = Export_WindowsRestartApps,
                             .shutdownFlags = SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS,
                             .done = "the session is ending"};
const Command Hybrid = {.name = "hybrid",
                        .effect = "shut down for a fast start-up (a power-off before Windows 8)",
                        .shape = Shape::Plain,
                        .options = RequestOptions,
                        .entry = Export_WindowsHybridShutdown,
                        .shutdownFlags = SHUTDOWN_POWEROFF | SHUTDOWN_HYBRID,
                        .done = "this machine is shutting down for a fast start-up"};
const Command TimedShutdown = {.name = "timed-shutdown",
                               .operands = "SECONDS [MESSAGE]",
                               .effect = "shut down after SECONDS",
                               .shape = Shape::Timed,
                               .options = RequestOptions,
                               .timed = &Shutdown};
const Command TimedReboot = {.name = "timed-reboot",
                             .operands = "SECONDS [MESSAGE]",
                             .effect = "reboot after SECONDS",
                             .shape = Shape::Timed,
                             .options = RequestOptions,
                             .timed = &Reboot};
const Command Abort = {.name = "abort",
                       .effect = "cancel this user's waiting quell.exe and abort a timed shutdown or reboot",
                       .shape = Shape::Plain,
                       .options = OptionYes | OptionMachine,
                       .entry = Export_LocalAbortSystemShutdown,
                       .done = "the timed shutdown or reboot of this machine is aborted"};
const Command Standby = {.name = "standby",
                         .effect = "put this machine into standby",
                         .shape = Shape::Plain,
                         .options = WaitedOptions,
                         .entry = Export_WindowsStandby,
                         .done = "this machine went into standby"};
const Command Hibernate = {.name = "hibernate",
                           .effect = "hibernate this machine",
                           .shape = Shape::Plain,
                           .options = WaitedOptions,
                           .entry = Export_WindowsHibernate,
                           .done = "this machine hibernated"};
const Command Lock = {.name = "lock",
                      .effect = "lock the workstation",
                      .shape = Shape::Plain,
                      .options = WaitedOptions,
                      .entry = Export_LockWorkStation,
                      .done = "the workstation is locked"};
const Command DisplayOff = {.name = "display-off",
                            .effect = "turn the display off (SC_MONITORPOWER), waiting on no other program",
                            .shape = Shape::DisplayOff,
                            .options = WaitedOptions,
                            .done = "the display is turned off"};
const Command RestartDialog = {.name = "restart-dialog",
                               .operands = "[PROMPT]",
                               .effect = "show the shell's dialog that asks to restart, with PROMPT",
                               .shape = Shape::RestartDialog,
                               .options = OptionYes,
                               .entry = Export_RestartDialog,
                               .done = "the user agreed: this machine is restarting"};
const Command ShutdownDialog = {.name = "shutdown-dialog",
                                .effect = "show the shell's shut-down dialog",
                                .shape = Shape::ShutdownDialog,
                                .options = OptionYes,
                                .entry = Export_ShutdownDialog,
                                .done = "shown"};
const Command MsDos = {.name = "msdos",
                       .effect = "restart into MS-DOS mode (Windows 95/98/Me)",
                       .shape = Shape::Plain,
                       .options = WaitedOptions,
                       .entry = Export_WindowsMsDosModus,
                       .done = "this machine is restarting into MS-DOS mode"};
const Command Help = {.name = "help",
                      .operands = "[COMMAND]",
                      .effect = "show this text (also --help, -h, -?, /?)",
                      .shape = Shape::Help,
                      .options = 0};
const Command Version = {.name = "--version",
                         .effect = "show the versions of quell.exe and Quell.dll",
                         .shape = Shape::Version,
                         .options = 0,
                         .entry = Export_DllGetVersion};
const Command Blockers = {.name = "blockers",
                          .effect = "list the windows that hold a shutdown block reason",
                          .shape = Shape::Blockers,
                          .options = OptionJson,
                          .entry = Export_ShutdownBlockReasonQuery};
const Command Pending = {.name = "pending",
                         .effect = "list the waits of this user's quell.exe (--delay, --at, --after)",
                         .shape = Shape::Pending,
                         .options = OptionJson};
}  // namespace commands

const Command *const Commands[] = {
    &commands::Status,        &commands::Logoff,         &commands::ForceLogoff, &commands::Shutdown,
    &commands::ForceShutdown, &commands::Reboot,         &commands::ForceReboot, &commands::RestartApps,
    &commands::Hybrid,        &commands::TimedShutdown,  &commands::TimedReboot, &commands::Abort,
    &commands::Standby,       &commands::Hibernate,      &commands::Lock,        &commands::DisplayOff,
    &commands::RestartDialog, &commands::ShutdownDialog, &commands::MsDos,       &commands::Help,
    &commands::Version,       &commands::Blockers,       &commands::Pending,
};
const unsigned CommandCount = sizeof Commands / sizeof Commands[0];

#define QUELL_OPTION_ROW(id, name, value, meaning, repeats, takers, carried)                                           \
  {name, Option##id, value, meaning, repeats},
constexpr Option Options[] = {QUELL_OPTIONS(QUELL_OPTION_ROW)};
#undef QUELL_OPTION_ROW

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
