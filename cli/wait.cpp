// quell.exe's own waits: for processes to end, then until the call is due,
// cancelled by Ctrl+C, Ctrl+Break, closing the console or `quell abort`; and
// `quell pending`, which lists them.
//
// A waiting quell.exe makes two named objects of its user and process id: an
// event that cancels the wait and a small shared record of what it waits for.
// `abort` and `pending` find them by listing the processes named quell.exe.
// Everything here is looked up at run time from the system directory's DLLs,
// so that quell.exe's import table stays as it is (tools/windows-imports.txt
// gives each function's first versions and sources). The events, mappings and
// OpenProcess are there from Windows 95 and NT 3.51; Toolhelp from Windows 95
// but on NT only from 2000, and psapi.dll only from 2000 (NT 4.0 has it as a
// redistributable). Where Toolhelp is missing or its snapshot fails, psapi.dll's
// EnumProcesses lists the processes; with neither (NT 4.0 as installed),
// waiting for a process by name, `pending` and finding the waits to abort are
// not available.
#include "arguments.h"
#include "plan.h"
#include "reports.h"
#include "json.h"
#include "load_quell.h"
#include "messages.h"
#include "moment.h"

// After windows.h, which commands.h brings.
#include <tlhelp32.h>

namespace {

constexpr DWORD QueryInformation = 0x0400 | 0x0010;         // PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
constexpr unsigned MostHandles = MAXIMUM_WAIT_OBJECTS - 1;  // besides the cancelling event

#define QUELL_WAIT_KERNEL32(X)                                                                                         \
  X(HANDLE, CreateEventA, (LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL set, LPCSTR name))                        \
  X(HANDLE, OpenEventA, (DWORD access, BOOL inherit, LPCSTR name))                                                     \
  X(BOOL, SetEvent, (HANDLE event))                                                                                    \
  X(DWORD, WaitForMultipleObjects, (DWORD count, const HANDLE *handles, BOOL all, DWORD milliseconds))                 \
  X(BOOL, SetConsoleCtrlHandler, (PHANDLER_ROUTINE handler, BOOL add))                                                 \
  X(HANDLE, CreateFileMappingA,                                                                                        \
    (HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protect, DWORD high, DWORD low, LPCSTR name))                  \
  X(HANDLE, OpenFileMappingA, (DWORD access, BOOL inherit, LPCSTR name))                                               \
  X(LPVOID, MapViewOfFile, (HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T size))                         \
  X(BOOL, UnmapViewOfFile, (LPCVOID view))                                                                             \
  X(HANDLE, OpenProcess, (DWORD access, BOOL inherit, DWORD process))                                                  \
  X(HANDLE, CreateToolhelp32Snapshot, (DWORD flags, DWORD process))                                                    \
  X(BOOL, Process32First, (HANDLE snapshot, tagPROCESSENTRY32 * entry))                                                \
  X(BOOL, Process32Next, (HANDLE snapshot, tagPROCESSENTRY32 * entry))                                                 \
  X(void, Sleep, (DWORD milliseconds))
QUELL_SYSTEM_FUNCTIONS(Kernel32Waits, QUELL_WAIT_KERNEL32);
#define QUELL_WAIT_PSAPI(X)                                                                                            \
  X(BOOL, EnumProcesses, (DWORD * processes, DWORD size, DWORD * used))                                                \
  X(DWORD, GetModuleBaseNameA, (HANDLE process, HMODULE module, LPSTR name, DWORD size))
QUELL_SYSTEM_FUNCTIONS(PsapiWaits, QUELL_WAIT_PSAPI);
#define QUELL_WAIT_ADVAPI32(X) X(BOOL, GetUserNameA, (LPSTR name, LPDWORD size))
QUELL_SYSTEM_FUNCTIONS(Advapi32Waits, QUELL_WAIT_ADVAPI32);
struct WaitFunctions : Kernel32Waits, PsapiWaits, Advapi32Waits {};

// The system's functions, and the libraries they came from.
struct System {
    WaitFunctions call;
    HMODULE kernel32, psapi, advapi32;
    char user[64];  // the user's name, as part of the objects' names
};

bool Load(const Cli &cli, System &system) {
    WaitFunctions &call = system.call;
    system.kernel32 = LoadSystem(cli, "kernel32.dll", static_cast<Kernel32Waits &>(call));
    system.psapi = LoadSystem(cli, "psapi.dll", static_cast<PsapiWaits &>(call));
    system.advapi32 = LoadSystem(cli, "advapi32.dll", static_cast<Advapi32Waits &>(call));
    DWORD size = sizeof system.user;
    if (!call.GetUserNameA || !call.GetUserNameA(system.user, &size)) size = 0;
    system.user[size < sizeof system.user ? size : 0] = 0;
    return call.CreateEventA && call.OpenEventA && call.SetEvent && call.WaitForMultipleObjects &&
           call.CreateFileMappingA && call.OpenFileMappingA && call.MapViewOfFile && call.UnmapViewOfFile &&
           call.OpenProcess && cli.host.GetCurrentProcessId;
}
void Unload(const Cli &cli, System &system) {
    if (system.kernel32) cli.host.FreeLibrary(system.kernel32);
    if (system.psapi) cli.host.FreeLibrary(system.psapi);
    if (system.advapi32) cli.host.FreeLibrary(system.advapi32);
}

// What a waiting quell.exe shares: what it will do and when.
struct WaitRecord {
    DWORD due;  // a local moment (moment.h); 0 while it waits for processes
    char action[28];
};

// The name of a wait's object of this user and process: "" its event, "Record" its record.
// "Local\\" names the session's namespace (Microsoft's "Kernel object namespaces", of
// Terminal Services) from Windows 2000 on; the rest of a name holds no backslash (its
// CreateEvent reference). Earlier systems, without session namespaces, get the name alone.
void NameObject(const Cli &cli, const System &system, const char *kind, DWORD process, char *name) {
    Text text{};
    bool session = cli.version.dwPlatformId == VER_PLATFORM_WIN32_NT && cli.version.dwMajorVersion >= 5;
    Format(text, "%SQuell.Wait%S.", session ? "Local\\" : "", kind);
    for (const char *c = system.user; *c; ++c) {
        // No backslash in a name but the namespace's; what is not ASCII is written as a number.
        if (*c == '\\' || static_cast<BYTE>(*c) >= 0x80) {
            Format(text, "%%%u", static_cast<unsigned>(static_cast<BYTE>(*c)));
        } else {
            wchar_t one = static_cast<wchar_t>(*c);
            Append(text, &one, 1);
        }
    }
    Format(text, ".%u", process);
    DWORD i = 0;
    for (; text.data && i < text.length && i < 127; ++i) name[i] = static_cast<char>(text.data[i]);
    name[i] = 0;
    Release(text.data);
}

bool SameAnsiName(const char *a, const char *b) {
    for (;; ++a, ++b) {
        char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a + 32) : *a;
        char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b + 32) : *b;
        if (x != y) return false;
        if (!x) return true;
    }
}
// The file's name after its directory (Windows 95's Toolhelp gives the whole path).
const char *BaseName(const char *path) {
    const char *base = path;
    for (const char *c = path; *c; ++c) {
        if (*c == '\\' || *c == '/' || *c == ':') base = c + 1;
    }
    return base;
}

