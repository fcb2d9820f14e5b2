// The plan of a request that changes the session: which call carries it out
// on the running system, with which arguments, decided once. A dry run prints
// the plan; --yes makes its call and says what happened.
//
// The system's request (a warning period, a message, a reason or another
// machine) is made by the call that the system's version offers, chosen
// before anything is called, so that a dry run names the call that --yes makes,
// and a system that lacks what is asked answers "not available", never with a
// different action: the forwarders' own "not available" answers (1, or 0 with
// 120) are also answers that the system's functions may give.
#include "plan.h"
#include "latebound/system_libraries.h"
#include "load_quell.h"
#include "messages.h"
#include "moment.h"
#include "what.h"

namespace {

constexpr DWORD Forced = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;

// The flags' names after "SHUTDOWN_", by bit.
const char *const FlagNames[] = {
    "FORCE_OTHERS", "FORCE_SELF", "RESTART", "POWEROFF",           nullptr, nullptr, nullptr,
    "RESTARTAPPS",  nullptr,      "HYBRID",  "RESTART_BOOTOPTIONS"};

void Add(Plan &plan, ArgumentKind kind, DWORD value, const wchar_t *text = nullptr, const char *name = nullptr) {
    Argument &argument = plan.arguments[plan.count++];
    argument.kind = kind;
    argument.value = value;
    argument.text = text;
    argument.name = name;
}

// The system's request on this system: the call, its arguments, or what the system lacks.
void PlanSystemRequest(const Cli &cli, Plan &plan) {
    const OSVERSIONINFOA &system = cli.version;
    DWORD version =
        system.dwPlatformId == VER_PLATFORM_WIN32_NT ? system.dwMajorVersion << 8 | system.dwMinorVersion : 0;
    DWORD flags = plan.flags;
    bool reboot = flags & SHUTDOWN_RESTART, force = flags & SHUTDOWN_FORCE_SELF;
    plan.kind = CallKind::SystemRequest;
    plan.waiter = Waiter::System;
    plan.privilege = plan.machine == nullptr;
    // What the system lacks, named by the system's own flags and functions.
    if (flags & SHUTDOWN_HYBRID && version < 0x602) {
        plan.lacking = "SHUTDOWN_HYBRID (Windows 8 and later)";
    } else if (flags & SHUTDOWN_RESTART_BOOTOPTIONS && version < 0x602) {
        plan.lacking = "SHUTDOWN_RESTART_BOOTOPTIONS (Windows 8 and later)";
    } else if (flags & SHUTDOWN_RESTARTAPPS && version < 0x600) {
        plan.lacking = "InitiateShutdownW (Windows Vista and later)";
    } else if (version < 0x501 && (plan.machine || plan.reason)) {
        // Before XP only the local request without a reason; 0:0 is the default reason.
        plan.lacking = "InitiateSystemShutdownExW (Windows XP and later)";
    }
    if (version >= 0x600) {
        plan.signature = Signature::InitiateShutdown;
        plan.answer = Answer::ErrorCode;
        plan.entry = Export_InitiateShutdownW;
    } else if (version >= 0x501) {
        plan.signature = Signature::InitiateSystemShutdownEx;
        plan.entry = Export_InitiateSystemShutdownExW;
    } else {
        plan.signature = Signature::LocalInit;
        plan.privilege = false;  // the library's own timed exports enable it themselves
        plan.entry = cli.ansi ? (reboot ? Export_LocalInitSystemRebootA : Export_LocalInitSystemShutdownA)
                              : (reboot ? Export_LocalInitSystemRebootW : Export_LocalInitSystemShutdownW);
    }
    plan.call = ExportName(plan.entry);
    if (plan.signature != Signature::LocalInit) Add(plan, ArgumentKind::Text, 0, plan.machine);
    Add(plan, ArgumentKind::Text, 0, plan.message);
    Add(plan, ArgumentKind::Number, plan.delay);
    if (plan.signature == Signature::InitiateShutdown) {
        Add(plan, ArgumentKind::Flags, flags);
    } else {
        Add(plan, ArgumentKind::Truth, force);
    }
    if (plan.signature == Signature::InitiateSystemShutdownEx) Add(plan, ArgumentKind::Truth, reboot);
    if (plan.signature != Signature::LocalInit) Add(plan, ArgumentKind::Hex, plan.reason);
}

// The system's request by its flags: the first row whose flag it has, as
// "would ..." names it and as what is under way once it is made.
struct RequestWords {
    DWORD flag;  // 0: every other request
    const char *effect, *outcome;
};
const RequestWords RequestKinds[] = {
    {SHUTDOWN_HYBRID, "shut down for a fast start-up", "hybrid shutdown of"},
    {SHUTDOWN_RESTARTAPPS, "reboot and restart the registered applications of",
     "reboot with the registered applications of"},
    {SHUTDOWN_RESTART, "reboot", "reboot of"},
    {0, "shut down", "shutdown of"},
};

// The request and the machine it is for, in words: the effect, or the outcome.
void AppendRequest(const Cli &cli, Text &text, const Plan &plan, bool outcome) {
    const RequestWords *words = RequestKinds;
    while (words->flag && !(plan.flags & words->flag)) ++words;
    AppendAscii(text, outcome ? words->outcome : words->effect);
    if (plan.machine) {
        Format(cli, text, " the machine %q", plan.machine);
    } else {
        AppendAscii(text, " this machine");
    }
    if (plan.flags & SHUTDOWN_RESTART_BOOTOPTIONS) AppendAscii(text, " into the boot options menu");
}

// The words for what the plan does to the machine, after "would ".
void AppendEffect(const Cli &cli, Text &text, const Plan &plan) {
    const Command &command = *plan.action;
    if (plan.signature == Signature::RemoteAbort) {
        return Format(cli, text, "abort a timed shutdown or reboot of the machine %q", plan.machine);
    }
    if (plan.cancelsWaits) {
        // As --yes finds them: the waits of this user's quell.exe that it can cancel now.
        return Format(cli, text,
                      "cancel the waits of this user's quell.exe (%u now), then abort a timed shutdown or "
                      "reboot of this machine",
                      CancelWaits(cli, false));
    }
    if (plan.kind != CallKind::SystemRequest) {
        if (command.shape != Shape::RestartDialog) return AppendAscii(text, command.effect);
        AppendAscii(text, "show the shell's dialog that asks to restart, ");
        if (plan.message) return Format(cli, text, "with the prompt %q", plan.message);
        return AppendAscii(text, "with no prompt of its own");
    }
    AppendRequest(cli, text, plan, false);
    Format(cli, text, " after %u second%S", plan.delay, plan.delay == 1 ? "" : "s");
    if (plan.at) {
        AppendAscii(text, " (at ");
        AppendMoment(cli, text, plan.at);
        AppendAscii(text, ")");
    }
    if (plan.message) Format(cli, text, ", showing %q meanwhile", plan.message);
    if (plan.reason) Format(cli, text, ", reason 0x%X", plan.reason);
    if (plan.flags & SHUTDOWN_FORCE_SELF) AppendAscii(text, ", closing applications without asking");
}

// quell.exe's own wait before the call, in words ending in ", then ", after "would ".
void AppendWait(const Cli &cli, Text &text, const Plan &plan) {
    if (plan.afterCount) {
        AppendAscii(text, "wait until the process");
        if (plan.afterCount > 1) AppendAscii(text, "es");
        // As --yes would find them now.
        for (unsigned i = 0; i < plan.afterCount; ++i) {
            long running = RunningNow(cli, plan.after[i]);
            Format(cli, text, "%S %q (", i ? "," : "", plan.after[i]);
            if (running < 0) {
                AppendAscii(text, "not listable here)");
            } else {
                Format(text, running ? "%d running now)" : "not running now)", running);
            }
        }
        AppendAscii(text, plan.afterCount > 1 ? " have ended, then " : " has ended, then ");
    }
    if (plan.waiter == Waiter::Quell && plan.at) {
        AppendAscii(text, "wait until ");
        AppendMoment(cli, text, plan.at);
        if (plan.afterCount) return AppendAscii(text, " at the earliest, then ");
        return Format(text, " (%u s), then ", plan.wait);
    }
    if (!plan.wait) return;
    if (plan.afterCount) return Format(text, "wait %u s more, then ", plan.wait);
    AppendAscii(text, "wait until ");
    AppendMoment(cli, text, Now(cli) + plan.wait);
    Format(text, " (%u s), then ", plan.wait);
}

// The calls, as C would write them.
void AppendCalls(const Cli &cli, Text &text, const Plan &plan) {
    if (plan.privilege) Format(text, "%S(), then ", ExportName(Export_WindowsNTPrivilegien));
    Format(cli, text, "%S(", plan.call);
    for (unsigned i = 0; i < plan.count; ++i) {
        const Argument &argument = plan.arguments[i];
        if (i) AppendAscii(text, ", ");
        switch (argument.kind) {
        case ArgumentKind::Text:
            if (argument.text) {
                AppendQuoted(text, argument.text);
            } else {
                AppendAscii(text, "NULL");
            }
            break;
        case ArgumentKind::Number: AppendNumber(text, argument.value, 10, 1); break;
        case ArgumentKind::Hex: Format(text, "0x%X", argument.value); break;
        case ArgumentKind::Truth: AppendAscii(text, argument.value ? "TRUE" : "FALSE"); break;
        case ArgumentKind::Named: AppendAscii(text, argument.name); break;
        case ArgumentKind::Flags: {
            const char *separator = "";
            for (DWORD bit = 0; bit < sizeof FlagNames / sizeof FlagNames[0]; ++bit) {
                if (!(argument.value & 1u << bit)) continue;
                Format(text, "%SSHUTDOWN_%S", separator, FlagNames[bit]);
                separator = " | ";
            }
            break;
        }
        }
    }
    AppendAscii(text, ")");
}

// What has happened, in words, once the call answered that it was done.
void AppendOutcome(const Cli &cli, Text &text, const Plan &plan, DWORD delay) {
    if (plan.kind != CallKind::SystemRequest) return AppendAscii(text, plan.action->done);
    if (plan.signature == Signature::RemoteAbort) {
        return Format(cli, text, "the timed shutdown or reboot of the machine %q is aborted", plan.machine);
    }
    AppendRequest(cli, text, plan, true);
    if (!delay) return AppendAscii(text, " now");
    Format(cli, text, " in %u s (", delay);
    // --at's moment as asked: daylight saving time may come between.
    AppendMoment(cli, text, plan.at ? plan.at : Now(cli) + delay);
    AppendAscii(text, "); `quell abort");
    if (plan.machine) Format(cli, text, " --machine %s", plan.machine);
    AppendAscii(text, "` cancels it");
}

// The shell's shut-down dialog returns nothing, so Quell.dll's answer cannot
// tell whether it was shown: the shell is asked for the entry beforehand.
bool ShellOffersShutdownDialog(const Cli &cli) {
    Offer offer = SystemOffers(cli, Shell32Library.fileName, MAKEINTRESOURCEA(ShutdownDialogOrdinal));
    if (offer == Offer::Missing) Say(cli, STD_ERROR_HANDLE, "quell: shell32.dll offers no shut-down dialog (#60)\n");
    if (offer == Offer::Unknown) {
        Say(cli, STD_ERROR_HANDLE,
            "quell: the system directory could not be read, so whether shell32.dll offers its shut-down dialog "
            "(#60) is unknown\n");
    }
    return offer == Offer::Offered;
}

using AbortEntry = BOOL(WINAPI *)(LPWSTR machine);

// The entry that makes the call; null when Quell.dll, or the system's advapi32.dll, lacks it.
FARPROC EntryOf(const Cli &cli, const Plan &plan, HMODULE &advapi32) {
    if (plan.entry != NoExport) return EntrySlots(cli.quell)[plan.entry];
    advapi32 = LoadSystemLibrary(cli, Advapi32Library.fileName);
    return advapi32 ? cli.host.GetProcAddress(advapi32, plan.call) : nullptr;
}

// Makes the call from the plan's own fields, with the warning period given;
// its result, and the last-error value it left. The plan's arguments are what
// a dry run shows of it.
LONG Call(const Cli &cli, const Plan &plan, FARPROC entry, DWORD delay, DWORD &error) {
    // On Windows 95/98/Me the message goes to the A functions as ANSI text;
    // only the local forms reach those systems.
    char *ansi = cli.ansi && plan.message ? ToAnsi(plan.message) : nullptr;
    auto message = cli.ansi ? reinterpret_cast<LPWSTR>(ansi) : const_cast<LPWSTR>(plan.message);
    auto machine = const_cast<LPWSTR>(plan.machine);
    BOOL force = (plan.flags & SHUTDOWN_FORCE_SELF) != 0, reboot = (plan.flags & SHUTDOWN_RESTART) != 0;
    LONG result = 0;
    SetLastError(0);
    switch (plan.signature) {
    case Signature::Plain: result = As<BOOL(WINAPI *)()>(entry)(); break;
    case Signature::RestartDialog: result = As<QuellProc_RestartDialog>(entry)(nullptr, message, EWX_REBOOT); break;
    case Signature::ShutdownDialog: As<QuellProc_ShutdownDialog>(entry)(nullptr); break;
    case Signature::LocalInit: result = As<BOOL(WINAPI *)(LPWSTR, DWORD, BOOL)>(entry)(message, delay, force); break;
    case Signature::InitiateShutdown:
        // It answers with an error code, 0 when the request was made.
        result =
            static_cast<LONG>(As<QuellProc_InitiateShutdownW>(entry)(machine, message, delay, plan.flags, plan.reason));
        SetLastError(static_cast<DWORD>(result));
        break;
    case Signature::InitiateSystemShutdownEx:
        result = As<QuellProc_InitiateSystemShutdownExW>(entry)(machine, message, delay, force, reboot, plan.reason);
        break;
    case Signature::RemoteAbort: result = As<AbortEntry>(entry)(machine); break;
    case Signature::DisplayOff: break;  // TurnDisplayOff makes it, with the window it needs
    }
    error = GetLastError();
    Release(ansi);
    return result;
}

// A plan the system cannot carry out, dry run or not; ExitFailed.
int SayLacking(const Cli &cli, const Plan &plan) {
    Say(cli, STD_ERROR_HANDLE, "quell %S: not available: this system lacks %S\n", plan.command->name, plan.lacking);
    return ExitFailed;
}

}  // namespace

