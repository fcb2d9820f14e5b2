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

// The walk over the windows: what it has found so far.
struct Scan {
    const Cli &cli;
    WindowFunctions system;
    Json *json;  // blockers --json: the report being written into out
    Text out;
    DWORD found;
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
    Scan &scan = *reinterpret_cast<Scan *>(context);
    DWORD error = 0;
    wchar_t *reason = ReadReason(scan.cli, window, error);
    if (!reason) {
        if (error == ERROR_ACCESS_DENIED) ++scan.refused;
        return TRUE;
    }
    DWORD process = 0;
    scan.system.GetWindowThreadProcessId(window, &process);
    wchar_t title[LongestTitle];
    title[0] = 0;  // GetWindowTextW may leave the buffer as it was when the window has no title
    scan.system.GetWindowTextW(window, title, LongestTitle);
    wchar_t *program = ReadProgram(scan.cli, scan.system, process);
    Text &out = scan.out;
    if (Json *json = scan.json) {
        JsonLine(*json, 2);
        JsonOpen(*json, '{');
        JsonKey(*json, "processId");
        JsonUnsigned(*json, process);
        JsonKey(*json, "program");
        JsonString(*json, program);
        JsonKey(*json, "title");
        JsonString(*json, title);
        JsonKey(*json, "reason");
        JsonString(*json, reason);
        JsonClose(*json, '}');
    } else {
        Format(scan.cli, out, "  process %u (%s), window \"%s\": %s\n", process,
               program ? program : L"program not readable", title, reason);
    }
    ++scan.found;
    Release(program);
    Release(reason);
    return TRUE;
}

}  // namespace

int Blockers(Cli &cli, bool json) {
    // Without Quell.dll or its export, --json still writes its object: "available" null.
    bool loaded = LibraryReady(cli);
    auto query = loaded ? cli.quell.ShutdownBlockReasonQuery : nullptr;
    if (loaded && !query) SayMissing(cli, ExportName(Export_ShutdownBlockReasonQuery));
    // Where the system keeps no block reasons, Quell.dll answers 0 with last
    // error 120 whatever the window; the system itself refuses a null window.
    DWORD size = 0, error = 0;
    BOOL probe = query ? Asked(error, query, nullptr, nullptr, &size) : FALSE;
    bool available = query && !cli.ansi && (probe || error != ERROR_CALL_NOT_IMPLEMENTED);

    Scan scan{cli, {}, nullptr, {}, 0, 0};
    Json report = JsonInto(scan.out);
    if (json) {
        scan.json = &report;
        JsonOpen(report, '{');
        JsonKey(report, "available");
        if (query) {
            JsonBool(report, available);
        } else {
            JsonNull(report);
        }
        JsonKey(report, "blockers");
        JsonOpen(report, '[');
    }
    HMODULE user32 = nullptr, kernel32 = nullptr;
    int status = query ? ExitFailed : ExitNoLibrary;
    if (query && !available) {
        Say(cli, STD_ERROR_HANDLE,
            "quell: this system keeps no shutdown block reasons: ShutdownBlockReasonQuery = %d, %F\n",
            static_cast<long>(probe), error);
    } else if (available) {
        user32 = LoadSystem(cli, "user32.dll", static_cast<User32Windows &>(scan.system));
        kernel32 = LoadSystem(cli, "kernel32.dll", static_cast<Kernel32Windows &>(scan.system));
        const WindowFunctions &system = scan.system;
        if (system.EnumWindows && system.GetWindowTextW && system.GetWindowThreadProcessId &&
            system.EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&scan))) {
            status = ExitSuccess;
        } else {
            Say(cli, STD_ERROR_HANDLE, "quell: the windows could not be listed: %F\n", GetLastError());
        }
    }
    Text text{};
    if (json && (status == ExitSuccess || !available)) {
        if (scan.found) JsonLine(report, 0);
        JsonClose(report, '[');
        JsonClose(report, '}');
        AppendAscii(scan.out, "\n");
        Print(cli, STD_OUTPUT_HANDLE, scan.out);
    } else if (status == ExitSuccess && scan.found) {
        Format(cli, text, "%u window(s) hold a shutdown block reason:\n%s", scan.found, scan.out.data);
    } else if (status == ExitSuccess && !scan.refused) {
        // Only when every window answered: a refusal leaves the question open.
        AppendAscii(text, "No program blocks the end of the session.\n");
    }
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
    if (scan.refused) {
        Say(cli, STD_ERROR_HANDLE, "quell: %u window(s) refused the query: %E\n", scan.refused,
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    Release(scan.out.data);
    if (user32) cli.host.FreeLibrary(user32);
    if (kernel32) cli.host.FreeLibrary(kernel32);
    return status;
}
