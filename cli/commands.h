// The commands and options as data, the request that the command line makes
// of them, and the plan that carries a request out. A request goes one way:
// both syntaxes fill a Request, MakePlan turns it into a Plan, a dry run
// prints the plan and --yes carries it out.
#pragma once

#include "cli.h"
#include "text.h"

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

// What a command does, and which operands it takes.
enum class Shape : BYTE {
    Help,            // the help text; [COMMAND]
    Status,          // the report of harmless answers
    Version,         // the versions of quell.exe and Quell.dll
    Blockers,        // the windows that hold a shutdown block reason
    Pending,         // the waits of this user's quell.exe
    Plain,           // an export without arguments
    Timed,           // SECONDS [MESSAGE]: another command with --delay and --message
    RestartDialog,   // [PROMPT]
    ShutdownDialog,  // the shell's dialog, which returns nothing
    DisplayOff,      // the display turned off through a window of quell.exe's own
};

// The options, one bit each: the request keeps the bits given. A command
// lists those it accepts in its row.
enum OptionBit : unsigned {
    OptionYes = 1u << 0,
    OptionForce = 1u << 1,
    OptionMachine = 1u << 2,
    OptionDelay = 1u << 3,
    OptionMessage = 1u << 4,
    OptionReason = 1u << 5,
    OptionBootOptions = 1u << 6,
    OptionJson = 1u << 7,
    OptionAt = 1u << 8,
    OptionAfter = 1u << 9,
};

// The options that only the system's request carries: given, a command that
// ends or restarts the machine makes it instead of calling its export.
constexpr unsigned SystemRequestOptions =
    OptionMachine | OptionDelay | OptionMessage | OptionReason | OptionBootOptions | OptionAt;
// The options that say when: every action that changes the session takes them,
// but the two dialogs, which the user answers at once.
constexpr unsigned WhenOptions = OptionDelay | OptionAt | OptionAfter;

struct Option {
    const char *name;     // matched in any case
    OptionBit bit;        // its place in Options is the bit's number
    const char *value;    // what its value is, for the help text; null: it takes none
    const char *meaning;  // for the help text
    bool repeats;         // it may be given more than once
};
extern const Option Options[];
constexpr unsigned OptionCount = 10;
const Option &OptionOf(OptionBit bit);

struct Command {
    const char *name;       // matched in any case
    const char *arguments;  // after the name, for the help text
    const char *effect;     // what it does, completing "would ..."
    Shape shape;
    unsigned options;                 // the OptionBits it accepts
    QuellExport entry = NoExport;     // the export it calls
    const Command *forced = nullptr;  // what --force makes of it; null: itself
    const Command *timed = nullptr;   // Shape::Timed: the command it is with --delay
    DWORD shutdownFlags = 0;          // InitiateShutdownW's flags when it ends or restarts the machine
    const char *done = nullptr;       // what has happened once its export answered yes
};

// The commands, each by its identity.
namespace commands {
extern const Command Status, Logoff, ForceLogoff, Shutdown, ForceShutdown, Reboot, ForceReboot, RestartApps, Hybrid,
    TimedShutdown, TimedReboot, Abort, Standby, Hibernate, Lock, RestartDialog, ShutdownDialog, MsDos, Help, Version,
    Blockers, DisplayOff, Pending;
}

// What the command line asks for. Operands are filed under the options that
// mean the same: a timed command's SECONDS is its delay, its MESSAGE and the
// restart dialog's PROMPT the message.
struct Request {
    const Command *command;
    unsigned given;          // the OptionBits given
    const wchar_t *machine;  // --machine NAME, without its leading \\; null: this machine
    DWORD delay;             // --delay SECONDS
    const wchar_t *message;  // --message TEXT; null: none
    DWORD reason;            // --reason, as the system takes it
    DWORD at;                // --at, a local moment (moment.h)
    unsigned afterCount;     // --after PID or NAME.exe, each as written, as many as given
    const wchar_t **after;   // on the heap; null: none
};
inline bool Has(const Request &request, OptionBit bit) { return (request.given & bit) != 0; }