Plan MakePlan(const Cli &cli, const Request &request) {
    const Command *command = request.command->timed ? request.command->timed : request.command;
    if (Has(request, OptionForce) && command->forced) command = command->forced;
    Plan plan;
    CopyRecord<Request>(plan, request);
    plan.action = command;
    plan.lacking = nullptr;
    plan.kind = CallKind::Export;
    plan.answer = Answer::Boolean;
    plan.privilege = false;
    plan.entry = command->entry;
    plan.call = ExportName(command->entry);
    plan.flags = command->shutdownFlags | (Has(request, OptionForce) ? Forced : 0) |
                 (Has(request, OptionBootOptions) ? SHUTDOWN_RESTART_BOOTOPTIONS : 0);
    plan.cancelsWaits = false;
    plan.count = 0;
    // --at: the whole seconds from now until then. An action the system's
    // request does not carry waits them in quell.exe; the system's request
    // (PlanSystemRequest) takes them as its warning period.
    DWORD seconds = plan.at ? SecondsUntil(cli, plan.at) : request.delay;
    bool ownWait = command->options & OptionDelay && !command->shutdownFlags && seconds;
    plan.waiter = ownWait ? Waiter::Quell : Waiter::Nobody;
    plan.wait = ownWait ? seconds : 0;
    plan.delay = seconds;
    switch (command->shape) {
    case Shape::RestartDialog:
        // The restart dialog answers IDYES when the user agreed to restart.
        plan.signature = Signature::RestartDialog;
        plan.answer = Answer::Yes;
        Add(plan, ArgumentKind::Named, 0, nullptr, "NULL");
        Add(plan, ArgumentKind::Text, 0, plan.message);
        Add(plan, ArgumentKind::Named, EWX_REBOOT, nullptr, "EWX_REBOOT");
        return plan;
    case Shape::ShutdownDialog:
        // The shell's shut-down dialog returns nothing: what Quell.dll passes back is no answer.
        plan.signature = Signature::ShutdownDialog;
        plan.answer = Answer::Nothing;
        Add(plan, ArgumentKind::Named, 0, nullptr, "NULL");
        return plan;
    case Shape::DisplayOff:
        // A window of quell.exe's own hands the command to DefWindowProc (display_off.cpp says why).
        plan.kind = CallKind::System;
        plan.signature = Signature::DisplayOff;
        plan.answer = Answer::Nothing;
        plan.call = DisplayOffCall;
        Add(plan, ArgumentKind::Named, 0, nullptr, "its own hidden window");
        Add(plan, ArgumentKind::Named, WM_SYSCOMMAND, nullptr, "WM_SYSCOMMAND");
        Add(plan, ArgumentKind::Named, SC_MONITORPOWER, nullptr, "SC_MONITORPOWER");
        Add(plan, ArgumentKind::Number, MonitorOff);
        return plan;
    default: plan.signature = Signature::Plain; break;
    }
    if (command == &commands::MsDos && !cli.ansi) plan.lacking = "MS-DOS mode, which exists only on Windows 95/98/Me";
    if (!command->shutdownFlags) {
        // The local abort also cancels this user's waiting quell.exe.
        plan.cancelsWaits = !plan.machine && command == &commands::Abort;
        if (!plan.machine) return plan;
        // Another machine's abort: advapi32's own entry, which Windows 95/98/Me lack.
        plan.kind = CallKind::SystemRequest;
        plan.signature = Signature::RemoteAbort;
        plan.entry = NoExport;
        plan.call = "AbortSystemShutdownW";
        if (cli.ansi) plan.lacking = "AbortSystemShutdownW (Windows NT)";
        Add(plan, ArgumentKind::Text, 0, plan.machine);
        return plan;
    }
    // The immediate export, unless an option asks for more than it does.
    bool asksMore = (request.given & SystemRequestOptions) ||
                    (Has(request, OptionForce) && !(command->shutdownFlags & SHUTDOWN_FORCE_SELF));
    if (asksMore) PlanSystemRequest(cli, plan);
    return plan;
}

