// The commands and options as data, and the request that the command line
// makes of them. Both syntaxes fill a Request; one executor carries it out.
#pragma once

#include "cli.h"

struct Text;

// InitiateShutdownW's flags as the system defines them; the headers offer them
// only to programs that require Windows Vista.
#ifndef SHUTDOWN_POWEROFF
#  define SHUTDOWN_FORCE_OTHERS 0x00000001
#  define SHUTDOWN_FORCE_SELF 0x00000002
#  define SHUTDOWN_RESTART 0x00000004
#  define SHUTDOWN_POWEROFF 0x00000008
#  define SHUTDOWN_RESTARTAPPS 0x00000080
#  define SHUTDOWN_HYBRID 0x00000200
#  define SHUTDOWN_RESTART_BOOTOPTIONS 0x00000400
#endif

// How a command is carried out, and which operands it takes.
enum class Shape {
    Help,            // the help text
    Status,          // the report of harmless answers
    Plain,           // an export without arguments
    TimedShutdown,   // SECONDS [MESSAGE]
    TimedReboot,     // SECONDS [MESSAGE]
    RestartDialog,   // [PROMPT]
    ShutdownDialog,  // the shell's dialog, which returns nothing
    Version,         // the versions of quell.exe and Quell.dll
    Blockers,        // the windows that hold a shutdown block reason
};

// The options, one bit each. A command lists those it accepts in its row; an
// option that a command does not accept is a usage error.
enum OptionBit : unsigned {
    OptionYes = 1u << 0,
    OptionForce = 1u << 1,
    OptionMachine = 1u << 2,
    OptionDelay = 1u << 3,
    OptionMessage = 1u << 4,
    OptionReason = 1u << 5,
    OptionBootOptions = 1u << 6,
    OptionJson = 1u << 7,
};

struct Option {
    const char *name;  // matched in any case
    OptionBit bit;
    bool takesValue;  // the next argument is its value
};

using PlainEntry = BOOL(WINAPI *)();

struct Command {
    const char *name;       // matched in any case
    const char *arguments;  // after the name, for the help text (ASCII)
    const char *effect;     // what it does, completing "would ..." (ASCII)
    Shape shape;
    unsigned options;                           // the OptionBits it accepts
    const char *exportName = nullptr;           // the export it calls, where it calls one
    PlainEntry QuellEntries::*plain = nullptr;  // Shape::Plain: that export's entry
    DWORD shutdownFlags = 0;  // InitiateShutdownW's flags when it ends or restarts the machine; 0: it does not
};

// What the command line asks for. Operands are filed under the options that
// mean the same: a timed command's SECONDS is its delay, its MESSAGE and the
// restart dialog's PROMPT the message.
struct Request {
    const Command *command;
    unsigned given;          // the OptionBits given
    bool yes;                // --yes: carry it out, not only say what it would do
    bool force;              // --force: close applications without asking
    bool bootOptions;        // --boot-options
    bool json;               // --json
    const wchar_t *machine;  // --machine NAME; null: this machine
    DWORD delay;             // --delay SECONDS
    const wchar_t *message;  // --message TEXT; null: none
    DWORD reason;            // --reason, as the system takes it
};

// Reads the command line (argv[0] is the program) into a request; ExitSuccess,
// or the exit status of a usage error that it has reported.
int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request);
// Carries the request out and returns the exit status.
int Execute(Cli &cli, const Request &request);

bool IsTimed(Shape shape);

const Command *FindCommand(const wchar_t *name);
// Files an option's value (null for a flag) in the request; ExitSuccess or a
// usage error naming the option.
int StoreOption(const Cli &cli, const Option &option, const wchar_t *value, Request &request);
// The standard shutdown command's syntax: the whole command line, argv[1] first.
int ParseSwitches(const Cli &cli, int argc, wchar_t **argv, Request &request);

// How a request is carried out on the running system.
enum class Route {
    Immediate,                 // the command's own export
    InitiateShutdown,          // InitiateShutdownW (Vista and later)
    InitiateSystemShutdownEx,  // InitiateSystemShutdownExW (XP, Server 2003)
    LocalInit,                 // LocalInitSystemShutdown/Reboot (NT 4.0, 2000; the A pair on 95/98/Me)
    RemoteAbort,               // advapi32's AbortSystemShutdownW
    NotAvailable,
};
// The route, and in name the call that carries it out, or for NotAvailable
// what the system lacks.
Route ChooseRoute(const Cli &cli, const Request &request, const char *&name);
// What a request that is not Immediate would do, and the calls that do it.
void AppendRoute(const Cli &cli, Text &effect, Text &call, const Request &request, Route route, const char *name);
// Makes a request that is not Immediate: false when the entry name is missing;
// else name, result and error are the last call's answer, done whether it succeeded.
bool CallRoute(Cli &cli, const Request &request, Route route, const char *&name, LONG &result, DWORD &error,
               bool &done);

// Help, status and operations.
void PrintHelp(const Cli &cli);
int Status(Cli &cli, bool json);
int Perform(Cli &cli, const Request &request);
int Version(Cli &cli);
int Blockers(Cli &cli, bool json);
// Whether the system's shell32.dll offers its shut-down dialog; says so when not.
bool ShellOffersShutdownDialog(const Cli &cli);