// Reads the command line (argv[0] is the program) into a request; ExitSuccess,
// or the exit status of a usage error that it has reported.
int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request);
// The standard shutdown command's syntax: the whole command line, argv[1] first.
int ParseSwitches(const Cli &cli, int argc, wchar_t **argv, Request &request);
// That syntax for the help text, from the same tables.
void AppendSwitchSyntax(Text &text);
// Files an option's value (null for a flag) in the request; ExitSuccess or a
// usage error naming the option as written.
int StoreOption(const Cli &cli, OptionBit bit, const wchar_t *written, const wchar_t *value, Request &request);
const Command *FindCommand(const wchar_t *name);
// Carries the request out and returns the exit status.
int Execute(Cli &cli, const Request &request);

// ---- the plan ----------------------------------------------------------------

// The kinds of call: an export of Quell.dll that acts at once, the system's
// shutdown request (through Quell.dll's forwarders, or for another machine's
// abort advapi32's own entry), or a system function that acts at once, called
// by quell.exe itself.
enum class CallKind : BYTE { Export, SystemRequest, System };
// The function type the call is made through.
enum class Signature : BYTE {
    Plain,                     // BOOL ()
    RestartDialog,             // int (HWND, LPCWSTR, DWORD)
    ShutdownDialog,            // void (HWND)
    LocalInit,                 // BOOL (LPWSTR message, DWORD delay, BOOL force)
    InitiateShutdown,          // DWORD (machine, message, delay, flags, reason)
    InitiateSystemShutdownEx,  // BOOL (machine, message, delay, force, reboot, reason)
    RemoteAbort,               // BOOL (machine)
    DisplayOff,                // LRESULT (HWND, UINT, WPARAM, LPARAM) on a window of its own
};
// What its answer means.
enum class Answer : BYTE {
    Boolean,    // done when not 0
    ErrorCode,  // done when 0
    Yes,        // done when IDYES
    Nothing,    // it returns nothing
};

// An argument as the call gets it and as a dry run shows it.
enum class ArgumentKind : BYTE { Text, Number, Hex, Truth, Flags, Named };
struct Argument {
    ArgumentKind kind;
    DWORD value;          // all but Text
    const wchar_t *text;  // Text; null: NULL
    const char *name;     // Named: how it is written (NULL, EWX_REBOOT)
};

// What is done to the session, when, and by which call.
struct Plan {
    const Command *asked;    // the command as it was asked for
    const Command *command;  // what is done: --force and the timed commands resolved
    const char *lacking;     // not null: not available, this system lacks what is named
    CallKind kind;
    Signature signature;
    Answer answer;
    bool privilege;     // WindowsNTPrivilegien() first: a local request needs the shutdown privilege
    QuellExport entry;  // the entry that makes the call; NoExport: advapi32's, looked up by name
    const char *call;   // the function's name
    const wchar_t *machine, *message;
    DWORD delay, flags, reason;
    DWORD wait;  // seconds quell.exe waits before the call (an action the system's request does not carry)
    DWORD at;    // --at's moment, 0: none; after --after, the wait or the warning period lasts until then
    const wchar_t *const *after;  // the processes to wait for first, as written
    unsigned afterCount;
    bool cancelsWaits;         // the local abort: also cancels this user's waiting quell.exe
    unsigned delayAtArgument;  // which argument is the warning period
    unsigned count;
    Argument arguments[6];
};
Plan MakePlan(const Cli &cli, const Request &request);
// Says what the plan would do, and exits 2; or carries it out.
int DryRun(const Cli &cli, const Plan &plan);
int CarryOut(Cli &cli, Plan &plan);

// Help, status and the reports.
void PrintHelp(const Cli &cli, const Command *about);
int Status(Cli &cli, bool json);
int Version(Cli &cli);
int Blockers(Cli &cli, bool json);
int Pending(Cli &cli, bool json);

// ---- waiting (wait.cpp) --------------------------------------------------------

// Waits as the plan says before its call: for the processes, then the seconds,
// showing what it will do and the time left. ExitSuccess when the call is due;
// ExitCancelled, or ExitFailed with the reason said.
int WaitBeforeCall(Cli &cli, Plan &plan, const Text &what);
// Cancels the waits of this user's other quell.exe; how many it cancelled, or
// without cancel how many it would.
DWORD CancelWaits(const Cli &cli, bool cancel);
// How many processes of an --after value (a process id or NAME.exe) run now; -1
// where the system cannot list them.
long RunningNow(const Cli &cli, const wchar_t *after);
// Whether the system's shell32.dll offers its shut-down dialog; says so when not.
bool ShellOffersShutdownDialog(const Cli &cli);