// The running processes named so, other than this one.
struct Processes {
    DWORD *ids;  // on the heap: a page of stack or more needs a probe that only a C runtime provides
    DWORD count;
    bool listed;  // false: the system cannot list them
};
constexpr DWORD MostProcesses = 4096;

Processes ProcessesNamed(const Cli &cli, const System &system, const char *name) {
    const WaitFunctions &call = system.call;
    Processes found = {static_cast<DWORD *>(Grow(nullptr, MostProcesses * sizeof(DWORD))), 0, false};
    DWORD self = cli.host.GetCurrentProcessId();
    if (!found.ids) return found;
    HANDLE snapshot = call.CreateToolhelp32Snapshot && call.Process32First && call.Process32Next
                          ? call.CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)
                          : INVALID_HANDLE_VALUE;
    if (snapshot != INVALID_HANDLE_VALUE) {
        tagPROCESSENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = call.Process32First(snapshot, &entry); more; more = call.Process32Next(snapshot, &entry)) {
            DWORD id = entry.th32ProcessID;
            if (id != self && found.count < MostProcesses && SameAnsiName(BaseName(entry.szExeFile), name)) {
                found.ids[found.count++] = id;
            }
            entry.dwSize = sizeof entry;
        }
        cli.host.CloseHandle(snapshot);
        found.listed = true;
        return found;
    }
    // Else psapi.dll (NT 4.0's add-on, in the system from 2000 on). The ids are listed first, the names read
    // after, in the same room.
    DWORD used = 0;
    if (!call.EnumProcesses || !call.GetModuleBaseNameA ||
        !call.EnumProcesses(found.ids, MostProcesses * sizeof(DWORD), &used)) {
        return found;
    }
    for (DWORD i = 0; i < used / sizeof(DWORD); ++i) {
        DWORD id = found.ids[i];
        HANDLE process = id == self ? nullptr : call.OpenProcess(QueryInformation, FALSE, id);
        if (!process) continue;
        char base[MAX_PATH];
        if (call.GetModuleBaseNameA(process, nullptr, base, MAX_PATH) && SameAnsiName(base, name)) {
            found.ids[found.count++] = id;
        }
        cli.host.CloseHandle(process);
    }
    found.listed = true;
    return found;
}

