/* The end-to-end tests' witness inside a throwaway Wine session. One mode per
 * run; each appends what it saw to RECORD, one UTF-8 line at a time, so that
 * the driver outside Wine can wait on the file.
 *   window RECORD [REASON]
 *                      a top-level window that records each WM_QUERYENDSESSION
 *                      (answered TRUE) and WM_ENDSESSION until its session
 *                      ends; it leaves a Run entry that records
 *                      "restarted" when the session restarts. With REASON it
 *                      holds that shutdown block reason through user32.dll,
 *                      and records how that went after "ready".
 *   mark RECORD TEXT   records TEXT (what the Run entry runs)
 *   settle RECORD OTHERS
 *                      waits until no wineboot.exe runs and at most OTHERS
 *                      other witnesses do: a session end that Wine started
 *                      has then run its course, and what its restart started
 *   answer RECORD PROGRAM BUTTON
 *                      waits for a dialog of PROGRAM, records its title and
 *                      controls, and presses BUTTON (no, cancel)
 *   block RECORD REASON [QUELL_DLL]
 *                      block reasons on a window of its own, through
 *                      Quell.dll when given, else through user32.dll
 *   call RECORD NAME...
 *                      system functions called directly, to compare with the
 *                      exports that forward to them
 *   linger RECORD MILLISECONDS
 *                      records "process ID", then after that long "ending",
 *                      and ends: a process for quell.exe --after to wait for
 * Exit status 0: done; 1: what it waited for never came; 2: usage or set-up. */
#include <windows.h>
#include <powrprof.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#define WAIT_MILLISECONDS 20000
#define POLL_MILLISECONDS 10

static const wchar_t *record_path;

/* Opened and closed for each line, so that a reader sees the line even if
 * this process is ended right after. */
static void record(const char *format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0) return;
    if (length > (int)sizeof line - 2) length = (int)sizeof line - 2;
    line[length++] = '\n';
    HANDLE file = CreateFileW(record_path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, line, (DWORD)length, &written, NULL);
    CloseHandle(file);
}

/* UTF-8 of a wide string, in one of a few rotating buffers. */
static const char *utf8(const wchar_t *text) {
    static char buffers[4][1024];
    static int next;
    char *buffer = buffers[next++ % 4];
    if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffers[0], NULL, NULL)) buffer[0] = 0;
    return buffer;
}

/* The ids of the running processes of PROGRAM; returns how many there are. */
static int find_processes(const wchar_t *program, DWORD *ids, int capacity) {
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, program)) continue;
        if (count < capacity) ids[count] = entry.th32ProcessID;
        ++count;
    }
    CloseHandle(snapshot);
    return count;
}

/* ---- window ---------------------------------------------------------------- */

static LRESULT CALLBACK witness_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_QUERYENDSESSION: record("query lParam=0x%08lX answer=1", (unsigned long)lparam); return TRUE;
    case WM_ENDSESSION: record("end wParam=%u lParam=0x%08lX", (unsigned)wparam, (unsigned long)lparam); return 0;
    case WM_CLOSE: record("close"); break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

static HWND create_witness_window(void) {
    WNDCLASSW window_class = {0};
    window_class.lpfnWndProc = witness_procedure;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"QuellWitness";
    window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"QuellWitness", L"Quell witness", WS_OVERLAPPEDWINDOW, 10, 10, 240, 120, NULL,
                                  NULL, window_class.hInstance, NULL);
    if (window) ShowWindow(window, SW_SHOWNORMAL);
    return window;
}

/* Wine's wineboot runs the Run entries when it restarts an ended session, not
 * when it shuts one down, nor when a program starts the next session. */
static BOOL leave_run_entry(void) {
    wchar_t self[MAX_PATH], command[3 * MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    if (!length || length == MAX_PATH) return FALSE;
    int written =
        _snwprintf(command, sizeof command / sizeof *command, L"\"%ls\" mark \"%ls\" restarted", self, record_path);
    if (written < 0 || written >= (int)(sizeof command / sizeof *command)) return FALSE;
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0, NULL, 0,
                        KEY_SET_VALUE, NULL, &key, NULL))
        return FALSE;
    LONG status = RegSetValueExW(key, L"QuellWitness", 0, REG_SZ, (const BYTE *)command,
                                 (DWORD)((wcslen(command) + 1) * sizeof *command));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