int DryRun(const Cli &cli, const Plan &plan) {
    if (plan.lacking) return SayLacking(cli, plan);
    Text effect{}, calls{};
    AppendWait(cli, effect, plan);
    AppendEffect(cli, effect, plan);
    AppendCalls(cli, calls, plan);
    Say(cli, STD_ERROR_HANDLE, "quell %S: would %s; would call %s. Nothing done: add --yes to do it.\n",
        plan.command->name, effect.data, calls.data);
    Release(calls.data);
    Release(effect.data);
    return ExitUsage;
}

int CarryOut(Cli &cli, const Plan &plan) {
    const char *name = plan.command->name;
    if (plan.lacking) return SayLacking(cli, plan);
    // A dialog may end the session before it returns.
    if (plan.signature == Signature::RestartDialog || plan.signature == Signature::ShutdownDialog) {
        Text effect{};
        AppendEffect(cli, effect, plan);
        Say(cli, STD_OUTPUT_HANDLE, "quell %S: about to %s\n", name, effect.data);
        Release(effect.data);
    }
    // What the call needs is there before any wait: Quell.dll and its entries,
    // or the window that turns the display off.
    bool ownCall = plan.signature == Signature::DisplayOff;
    bool waits = plan.waiter == Waiter::Quell || plan.afterCount;
    DWORD delay = plan.delay;  // the warning period, as the wait leaves it
    if (ownCall && waits && TurnDisplayOff(cli, plan, true) != ExitSuccess) return ExitFailed;
    // The local abort cancels the waits first, with or without Quell.dll.
    DWORD cancelled = plan.cancelsWaits ? CancelWaits(cli, true) : 0;
    if (cancelled) Say(cli, STD_OUTPUT_HANDLE, "quell %S: cancelled %u waiting quell.exe\n", name, cancelled);
    HMODULE advapi32 = nullptr;
    FARPROC entry = nullptr;
    const QuellEntries &quell = cli.quell;
    int status = ExitFailed;
    // advapi32's own entry (another machine's abort) needs no Quell.dll.
    if (ownCall) {
        status = ExitSuccess;
    } else if (plan.entry != NoExport && !LibraryReady(cli)) {
        status = ExitNoLibrary;
    } else if (!(entry = EntryOf(cli, plan, advapi32)) && plan.entry == NoExport) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: the system's advapi32.dll lacks %S\n", name, plan.call);
    } else if (!entry || (plan.privilege && !quell.WindowsNTPrivilegien)) {
        status = SayMissing(cli, entry ? ExportName(Export_WindowsNTPrivilegien) : plan.call);
    } else if (plan.signature != Signature::ShutdownDialog || ShellOffersShutdownDialog(cli)) {
        status = ExitSuccess;
    }
    if (status == ExitSuccess && waits) {
        Text what{};
        AppendEffect(cli, what, plan);
        status = WaitBeforeCall(cli, plan, what, delay);
        Release(what.data);
    }
    if (status != ExitSuccess && plan.cancelsWaits) {
        Say(cli, STD_ERROR_HANDLE,
            "quell %S: no timed shutdown or reboot of this machine aborted: that needs %S of Quell.dll\n", name,
            plan.call);
    }
    if (status != ExitSuccess || ownCall) {
        if (advapi32) cli.host.FreeLibrary(advapi32);
        if (cancelled) return ExitSuccess;
        return status == ExitSuccess ? TurnDisplayOff(cli, plan) : status;
    }
    status = ExitFailed;
    LONG result = 0;
    DWORD error = 0;
    if (plan.privilege && !(result = Asked(error, quell.WindowsNTPrivilegien))) {
        // A local request needs the shutdown privilege enabled; a remote one the other machine's.
        Say(cli, STD_ERROR_HANDLE, "%S = %d, %F\nquell %S: failed\n", ExportName(Export_WindowsNTPrivilegien), result,
            error, name);
        SayWhy(cli, plan, error);
    } else {
        result = Call(cli, plan, entry, delay, error);
        bool done = plan.answer == Answer::Nothing     ? true
                    : plan.answer == Answer::ErrorCode ? result == 0
                    : plan.answer == Answer::Yes       ? result == IDYES
                                                       : result != 0;
        Text outcome{};
        if (done) AppendOutcome(cli, outcome, plan, delay);
        if (done && plan.answer == Answer::Nothing) {
            Say(cli, STD_OUTPUT_HANDLE, "quell %S: %s\n", name, outcome.data);
        } else if (done) {
            Say(cli, STD_OUTPUT_HANDLE, "%S = %d, %E\nquell %S: %s\n", plan.call, result, error, name, outcome.data);
        } else if (cancelled) {
            Say(cli, STD_OUTPUT_HANDLE, "%S = %d, %E\nquell %S: no timed shutdown or reboot to abort\n", plan.call,
                result, error, name);
        } else {
            Say(cli, STD_ERROR_HANDLE, "%S = %d, %F\nquell %S: %S\n", plan.call, result, error, name,
                result && plan.answer == Answer::Yes ? "not restarted, the answer was not Yes" : "failed");
            SayWhy(cli, plan, error);
        }
        Release(outcome.data);
        status = done || cancelled ? ExitSuccess : ExitFailed;
    }
    if (advapi32) cli.host.FreeLibrary(advapi32);
    return status;
}
