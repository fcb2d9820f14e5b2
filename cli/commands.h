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

// The options, each written once as X(Id, name, value, meaning, repeats, takers,
// carried): the name matched in any case; what its value is, for the help text
// (null: it takes none); its meaning, for the help text; whether it may be
// given more than once; which commands take it (Named: those whose rows name
// it; Requests: every command that can make the system's shutdown request;
// Actions: every action that changes the session, but the two dialogs); and
// whether only the system's request carries it, so that a command given it
// makes that request instead of calling its export. Each is a bit, OptionId, at
// its place in the list: the request keeps the bits given.
#define QUELL_OPTIONS(X)                                                                                               \
  X(Yes, "--yes", nullptr, "carry it out; without it a command only says what it would do", false, Named, false)       \
  X(Force, "--force", nullptr, "close applications without asking", false, Named, false)                               \
  X(Machine, "--machine", "NAME", "another computer, \\\\NAME or NAME", false, Requests, true)                         \
  X(Delay, "--delay", "SECONDS", "the warning period, or quell.exe's wait before the call, 0 to ", false, Actions,     \
    true)                                                                                                              \
  X(Message, "--message", "TEXT", "shown during the warning period", false, Requests, true)                            \
  X(Reason, "--reason", "[p:|u:]MAJOR:MINOR", "the reason code (0:0, the default, everywhere)", false, Requests, true) \
  X(BootOptions, "--boot-options", nullptr, "reboot into the boot options menu (Windows 8 and later)", false, Named,   \
    true)                                                                                                              \
  X(Json, "--json", nullptr, "as one JSON object", false, Named, false)                                                \
  X(At, "--at", "HH:MM|YYYY-MM-DDTHH:MM", "at this local time (HH:MM: the next, today or tomorrow), as --delay",       \
    false, Actions, true)                                                                                              \
  X(After, "--after", "PID|NAME.exe", "once these processes have ended; may be repeated", true, Actions, false)
#define QUELL_OPTION_PLACE(id, name, value, meaning, repeats, takers, carried) OptionPlace##id,
enum OptionPlace : unsigned { QUELL_OPTIONS(QUELL_OPTION_PLACE) OptionCount };
#undef QUELL_OPTION_PLACE
#define QUELL_OPTION_BIT(id, name, value, meaning, repeats, takers, carried) Option##id = 1u << OptionPlace##id,
enum OptionBit : unsigned { QUELL_OPTIONS(QUELL_OPTION_BIT) };
#undef QUELL_OPTION_BIT

enum class Takers : BYTE { Named, Requests, Actions };
// The options of a column's value, as bits.
constexpr unsigned OptionsTakenBy(Takers takers) {
    unsigned bits = 0;
#define QUELL_OPTION_TAKEN(id, name, value, meaning, repeats, taker, carried)                                          \
  bits |= Takers::taker == takers ? Option##id : 0u;
    QUELL_OPTIONS(QUELL_OPTION_TAKEN)
#undef QUELL_OPTION_TAKEN
    return bits;
}
constexpr unsigned OptionsCarriedBySystemRequest() {
    unsigned bits = 0;
#define QUELL_OPTION_CARRIED(id, name, value, meaning, repeats, takers, carried) bits |= carried ? Option##id : 0u;
    QUELL_OPTIONS(QUELL_OPTION_CARRIED)
#undef QUELL_OPTION_CARRIED
    return bits;
}
constexpr unsigned SystemRequestOptions = OptionsCarriedBySystemRequest();
// The options that say when: every action that changes the session takes them.
constexpr unsigned WhenOptions = OptionsTakenBy(Takers::Actions);
// What a command that can make the system's request takes.
constexpr unsigned RequestOptions = OptionYes | OptionForce | OptionsTakenBy(Takers::Requests) | WhenOptions;

// An option's row, as QUELL_OPTIONS writes it; its place in Options is its bit's number.
struct Option {
    const char *name;
    OptionBit bit;
    const char *value;
    const char *meaning;
    bool repeats;
};
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

// The commands that other files name, each by its identity; and all of them
// in the order the help text lists them.
namespace commands {
extern const Command Logoff, Shutdown, Reboot, RestartApps, Hybrid, Abort, Standby, Hibernate, MsDos, Help;
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