// The wait that Ctrl+C, Ctrl+Break or closing the console cancels: its event
// and the functions the handler, on a thread of its own, calls.
struct Cancel {
    HANDLE event;
    BOOL(WINAPI *SetEvent)(HANDLE event);
    void(WINAPI *Sleep)(DWORD milliseconds);
} g_cancel;
BOOL WINAPI CancelOnSignal(DWORD signal) {
    if (signal != CTRL_C_EVENT && signal != CTRL_BREAK_EVENT && signal != CTRL_CLOSE_EVENT) return FALSE;
    g_cancel.SetEvent(g_cancel.event);
    // Once this returns on a closing console the system ends the process: the
    // wait ends it first, with its own exit status.
    if (signal == CTRL_CLOSE_EVENT && g_cancel.Sleep) g_cancel.Sleep(5000);
    return TRUE;
}

// How often a wait for processes by name lists them anew: a process of that
// name that starts meanwhile is waited for too.
constexpr DWORD ListAgain = 1000;

// A process id as --after gives it; false for a name.
bool IdOf(const wchar_t *after, DWORD &id) { return ParseWholeNumber(after, ~DWORD(0), id); }

// The running processes of the name, other than this one.
Processes Named(const Cli &cli, const System &system, const wchar_t *after) {
    char *name = ToAnsi(after);
    Processes running = name ? ProcessesNamed(cli, system, name) : Processes{nullptr, 0, false};
    Release(name);
    return running;
}

// Opens each process given by id once (an id may be reused once its process
// has ended), into ids at its place (null for a name), and finds at least one
// process of each name; ExitFailed, said why, when one is not there.
int OpenProcesses(Cli &cli, const System &system, const Plan &plan, HANDLE *ids) {
    const char *action = plan.command->name;
    for (unsigned i = 0; i < plan.afterCount; ++i) ids[i] = nullptr;
    for (unsigned i = 0; i < plan.afterCount; ++i) {
        const wchar_t *after = plan.after[i];
        DWORD id;
        if (!IdOf(after, id)) {
            Processes running = Named(cli, system, after);
            Release(running.ids);
            if (!running.listed) {
                Say(cli, STD_ERROR_HANDLE,
                    "quell %S: not available: this system cannot list processes by name (Toolhelp or psapi.dll)\n",
                    action);
                return ExitFailed;
            }
            if (running.count) continue;
        } else if ((ids[i] = system.call.OpenProcess(SYNCHRONIZE, FALSE, id)) != nullptr) {
            continue;
        } else if (DWORD error = GetLastError(); error != ERROR_INVALID_PARAMETER) {
            // A process that ended (or never was) cannot be opened: "invalid parameter".
            Say(cli, STD_ERROR_HANDLE, "quell %S: cannot wait for process %q: %F; nothing done\n", action, after,
                error);
            return ExitFailed;
        }
        Say(cli, STD_ERROR_HANDLE, "quell %S: no such process: %q; nothing done\n", action, after);
        return ExitFailed;
    }
    return ExitSuccess;
}

