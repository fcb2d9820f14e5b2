// The commands and options as data, and the request that the command line
// makes of them. A request goes one way: both syntaxes fill a Request
// (parse.h), MakePlan turns it into a Plan (plan.h), a dry run prints the plan
// and --yes carries it out (dispatch.h).
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
constexpr unsigned OptionCount = 10;
extern const Option Options[OptionCount];
const Option &OptionOf(OptionBit bit);

struct Command {
    const char *name;           // matched in any case
    const char *operands = "";  // after the name, for the help text; its options come from its bits
    const char *effect;         // what it does, completing "would ..."
    Shape shape;
    unsigned options;                 // the OptionBits it accepts
    QuellExport entry = NoExport;     // the export it calls
    const Command *forced = nullptr;  // what --force makes of it; null: itself
    const Command *timed = nullptr;   // Shape::Timed: the command it is with --delay
    DWORD shutdownFlags = 0;          // InitiateShutdownW's flags when it ends or restarts the machine
    const char *done = nullptr;       // what has happened once its export answered yes
};

// The commands, each by its identity, and all of them in the order the help
// text lists them.
namespace commands {
extern const Command Status, Logoff, ForceLogoff, Shutdown, ForceShutdown, Reboot, ForceReboot, RestartApps, Hybrid,
    TimedShutdown, TimedReboot, Abort, Standby, Hibernate, Lock, RestartDialog, ShutdownDialog, MsDos, Help, Version,
    Blockers, DisplayOff, Pending;
}
extern const Command *const Commands[];
extern const unsigned CommandCount;
const Command *FindCommand(const wchar_t *name);

// What the command line asks for. Operands are filed under the options that
// mean the same: a timed command's SECONDS is its delay, its MESSAGE and the
// restart dialog's PROMPT the message.
struct Request {
    const Command *command;
    const Command *about;    // help: the command asked about; null: all
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
