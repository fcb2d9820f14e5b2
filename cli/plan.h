// The plan that carries a request out, and the waits before its call.
#pragma once

#include "commands.h"

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

// An argument as a dry run shows it; the call takes its values from the plan's fields.
enum class ArgumentKind : BYTE { Text, Number, Hex, Truth, Flags, Named };
struct Argument {
    ArgumentKind kind;
    DWORD value;          // all but Text
    const wchar_t *text;  // Text; null: NULL
    const char *name;     // Named: how it is written (NULL, EWX_REBOOT)
};

// Who waits out the time before the action, once the processes of --after
// have ended: nobody, quell.exe itself, or the system's request, whose warning
// period it is.
enum class Waiter : BYTE { Nobody, Quell, System };

// What is done to the session, when, and by which call: the request as it was
// made (its command the one asked for; delay the warning period, in seconds
// for --at too) and what it comes to.
struct Plan : Request {
    const Command *action;  // what is done: --force and the timed commands resolved
    const char *lacking;    // not null: not available, this system lacks what is named
    CallKind kind;
    Signature signature;
    Answer answer;
    bool privilege;     // WindowsNTPrivilegien() first: a local request needs the shutdown privilege
    QuellExport entry;  // the entry that makes the call; NoExport: advapi32's, looked up by name
    const char *call;   // the function's name
    DWORD flags;
    Waiter waiter;
    DWORD wait;         // Waiter::Quell: the seconds quell.exe waits before the call
    bool cancelsWaits;  // the local abort: also cancels this user's waiting quell.exe
    unsigned count;
    Argument arguments[6];
};
Plan MakePlan(const Cli &cli, const Request &request);
// Says what the plan would do, and exits 2; or carries it out.
int DryRun(const Cli &cli, const Plan &plan);
int CarryOut(Cli &cli, const Plan &plan);

// Waits as the plan says before its call: for the processes, then the seconds,
// showing what it will do and the time left. ExitSuccess when the call is due;
// ExitCancelled, or ExitFailed with the reason said.
// delay: the warning period the system's request then carries, measured anew
// for --at after the processes have ended.
int WaitBeforeCall(Cli &cli, const Plan &plan, const Text &what, DWORD &delay);
// Cancels the waits of this user's other quell.exe; how many it cancelled, or
// without cancel how many it would.
DWORD CancelWaits(const Cli &cli, bool cancel);
// How many processes of an --after value (a process id or NAME.exe) run now; -1
// where the system cannot list them.
long RunningNow(const Cli &cli, const wchar_t *after);