// Waits until none of the processes runs: those given by id until each has
// ended, those of a name until two listings ListAgain apart find none (a
// program that hands over to a new process of its name is not cut off). One
// wait takes the cancelling event and at most 63 processes; the others are
// waited for once these have ended. ExitSuccess, ExitCancelled or ExitFailed.
int AwaitProcesses(Cli &cli, const System &system, const Plan &plan, HANDLE cancel, HANDLE *ids) {
    const WaitFunctions &call = system.call;
    bool byName = false;
    for (unsigned i = 0; i < plan.afterCount; ++i) {
        DWORD id;
        byName |= !IdOf(plan.after[i], id);
    }
    HANDLE batch[MAXIMUM_WAIT_OBJECTS];
    batch[0] = cancel;
    for (bool noneBefore = false;;) {
        DWORD running = 0;
        unsigned count = 0, opened;
        for (unsigned i = 0; i < plan.afterCount; ++i) {
            if (!ids[i]) continue;
            ++running;
            if (count < MostHandles) batch[1 + count++] = ids[i];
        }
        opened = count;  // the handles from here on are this round's, of processes by name
        for (unsigned i = 0; i < plan.afterCount; ++i) {
            DWORD id;
            if (IdOf(plan.after[i], id)) continue;
            Processes named = Named(cli, system, plan.after[i]);
            running += named.count;
            for (DWORD at = 0; at < named.count && count < MostHandles; ++at) {
                if (HANDLE process = call.OpenProcess(SYNCHRONIZE, FALSE, named.ids[at])) batch[1 + count++] = process;
            }
            Release(named.ids);
        }
        if (!running && (!byName || noneBefore)) return ExitSuccess;
        noneBefore = !running;
        DWORD woke = call.WaitForMultipleObjects(1 + count, batch, FALSE, byName ? ListAgain : INFINITE);
        DWORD error = GetLastError();
        HANDLE ended = woke > WAIT_OBJECT_0 && woke <= WAIT_OBJECT_0 + count ? batch[woke - WAIT_OBJECT_0] : nullptr;
        for (unsigned i = opened; i < count; ++i) cli.host.CloseHandle(batch[1 + i]);
        if (woke == WAIT_OBJECT_0) return ExitCancelled;
        if (woke != WAIT_TIMEOUT && !ended) {
            Say(cli, STD_ERROR_HANDLE, "quell %S: the wait failed: %F\n", plan.command->name, error);
            return ExitFailed;
        }
        for (unsigned i = 0; i < plan.afterCount; ++i) {
            if (!ended || ids[i] != ended) continue;
            cli.host.CloseHandle(ids[i]);
            ids[i] = nullptr;
        }
    }
}

unsigned Digits(DWORD value) {
    unsigned digits = 1;
    while (value /= 10) ++digits;
    return digits;
}