static int witness_window(const wchar_t *reason) {
    HWND window = create_witness_window();
    if (!window || !leave_run_entry()) {
        record("set-up failed window=%p error=%lu", (void *)window, GetLastError());
        return 2;
    }
    BOOL created = FALSE;
    DWORD error = 0;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    BOOL(WINAPI * create)
    (HWND, LPCWSTR) = (BOOL(WINAPI *)(HWND, LPCWSTR))(void *)GetProcAddress(user32, "ShutdownBlockReasonCreate");
    if (reason && create) {
        SetLastError(0);
        created = create(window, reason);
        error = GetLastError();
    }
    record("ready");
    if (reason) {
        record("reason Create=%d error=%lu Query=%s process=%lu", created, error,
               GetProcAddress(user32, "ShutdownBlockReasonQuery") ? "offered" : "missing", GetCurrentProcessId());
    }
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    record("exit");
    return 0;
}

/* ---- settle ---------------------------------------------------------------- */

static int settle(int others) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, self, MAX_PATH);
    const wchar_t *name = self + length;
    while (name > self && name[-1] != L'\\') --name;
    for (DWORD waited = 0; waited < WAIT_MILLISECONDS; waited += POLL_MILLISECONDS) {
        if (!find_processes(L"wineboot.exe", NULL, 0) && find_processes(name, NULL, 0) <= others + 1) {
            record("settled");
            return 0;
        }
        Sleep(POLL_MILLISECONDS);
    }
    record("unsettled: wineboot.exe %d, witnesses %d", find_processes(L"wineboot.exe", NULL, 0),
           find_processes(name, NULL, 0));
    return 1;
}

/* ---- answer ---------------------------------------------------------------- */

struct dialog_search {
    DWORD processes[16];
    int process_count;
    HWND dialog;
};

static BOOL CALLBACK find_dialog(HWND window, LPARAM lparam) {
    struct dialog_search *search = (struct dialog_search *)lparam;
    wchar_t class_name[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!IsWindowVisible(window) || !GetClassNameW(window, class_name, 64) || wcscmp(class_name, L"#32770"))
        return TRUE;
    for (int i = 0; i < search->process_count && i < 16; ++i) {
        if (search->processes[i] == process) {
            search->dialog = window;
            return FALSE;
        }
    }
    return TRUE;
}

static BOOL CALLBACK record_control(HWND control, LPARAM unused) {
    (void)unused;
    wchar_t class_name[64], text[512];
    if (!GetClassNameW(control, class_name, 64)) class_name[0] = 0;
    GetWindowTextW(control, text, 512);
    record("control class=%s id=%d text=%s", utf8(class_name), GetDlgCtrlID(control), utf8(text));
    return TRUE;
}

static int answer(const wchar_t *program, const wchar_t *button) {
    int id = !wcscmp(button, L"no") ? IDNO : !wcscmp(button, L"cancel") ? IDCANCEL : 0;
    if (!id) return 2;
    struct dialog_search search = {{0}, 0, NULL};
    for (DWORD waited = 0; !search.dialog && waited < WAIT_MILLISECONDS; waited += POLL_MILLISECONDS) {
        search.process_count = find_processes(program, search.processes, 16);
        EnumWindows(find_dialog, (LPARAM)&search);
        if (!search.dialog) Sleep(POLL_MILLISECONDS);
    }
    if (!search.dialog) {
        record("no dialog");
        return 1;
    }
    wchar_t title[512];
    GetWindowTextW(search.dialog, title, 512);
    record("dialog title=%s", utf8(title));
    EnumChildWindows(search.dialog, record_control, 0);
    HWND control = GetDlgItem(search.dialog, id);
    if (!control) {
        record("no button %d", id);
        return 1;
    }
    PostMessageW(search.dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)control);
    record("pressed %d", id);
    return 0;
}

/* ---- block reasons --------------------------------------------------------- */

typedef BOOL(WINAPI *BlockCreate)(HWND, LPCWSTR);
typedef BOOL(WINAPI *BlockQuery)(HWND, LPWSTR, DWORD *);
typedef BOOL(WINAPI *BlockDestroy)(HWND);

