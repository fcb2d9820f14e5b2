// quell blockers: the top-level windows that hold a shutdown block reason
// (Windows Vista and later), read through Quell.dll's ShutdownBlockReasonQuery.
#include "plan.h"
#include "reports.h"
#include "json.h"
#include "load_quell.h"
#include "messages.h"

namespace {

constexpr DWORD ProcessQueryLimitedInformation = 0x1000;  // Vista and later
constexpr DWORD LongestPath = 32768;                      // in characters, with the terminating null
constexpr int LongestTitle = 1024;

// What it asks the system, looked up at run time in the system directory's
// user32.dll and kernel32.dll (nothing of it is imported), in the order of
// their names below.
#define QUELL_BLOCKERS_USER32(X)                                                                                       \
  X(BOOL, EnumWindows, (WNDENUMPROC visit, LPARAM context))                                                            \
  X(int, GetWindowTextW, (HWND window, LPWSTR text, int size))                                                         \
  X(DWORD, GetWindowThreadProcessId, (HWND window, LPDWORD process))
QUELL_SYSTEM_FUNCTIONS(User32Windows, QUELL_BLOCKERS_USER32);
#define QUELL_BLOCKERS_KERNEL32(X)                                                                                     \
  X(HANDLE, OpenProcess, (DWORD access, BOOL inherit, DWORD process))                                                  \
  X(BOOL, QueryFullProcessImageNameW, (HANDLE process, DWORD flags, LPWSTR path, PDWORD size))
QUELL_SYSTEM_FUNCTIONS(Kernel32Windows, QUELL_BLOCKERS_KERNEL32);
struct WindowFunctions : User32Windows, Kernel32Windows {};

// A window that holds a reason, with its process's program (null where not
// readable), its title and the reason, on the heap.
struct Blocker {
    DWORD process;
    wchar_t *program;
    Text title;
    wchar_t *reason;
};

// What blockers found, asked before a line of it is written.
struct BlockerFacts {
    const Cli &cli;
    WindowFunctions system;
    bool present;    // Quell.dll is loaded with ShutdownBlockReasonQuery
    bool available;  // and the system keeps block reasons
    LONG probe;      // its answer for no window, and the last-error value it left
    DWORD probeError;
    bool listed;      // the windows were listed
    DWORD listError;  // else why not
    Blocker *found;   // on the heap
    DWORD count;
    DWORD refused;  // windows whose reason the system would not let this process read
};

// The window's reason on the heap: its length asked first, then the text.
// Null when the window holds none or it cannot be read (error says why).
wchar_t *ReadReason(const Cli &cli, HWND window, DWORD &error) {
    auto query = cli.quell.ShutdownBlockReasonQuery;
    DWORD size = 0;
    SetLastError(0);
    if (!query(window, nullptr, &size)) {
        error = GetLastError();
        return nullptr;
    }
    // One more, as the length may or may not count the terminating null.
    DWORD capacity = size + 1;
    auto reason = static_cast<wchar_t *>(Grow(nullptr, capacity * sizeof(wchar_t)));
    if (reason && query(window, reason, &capacity)) {
        reason[size] = 0;
        return reason;
    }
    error = GetLastError();
    Release(reason);
    return nullptr;
}

// The full path of the process's program file on the heap; null where it is not readable.
wchar_t *ReadProgram(const Cli &cli, const WindowFunctions &system, DWORD process) {
    if (!system.OpenProcess || !system.QueryFullProcessImageNameW) return nullptr;
    HANDLE handle = system.OpenProcess(ProcessQueryLimitedInformation, FALSE, process);
    if (!handle) return nullptr;
    auto path = static_cast<wchar_t *>(Grow(nullptr, LongestPath * sizeof(wchar_t)));
    DWORD size = LongestPath;
    if (path && !system.QueryFullProcessImageNameW(handle, 0, path, &size)) {
        Release(path);
        path = nullptr;
    }
    cli.host.CloseHandle(handle);
    return path;
}

BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
    BlockerFacts &facts = *reinterpret_cast<BlockerFacts *>(context);
    DWORD error = 0;
    wchar_t *reason = ReadReason(facts.cli, window, error);
    if (!reason) {
        if (error == ERROR_ACCESS_DENIED) ++facts.refused;
        return TRUE;
    }
    auto grown = static_cast<Blocker *>(Grow(facts.found, (facts.count + 1) * sizeof(Blocker)));
    if (!grown) {
        Release(reason);
        return TRUE;
    }
    facts.found = grown;
    Blocker &blocker = facts.found[facts.count++];
    blocker.process = 0;
    facts.system.GetWindowThreadProcessId(window, &blocker.process);
    wchar_t title[LongestTitle];
    title[0] = 0;  // GetWindowTextW may leave the buffer as it was when the window has no title
    facts.system.GetWindowTextW(window, title, LongestTitle);
    blocker.title = Text{};
    Append(blocker.title, title);
    blocker.program = ReadProgram(facts.cli, facts.system, blocker.process);
    blocker.reason = reason;
    return TRUE;
}