// Whether the output goes to a console, where the time left is updated in place.
bool ToConsole(const Cli &cli) {
    DWORD mode;
    return cli.host.GetConsoleMode(cli.host.GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

// The wait itself, with its event and its record made; ExitSuccess when the call is due.
int Wait(Cli &cli, const System &system, const Plan &plan, const Text &what, HANDLE cancel, HANDLE *ids,
         WaitRecord *record, DWORD &delay) {
    const WaitFunctions &call = system.call;
    const char *action = plan.command->name;
    bool console = ToConsole(cli);
    if (plan.afterCount) {
        Text names{};
        for (unsigned i = 0; i < plan.afterCount; ++i) Format(cli, names, "%S%q", i ? ", " : "", plan.after[i]);
        Say(cli, STD_OUTPUT_HANDLE, "quell %S: waiting until %s ha%S ended; then %s\n", action, names.data,
            plan.afterCount > 1 ? "ve" : "s", what.data);
        Release(names.data);
        if (int status = AwaitProcesses(cli, system, plan, cancel, ids)) return status;
    }
    HANDLE handles[1] = {cancel};
    // --at's moment: after the processes it may have come nearer or passed;
    // while quell.exe waits for it, the seconds left are asked anew each second,
    // so that daylight saving time or a clock set anew is followed. A delay is
    // counted in the tick count's seconds (the local clock's whole seconds
    // would cut one short).
    bool byClock = plan.at && plan.waiter == Waiter::Quell;
    DWORD left = plan.waiter == Waiter::Quell ? plan.wait : 0, mark = cli.host.GetTickCount(), due = 0;
    unsigned width = 0;
    for (bool first = true;; first = false) {
        if (plan.at && (first || byClock)) (byClock ? left : delay) = SecondsUntil(cli, plan.at);
        if (first) due = byClock ? plan.at : Now(cli) + left;
        if (first && record) record->due = due;
        if (!left) {
            if (console && !first) Say(cli, STD_OUTPUT_HANDLE, "\n");
            return ExitSuccess;
        }
        // What it will do, once; on a console then the time left, updated in place on a line
        // short enough for 80 columns (a wrapped line could not be returned to).
        Text line{};
        if (first) {
            Format(cli, line, "quell %S: %s at ", action, what.data);
            AppendMoment(cli, line, due);
            AppendAscii(line, "; Ctrl+C or `quell abort` cancels it\n");
            // The seconds right-aligned to the first count's width: a shorter count leaves nothing behind.
            width = Digits(left);
        }
        if (console) {
            Format(line, "\rquell %S: ", action);
            for (unsigned digits = Digits(left); digits < width; ++digits) AppendAscii(line, " ");
            Format(line, "%u s left", left);
        }
        Print(cli, STD_OUTPUT_HANDLE, line);
        Release(line.data);
        DWORD spent = cli.host.GetTickCount() - mark;
        if (call.WaitForMultipleObjects(1, handles, FALSE, spent < 1000 ? 1000 - spent : 0) == WAIT_OBJECT_0) {
            if (console) Say(cli, STD_OUTPUT_HANDLE, "\n");
            return ExitCancelled;
        }
        if (cli.host.GetTickCount() - mark >= 1000) {
            mark += 1000;
            --left;
        }
    }
}

}  // namespace

int WaitBeforeCall(Cli &cli, const Plan &plan, const Text &what, DWORD &delay) {
    System system;
    const char *action = plan.command->name;
    if (!Load(cli, system)) {
        Unload(cli, system);
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: this system's kernel32.dll cannot wait\n", action);
        return ExitFailed;
    }
    const WaitFunctions &call = system.call;
    // One handle for each --after given by id, on the heap: there is no limit to how many.
    auto ids = static_cast<HANDLE *>(Grow(nullptr, (plan.afterCount + 1) * sizeof(HANDLE)));
    int status = ids ? OpenProcesses(cli, system, plan, ids) : ExitFailed;
    char name[128];
    DWORD self = cli.host.GetCurrentProcessId();
    HANDLE mapping = nullptr, cancel = nullptr;
    WaitRecord *record = nullptr;
    if (status == ExitSuccess) {
        NameObject(cli, system, "", self, name);
        // Unnamed where the name cannot be made: Ctrl+C still cancels it.
        cancel = call.CreateEventA(nullptr, TRUE, FALSE, name);
        if (!cancel) cancel = call.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        NameObject(cli, system, "Record", self, name);
        mapping = call.CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(WaitRecord), name);
        if (mapping) record = static_cast<WaitRecord *>(call.MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        if (record) {
            unsigned i = 0;
            for (; action[i] && i + 1 < sizeof record->action; ++i) record->action[i] = action[i];
            record->action[i] = 0;
            record->due = plan.afterCount ? 0 : Now(cli) + plan.wait;
        }
        if (!cancel) {
            Say(cli, STD_ERROR_HANDLE, "quell %S: cannot wait: %F\n", action, GetLastError());
            status = ExitFailed;
        }
    }
    if (status == ExitSuccess) {
        g_cancel = {cancel, call.SetEvent, call.Sleep};
        bool handled = call.SetConsoleCtrlHandler && call.SetConsoleCtrlHandler(CancelOnSignal, TRUE);
        status = Wait(cli, system, plan, what, cancel, ids, record, delay);
        if (handled) call.SetConsoleCtrlHandler(CancelOnSignal, FALSE);
        if (status == ExitCancelled) Say(cli, STD_ERROR_HANDLE, "quell %S: cancelled; nothing done\n", action);
    }
    if (record) call.UnmapViewOfFile(record);
    if (mapping) cli.host.CloseHandle(mapping);
    if (cancel) cli.host.CloseHandle(cancel);
    for (unsigned i = 0; ids && i < plan.afterCount; ++i) {
        if (ids[i]) cli.host.CloseHandle(ids[i]);
    }
    Release(ids);
    Unload(cli, system);
    return status;
}

long RunningNow(const Cli &cli, const wchar_t *after) {
    System system;
    long running = -1;
    DWORD id;
    bool loaded = Load(cli, system);
    if (loaded && IdOf(after, id)) {
        HANDLE process = system.call.OpenProcess(SYNCHRONIZE, FALSE, id);
        running = process != nullptr;
        if (process) cli.host.CloseHandle(process);
    } else if (loaded) {
        Processes named = Named(cli, system, after);
        if (named.listed) running = static_cast<long>(named.count);
        Release(named.ids);
    }
    Unload(cli, system);
    return running;
}

DWORD CancelWaits(const Cli &cli, bool cancel) {
    System system;
    DWORD cancelled = 0;
    if (Load(cli, system)) {
        const WaitFunctions &call = system.call;
        Processes waiting = ProcessesNamed(cli, system, "quell.exe");
        for (DWORD at = 0; at < waiting.count; ++at) {
            char name[128];
            NameObject(cli, system, "", waiting.ids[at], name);
            HANDLE event = call.OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
            if (!event) continue;
            if (!cancel || call.SetEvent(event)) ++cancelled;
            cli.host.CloseHandle(event);
        }
        Release(waiting.ids);
    }
    Unload(cli, system);
    return cancelled;
}

namespace {

// A waiting quell.exe as pending finds it: its process and its record.
struct Waiting {
    DWORD process;
    WaitRecord record;
};
// What pending found, asked before a line of it is written.
struct PendingFacts {
    bool listed;     // false: the system cannot list processes
    Waiting *found;  // on the heap
    DWORD count;
};

void AskPending(const Cli &cli, PendingFacts &facts) {
    System system;
    if (Load(cli, system)) {
        const WaitFunctions &call = system.call;
        Processes waiting = ProcessesNamed(cli, system, "quell.exe");
        facts.listed = waiting.listed;
        facts.found = static_cast<Waiting *>(Grow(nullptr, (waiting.count + 1) * sizeof(Waiting)));
        for (DWORD at = 0; facts.found && at < waiting.count; ++at) {
            char name[128];
            NameObject(cli, system, "Record", waiting.ids[at], name);
            HANDLE mapping = call.OpenFileMappingA(FILE_MAP_READ, FALSE, name);
            if (!mapping) continue;
            auto view = static_cast<const WaitRecord *>(call.MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
            if (view) {
                Waiting &found = facts.found[facts.count++];
                found.process = waiting.ids[at];
                found.record = *view;
                found.record.action[sizeof found.record.action - 1] = 0;
                call.UnmapViewOfFile(view);
            }
            cli.host.CloseHandle(mapping);
        }
        Release(waiting.ids);
    }
    Unload(cli, system);
}

// pending --json: {"waits": [{"processId": n, "action": "...", "due": "..." or null}, ...]}.
void PendingJson(Text &out, const PendingFacts &facts) {
    Json json = JsonInto(out);
    JsonOpen(json, '{');
    JsonKey(json, "waits");
    JsonOpen(json, '[');
    for (DWORD i = 0; i < facts.count; ++i) {
        const Waiting &waiting = facts.found[i];
        JsonOpen(json, '{');
        JsonKey(json, "processId");
        JsonUnsigned(json, waiting.process);
        JsonKey(json, "action");
        JsonAscii(json, waiting.record.action);
        JsonKey(json, "due");
        if (waiting.record.due) {
            Text due{};
            AppendIsoMoment(due, waiting.record.due);
            JsonString(json, due.data);
            Release(due.data);
        } else {
            JsonNull(json);
        }
        JsonClose(json, '{');
    }
    JsonClose(json, '[');
    JsonClose(json, '{');
    AppendAscii(out, "\n");
}

void PendingText(Text &out, const PendingFacts &facts) {
    for (DWORD i = 0; i < facts.count; ++i) {
        const Waiting &waiting = facts.found[i];
        Format(out, "%u  %S  ", waiting.process, waiting.record.action);
        if (waiting.record.due) {
            AppendAscii(out, "due ");
            AppendIsoMoment(out, waiting.record.due);
        } else {
            AppendAscii(out, "waits for a process to end");
        }
        AppendAscii(out, "\n");
    }
    if (!facts.count) AppendAscii(out, "no quell.exe of this user is waiting\n");
}

}  // namespace

int Pending(Cli &cli, bool json) {
    PendingFacts facts = {false, nullptr, 0};
    AskPending(cli, facts);
    Text out{};
    if (!facts.listed) {
        Say(cli, STD_ERROR_HANDLE, "quell pending: not available: this system cannot list processes\n");
    } else if (json) {
        PendingJson(out, facts);
    } else {
        PendingText(out, facts);
    }
    Print(cli, STD_OUTPUT_HANDLE, out);
    Release(out.data);
    Release(facts.found);
    return facts.listed ? ExitSuccess : ExitFailed;
}