static void query_reason(HWND window, BlockQuery query) {
    if (!query) {
        record("Query missing");
        return;
    }
    wchar_t text[256] = L"";
    DWORD size = 256;
    SetLastError(0);
    BOOL result = query(window, text, &size);
    DWORD error = GetLastError();
    record("Query=%d error=%lu text=%s", result, error, result ? utf8(text) : "");
}

/* Create, Query, Destroy, Query on a window of its own, one line each, through
 * Quell.dll when its path is given, else through user32.dll. */
static int block(const wchar_t *reason, const wchar_t *quell_path) {
    HWND window = create_witness_window();
    HMODULE module = quell_path ? LoadLibraryW(quell_path) : GetModuleHandleW(L"user32.dll");
    if (!window || !module) {
        record("set-up failed window=%p module=%p error=%lu", (void *)window, (void *)module, GetLastError());
        return 2;
    }
    BlockCreate create = (BlockCreate)(void *)GetProcAddress(module, "ShutdownBlockReasonCreate");
    BlockQuery query = (BlockQuery)(void *)GetProcAddress(module, "ShutdownBlockReasonQuery");
    BlockDestroy destroy = (BlockDestroy)(void *)GetProcAddress(module, "ShutdownBlockReasonDestroy");
    if (create) {
        SetLastError(0);
        BOOL result = create(window, reason);
        record("Create=%d error=%lu", result, GetLastError());
    } else {
        record("Create missing");
    }
    query_reason(window, query);
    if (destroy) {
        SetLastError(0);
        BOOL result = destroy(window);
        record("Destroy=%d error=%lu", result, GetLastError());
    } else {
        record("Destroy missing");
    }
    query_reason(window, query);
    return 0;
}

/* ---- system functions called directly ----------------------------------- */

static int call(const wchar_t *name) {
    BOOL result;
    SetLastError(0);
    if (!wcscmp(name, L"GetPwrCapabilities")) {
        SYSTEM_POWER_CAPABILITIES capabilities;
        memset(&capabilities, 0, sizeof capabilities);
        result = GetPwrCapabilities(&capabilities);
        DWORD error = GetLastError();
        record("GetPwrCapabilities=%d error=%lu S1=%d S2=%d S3=%d S4=%d HiberFilePresent=%d", result, error,
               capabilities.SystemS1, capabilities.SystemS2, capabilities.SystemS3, capabilities.SystemS4,
               capabilities.HiberFilePresent);
        return 0;
    }
    if (!wcscmp(name, L"LockWorkStation")) {
        result = LockWorkStation();
    } else if (!wcscmp(name, L"SetSuspendState-standby")) {
        result = SetSuspendState(FALSE, FALSE, TRUE);
    } else if (!wcscmp(name, L"SetSuspendState-hibernate")) {
        result = SetSuspendState(TRUE, FALSE, TRUE);
    } else {
        record("unknown %s", utf8(name));
        return 2;
    }
    DWORD error = GetLastError();
    record("%s=%d error=%lu", utf8(name), result, error);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
    (void)instance, (void)previous, (void)command_line, (void)show;
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 2;
    record_path = argv[2];
    const wchar_t *mode = argv[1];
    if (!wcscmp(mode, L"window") && (argc == 3 || argc == 4)) return witness_window(argc == 4 ? argv[3] : NULL);
    if (!wcscmp(mode, L"mark") && argc == 4) {
        record("%s", utf8(argv[3]));
        return 0;
    }
    if (!wcscmp(mode, L"settle") && argc == 4) return settle(_wtoi(argv[3]));
    if (!wcscmp(mode, L"answer") && argc == 5) return answer(argv[3], argv[4]);
    if (!wcscmp(mode, L"block") && (argc == 4 || argc == 5)) return block(argv[3], argc == 5 ? argv[4] : NULL);
    if (!wcscmp(mode, L"linger") && argc == 4) {
        record("process %lu", (unsigned long)GetCurrentProcessId());
        Sleep((DWORD)_wtoi(argv[3]));
        record("ending");
        return 0;
    }
    if (!wcscmp(mode, L"call") && argc >= 4) {
        int status = 0;
        for (int i = 3; i < argc; ++i) status |= call(argv[i]);
        return status;
    }
    return 2;
}