// Asks Quell.dll whether the system keeps block reasons, then each window for its reason.
void AskBlockers(Cli &cli, BlockerFacts &facts) {
    auto query = LibraryReady(cli) ? cli.quell.ShutdownBlockReasonQuery : nullptr;
    // Where the system keeps no block reasons, Quell.dll answers 0 with last
    // error 120 whatever the window; the system itself refuses a null window.
    DWORD size = 0;
    facts.present = query != nullptr;
    facts.probeError = 0;
    facts.probe = query ? Asked(facts.probeError, query, nullptr, nullptr, &size) : FALSE;
    facts.available = query && !cli.ansi && (facts.probe || facts.probeError != ERROR_CALL_NOT_IMPLEMENTED);
    if (!facts.available) return;
    HMODULE user32 = LoadSystem(cli, "user32.dll", static_cast<User32Windows &>(facts.system));
    HMODULE kernel32 = LoadSystem(cli, "kernel32.dll", static_cast<Kernel32Windows &>(facts.system));
    const WindowFunctions &system = facts.system;
    facts.listed = system.EnumWindows && system.GetWindowTextW && system.GetWindowThreadProcessId &&
                   system.EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&facts));
    facts.listError = GetLastError();
    if (user32) cli.host.FreeLibrary(user32);
    if (kernel32) cli.host.FreeLibrary(kernel32);
}

// blockers --json: {"available": ..., "blockers": [...]}; "available" null without Quell.dll or its
// export; "blockers" null where the windows could not be listed (an empty list would say none blocks).
void BlockersJson(Text &out, const BlockerFacts &facts) {
    Json json = JsonInto(out);
    JsonOpen(json, '{');
    JsonKey(json, "available");
    if (facts.present) {
        JsonBool(json, facts.available);
    } else {
        JsonNull(json);
    }
    JsonKey(json, "blockers");
    if (facts.available && !facts.listed) {
        JsonNull(json);
    } else {
        JsonOpen(json, '[');
        for (DWORD i = 0; i < facts.count; ++i) {
            const Blocker &blocker = facts.found[i];
            JsonLine(json, 2);
            JsonOpen(json, '{');
            JsonKey(json, "processId");
            JsonUnsigned(json, blocker.process);
            JsonKey(json, "program");
            JsonString(json, blocker.program);
            JsonKey(json, "title");
            JsonString(json, blocker.title.data ? blocker.title.data : L"");
            JsonKey(json, "reason");
            JsonString(json, blocker.reason);
            JsonClose(json, '}');
        }
        if (facts.count) JsonLine(json, 0);
        JsonClose(json, '[');
    }
    JsonClose(json, '}');
    AppendAscii(out, "\n");
}

void BlockersText(const Cli &cli, Text &out, const BlockerFacts &facts) {
    if (facts.count) Format(cli, out, "%u window(s) hold a shutdown block reason:\n", facts.count);
    for (DWORD i = 0; i < facts.count; ++i) {
        const Blocker &blocker = facts.found[i];
        Format(cli, out, "  process %u (%s), window \"%s\": %s\n", blocker.process,
               blocker.program ? blocker.program : L"program not readable",
               blocker.title.data ? blocker.title.data : L"", blocker.reason);
    }
    // Only when every window answered: a refusal leaves the question open.
    if (!facts.count && !facts.refused) AppendAscii(out, "No program blocks the end of the session.\n");
}

}  // namespace

int Blockers(Cli &cli, bool json) {
    BlockerFacts facts{cli, {}, false, false, 0, 0, false, 0, nullptr, 0, 0};
    AskBlockers(cli, facts);
    // Without Quell.dll or its export, --json still writes its object: "available" null.
    if (cli.loaded && !facts.present) SayMissing(cli, ExportName(Export_ShutdownBlockReasonQuery));
    if (facts.present && !facts.available) {
        Say(cli, STD_ERROR_HANDLE, "quell: this system keeps no shutdown block reasons: %S = %d, %F\n",
            ExportName(Export_ShutdownBlockReasonQuery), facts.probe, facts.probeError);
    } else if (facts.available && !facts.listed) {
        Say(cli, STD_ERROR_HANDLE, "quell: the windows could not be listed: %F\n", facts.listError);
    }
    Text out{};
    if (json) BlockersJson(out, facts);
    if (!json && facts.listed) BlockersText(cli, out, facts);
    Print(cli, STD_OUTPUT_HANDLE, out);
    Release(out.data);
    if (facts.refused) {
        Say(cli, STD_ERROR_HANDLE, "quell: %u window(s) refused the query: %E\n", facts.refused,
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    for (DWORD i = 0; i < facts.count; ++i) {
        Release(facts.found[i].program);
        Release(facts.found[i].title.data);
        Release(facts.found[i].reason);
    }
    Release(facts.found);
    return !facts.present ? ExitNoLibrary : facts.listed ? ExitSuccess : ExitFailed;
}
