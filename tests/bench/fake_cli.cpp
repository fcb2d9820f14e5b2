// The fake system of fake_cli.h: its functions, served to quell.exe's code through
// FakeHost and through GetProcAddress.
#include "fake_cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <shlwapi.h>
#include <tlhelp32.h>

FakeSystem g_system;
std::vector<Recorded> g_calls;
LONG g_result = -1;  // what every fake export returns
DWORD g_error = 0;   // the last-error value every fake export leaves

std::vector<FakeProcess> DefaultProcesses() {
    return {{4, "System"},
            {SelfId, "quell.exe"},
            {1234, "backup.exe", 30},
            {1235, "BACKUP.EXE", 50},
            {1236, "render.exe", 120}};
}

namespace {
constexpr UINT ConsoleCodePage = 850;  // the fake Windows 95's; the ANSI code page is the real one
}  // namespace

const char *SystemDirectory() { return g_system.nt ? "C:\\WINDOWS\\system32" : "C:\\WINDOWS\\SYSTEM"; }

std::string Encode(const std::wstring &text, UINT codePage) {
    std::string bytes(text.size() * 4 + 1, '\0');
    bytes.resize(
        static_cast<size_t>(WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}
std::wstring Decode(const std::string &bytes, UINT codePage) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                                        text.data(), static_cast<int>(text.size()))));
    return text;
}
// A text as the program sees it after the command line (ANSI on Windows 95).
std::wstring Typed(const std::wstring &text) { return g_system.nt ? text : Decode(Encode(text, CP_ACP), CP_ACP); }
// ... and as it then shows in the output (the console's code page on Windows 95).
std::wstring Seen(const std::wstring &text) {
    return g_system.nt ? text : Decode(Encode(Typed(text), ConsoleCodePage), ConsoleCodePage);
}
// What went to a file or pipe, its lines ended with CR LF as Windows programs' are, read with LF.
std::wstring Lines(const std::string &bytes) {
    std::wstring text = Decode(bytes, g_system.nt ? CP_UTF8 : ConsoleCodePage), lines;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == L'\r' && at + 1 < text.size() && text[at + 1] == L'\n') continue;
        EXPECT_TRUE(text[at] != L'\n' || (at && text[at - 1] == L'\r')) << "a line ended with LF alone";
        lines += text[at];
    }
    return lines;
}
std::wstring Out() { return Lines(g_system.outBytes) + g_system.outConsole; }
std::wstring Err() { return Lines(g_system.errBytes); }
std::wstring Wide(const std::string &ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::wstring ProgramOf(DWORD process) { return L"C:\\Programme\\Sicherung\\app" + std::to_wstring(process) + L".exe"; }

namespace {

bool Running(const FakeProcess &process, DWORD elapsed) {
    return process.startsAt * 1000ull <= elapsed && elapsed < process.endsAt * 1000ull;
}

// On x64 above 4 GiB, where module handles may lie, so that one kept in 32 bits shows.
HMODULE const QuellModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7FF505150000ull));
HMODULE const SystemModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x7FF505160000ull));
HANDLE const OutHandle = reinterpret_cast<HANDLE>(11), ErrHandle = reinterpret_cast<HANDLE>(12);

// ---- the fake system's functions ----------------------------------------------

void Called(const char *name) { g_system.systemCalls.push_back(name); }
// The W functions, which Windows 95 does not implement.
#define WIDE_FAILS_OFF_NT(name, failure)                                                                               \
  Called(name);                                                                                                        \
  if (!g_system.nt) {                                                                                                  \
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);                                                                          \
    return failure;                                                                                                    \
  }

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
    Called("GetVersionExA");
    info->dwMajorVersion = g_system.nt ? g_system.version >> 8 : 4;
    info->dwMinorVersion = g_system.nt ? g_system.version & 0xFF : 0;
    info->dwPlatformId = g_system.nt ? VER_PLATFORM_WIN32_NT : VER_PLATFORM_WIN32_WINDOWS;
    info->dwBuildNumber = g_system.nt ? g_system.build : 0x04000000 | g_system.build;
    return TRUE;
}
LPSTR WINAPI FakeGetCommandLineA() {
    Called("GetCommandLineA");
    g_system.ansiCommandLine = Encode(g_system.commandLine, CP_ACP);
    return g_system.ansiCommandLine.data();
}
LPWSTR WINAPI FakeGetCommandLineW() {
    WIDE_FAILS_OFF_NT("GetCommandLineW", nullptr);
    return g_system.commandLine.data();
}
// As Windows XP: a name that does not fit is cut to the buffer, unterminated.
template <typename Char> DWORD CopyCut(const std::basic_string<Char> &name, Char *buffer, DWORD size) {
    DWORD length = name.size() < size ? static_cast<DWORD>(name.size()) : size;
    std::copy(name.begin(), name.begin() + length, buffer);
    if (length < size) buffer[length] = 0;
    if (!length) SetLastError(ERROR_MOD_NOT_FOUND);
    return length;
}
DWORD WINAPI FakeGetModuleFileNameA(HMODULE, LPSTR path, DWORD size) {
    Called("GetModuleFileNameA");
    return CopyCut(Encode(g_system.exePath, CP_ACP), path, size);
}
DWORD WINAPI FakeGetModuleFileNameW(HMODULE, LPWSTR path, DWORD size) {
    WIDE_FAILS_OFF_NT("GetModuleFileNameW", 0);
    return CopyCut(g_system.exePath, path, size);
}
// The image opened for its name: by quell.exe's path, plain or in the \\?\ form; Quell.dll opened to be read.
HANDLE const ImageHandle = reinterpret_cast<HANDLE>(21), QuellFile = reinterpret_cast<HANDLE>(22);
// Quell.dll's first bytes: MZ, the PE header at 0x40 and its machine type.
BOOL WINAPI FakeReadFile(HANDLE file, LPVOID bytes, DWORD size, LPDWORD read, LPOVERLAPPED) {
    Called("ReadFile");
    EXPECT_EQ(file, QuellFile);
    std::string header(0x80, '\0');
    header[0] = 'M', header[1] = 'Z', header[0x3C] = 0x40;
    header.replace(0x40, 6,
                   std::string("PE\0\0", 4) + char(g_system.quellMachine & 0xFF) + char(g_system.quellMachine >> 8));
    if (!g_system.quellMachine) header[0] = 0;
    *read = std::min<DWORD>(size, static_cast<DWORD>(header.size()));
    std::copy(header.begin(), header.begin() + *read, static_cast<char *>(bytes));
    return TRUE;
}
std::wstring Plain(const std::wstring &path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    return path.rfind(L"\\\\?\\", 0) == 0 ? path.substr(4) : path;
}
HANDLE WINAPI FakeCreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD,
                              HANDLE) {
    WIDE_FAILS_OFF_NT("CreateFileW", INVALID_HANDLE_VALUE);
    std::wstring name = path;
    EXPECT_TRUE(name.rfind(L"\\\\", 0) == 0 || name.find(L":\\") == 1) << "a path relative to the current directory";
    // Quell.dll beside quell.exe is read, for its header; quell.exe's image is only named.
    if (name.size() > 10 && name.substr(name.size() - 10) == L"\\Quell.dll") {
        EXPECT_EQ(access, DWORD(GENERIC_READ));
        ++g_system.openFiles;
        return QuellFile;
    }
    EXPECT_EQ(access, 0u) << "more than the name asked for";
    EXPECT_EQ(disposition, DWORD(OPEN_EXISTING));
    DWORD error = Plain(name) != Plain(g_system.exePath) ? DWORD(ERROR_FILE_NOT_FOUND) : g_system.openError;
    SetLastError(error);
    if (error) return INVALID_HANDLE_VALUE;
    ++g_system.openFiles;
    return ImageHandle;
}
// The file's path as the system names it: \\?\ or \\?\UNC\, the link followed.
DWORD WINAPI FakeGetFinalPathNameByHandleW(HANDLE file, LPWSTR path, DWORD size, DWORD flags) {
    WIDE_FAILS_OFF_NT("GetFinalPathNameByHandleW", 0);
    EXPECT_EQ(file, ImageHandle);
    EXPECT_EQ(flags, DWORD(FILE_NAME_NORMALIZED | VOLUME_NAME_DOS));
    SetLastError(g_system.finalPathError);
    if (g_system.finalPathError) return 0;
    std::wstring target = Plain(g_system.linkTarget.empty() ? g_system.exePath : g_system.linkTarget);
    std::wstring name = target.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC" + target.substr(1) : L"\\\\?\\" + target;
    if (size <= name.size()) return static_cast<DWORD>(name.size() + 1);
    std::copy(name.begin(), name.end(), path);
    path[name.size()] = 0;
    return static_cast<DWORD>(name.size());
}
UINT WINAPI FakeGetSystemDirectoryA(LPSTR path, UINT size) {
    Called("GetSystemDirectoryA");
    return CopyCut(std::string(SystemDirectory()), path, size);
}
HMODULE Load(const std::wstring &path) {
    g_system.loaded.push_back(path);
    if (path.size() < 10 || path.substr(path.size() - 10) != L"\\Quell.dll") return SystemModule;
    SetLastError(g_system.quellLoadError);
    return g_system.quellLoadError ? nullptr : QuellModule;
}
HMODULE WINAPI FakeLoadLibraryA(LPCSTR path) {
    Called("LoadLibraryA");
    return Load(Decode(path, CP_ACP));
}
HMODULE WINAPI FakeLoadLibraryW(LPCWSTR path) {
    WIDE_FAILS_OFF_NT("LoadLibraryW", nullptr);
    return Load(path);
}
BOOL WINAPI FakeFreeLibrary(HMODULE) {
    Called("FreeLibrary");
    return TRUE;
}
HANDLE WINAPI FakeGetStdHandle(DWORD stream) {
    Called("GetStdHandle");
    return stream == STD_OUTPUT_HANDLE ? OutHandle : ErrHandle;
}
// Standard output is a console, standard error a pipe.
BOOL WINAPI FakeGetConsoleMode(HANDLE handle, LPDWORD mode) {
    Called("GetConsoleMode");
    *mode = 3;
    return handle == OutHandle;
}
// The fake clock: local time starts at runStart (2026-12-07 10:31:00 unless a row says otherwise)
// and is UTC + 1 h, until the local clock moves by clockShift (daylight saving time); it moves as
// quell.exe waits.
SYSTEMTIME RunStartPlus(long long seconds) {
    SYSTEMTIME time;
    FILETIME moment;
    SystemTimeToFileTime(&g_system.runStart, &moment);
    ULARGE_INTEGER ticks{{moment.dwLowDateTime, moment.dwHighDateTime}};
    ticks.QuadPart += static_cast<unsigned long long>(seconds * 10000000ll);
    moment = {ticks.LowPart, ticks.HighPart};
    FileTimeToSystemTime(&moment, &time);
    return time;
}
long long SecondsFromRunStart(const SYSTEMTIME &time) {
    FILETIME moment, start;
    SYSTEMTIME first = RunStartPlus(0);
    SystemTimeToFileTime(&time, &moment);
    SystemTimeToFileTime(&first, &start);
    ULARGE_INTEGER a{{moment.dwLowDateTime, moment.dwHighDateTime}}, b{{start.dwLowDateTime, start.dwHighDateTime}};
    return static_cast<long long>(a.QuadPart - b.QuadPart) / 10000000ll;
}
void WINAPI FakeGetLocalTime(LPSYSTEMTIME time) {
    Called("GetLocalTime");
    long long seconds = g_system.elapsed / 1000;
    *time = RunStartPlus(seconds + (seconds >= g_system.clockShiftAt ? g_system.clockShift : 0));
}
void WINAPI FakeGetSystemTime(LPSYSTEMTIME time) {
    Called("GetSystemTime");
    *time = RunStartPlus(static_cast<long long>(g_system.elapsed / 1000) - 3600);
}
// A local time after the shift counts it; one the shift skips is taken as before it, one it repeats as after
// it (its second occurrence).
BOOL WINAPI FakeTzSpecificLocalTimeToSystemTime(LPTIME_ZONE_INFORMATION zone, const SYSTEMTIME *local,
                                                LPSYSTEMTIME universal) {
    Called("TzSpecificLocalTimeToSystemTime");
    EXPECT_EQ(zone, nullptr);
    long long seconds = SecondsFromRunStart(*local);
    bool shifted = seconds >= static_cast<long long>(g_system.clockShiftAt) + std::min(g_system.clockShift, 0L);
    *universal = RunStartPlus(seconds - (shifted ? g_system.clockShift : 0) - 3600);
    return TRUE;
}
DWORD WINAPI FakeGetTickCount() { return 0xFFFFFC18 + g_system.elapsed; }  // it wraps a second into a run
UINT WINAPI FakeGetConsoleOutputCP() {
    Called("GetConsoleOutputCP");
    return ConsoleCodePage;
}
// Takes at most 1,000 bytes a call, as a pipe may.
BOOL WINAPI FakeWriteFile(HANDLE handle, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED) {
    Called("WriteFile");
    *written = size < 1000 ? size : 1000;
    (handle == OutHandle ? g_system.outBytes : g_system.errBytes).append(static_cast<const char *>(bytes), *written);
    return TRUE;
}
// Takes at most 4,096 characters a call, as old consoles do; a piece never ends inside a surrogate pair.
BOOL WINAPI FakeWriteConsoleW(HANDLE, const void *text, DWORD length, LPDWORD written, LPVOID) {
    WIDE_FAILS_OFF_NT("WriteConsoleW", FALSE);
    EXPECT_LE(length, 4096u);
    EXPECT_FALSE(length && IS_HIGH_SURROGATE(static_cast<const wchar_t *>(text)[length - 1])) << "a pair split";
    g_system.outConsole.append(static_cast<const wchar_t *>(text), length);
    *written = length;
    return TRUE;
}
// Two messages with inserts, as the system keeps them when told to ignore them.
std::string MessageOf(DWORD error) {
    if (error == ERROR_BAD_EXE_FORMAT) return "%1 is not a valid Win32 application.\r\n";
    if (error == ERROR_EXE_MACHINE_TYPE_MISMATCH) return "This version of %1!s! does not run on %12 here.\r\n";
    return "Text of error " + std::to_string(error) + ".\r\n";
}
// Without FORMAT_MESSAGE_IGNORE_INSERTS the system would read arguments nobody passed.
void CheckInsertsIgnored(DWORD flags) {
    EXPECT_TRUE(flags & FORMAT_MESSAGE_IGNORE_INSERTS) << "FormatMessage reads inserts";
}
DWORD WINAPI FakeFormatMessageA(DWORD flags, LPCVOID, DWORD error, DWORD, LPSTR text, DWORD size, va_list *) {
    Called("FormatMessageA");
    CheckInsertsIgnored(flags);
    return CopyCut(MessageOf(error), text, size);
}
DWORD WINAPI FakeFormatMessageW(DWORD flags, LPCVOID, DWORD error, DWORD, LPWSTR text, DWORD size, va_list *) {
    WIDE_FAILS_OFF_NT("FormatMessageW", 0);
    CheckInsertsIgnored(flags);
    return CopyCut(Wide(MessageOf(error)), text, size);
}

// The registry: a key is there when it or a key below it is; handles are places in opened, plus one.
std::wstring Lower(std::wstring text) {
    for (wchar_t &c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}
const FakeRegistry &ViewOf(REGSAM access) {
    bool wow64 = g_system.nt && g_system.wow64 == 1 && sizeof(void *) == 4;
    return wow64 && !(access & KEY_WOW64_64KEY) ? g_system.redirected : g_system.registry;
}
LONG OpenKey(HKEY root, const std::wstring &path, REGSAM access, PHKEY opened) {
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    g_system.opened.push_back({path, access});
    if (g_system.registryError) return static_cast<LONG>(g_system.registryError);
    for (const auto &[key, values] : ViewOf(access)) {
        if (Lower(key + L"\\").rfind(Lower(path + L"\\"), 0) != 0) continue;
        ++g_system.openKeys;
        *opened = reinterpret_cast<HKEY>(static_cast<uintptr_t>(g_system.opened.size()));
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}
LONG WINAPI FakeRegOpenKeyExA(HKEY root, LPCSTR path, DWORD, REGSAM access, PHKEY opened) {
    Called("RegOpenKeyExA");
    return OpenKey(root, Decode(path, CP_ACP), access, opened);
}
LONG WINAPI FakeRegOpenKeyExW(HKEY root, LPCWSTR path, DWORD, REGSAM access, PHKEY opened) {
    Called("RegOpenKeyExW");
    if (!g_system.nt) return ERROR_CALL_NOT_IMPLEMENTED;
    return OpenKey(root, path, access, opened);
}
// As the system's: with no buffer the size, else the data when it fits, else ERROR_MORE_DATA and the size.
LONG QueryValue(HKEY key, const std::wstring &name, LPDWORD type, LPBYTE data, LPDWORD size, bool ansi) {
    const auto &[path, access] = g_system.opened.at(reinterpret_cast<uintptr_t>(key) - 1);
    const auto &values = ViewOf(access).find(path);
    if (values == ViewOf(access).end() || !values->second.count(name)) return ERROR_FILE_NOT_FOUND;
    const FakeValue &value = values->second.at(name);
    std::string bytes;
    if (value.type == REG_DWORD) {
        bytes.assign(reinterpret_cast<const char *>(&value.number), sizeof value.number);
    } else if (ansi) {
        bytes = Encode(value.text + L'\0', CP_ACP);
    } else {
        std::wstring text = value.text + L'\0';
        bytes.assign(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
    }
    if (type) *type = value.type;
    DWORD room = *size;
    *size = static_cast<DWORD>(bytes.size());
    if (!data) return ERROR_SUCCESS;
    if (room < bytes.size()) return ERROR_MORE_DATA;
    std::copy(bytes.begin(), bytes.end(), data);
    return ERROR_SUCCESS;
}
LONG WINAPI FakeRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    Called("RegQueryValueExA");
    return QueryValue(key, Decode(name, CP_ACP), type, data, size, true);
}
LONG WINAPI FakeRegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    Called("RegQueryValueExW");
    if (!g_system.nt) return ERROR_CALL_NOT_IMPLEMENTED;
    return QueryValue(key, name, type, data, size, false);
}
LONG WINAPI FakeRegCloseKey(HKEY) {
    Called("RegCloseKey");
    --g_system.openKeys;
    return ERROR_SUCCESS;
}
// The way back: local time as the clock shows it at that UTC moment.
BOOL WINAPI FakeSystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION *zone, const SYSTEMTIME *universal,
                                                LPSYSTEMTIME local) {
    Called("SystemTimeToTzSpecificLocalTime");
    EXPECT_EQ(zone, nullptr);
    long long seconds = SecondsFromRunStart(*universal) + 3600;
    *local = RunStartPlus(seconds + (seconds >= g_system.clockShiftAt ? g_system.clockShift : 0));
    return TRUE;
}
DWORD WINAPI FakeGetCurrentProcessId();
BOOL WINAPI FakeIsWow64Process(HANDLE process, PBOOL wow64) {
    Called("IsWow64Process");
    EXPECT_EQ(process, GetCurrentProcess());
    *wow64 = g_system.wow64 == 1;
    return TRUE;
}

// ---- the fake Quell.dll -------------------------------------------------------

LONG Record(const char *name, std::vector<uintptr_t> args = {}, std::wstring text = L"", LPCWSTR machine = nullptr) {
    g_calls.push_back({name, std::move(args), std::move(text), machine ? machine : L"", g_system.elapsed});
    SetLastError(g_error);
    auto answer = g_system.answers.find(name);
    return answer == g_system.answers.end() ? g_result : answer->second;
}
std::wstring Text(LPCWSTR text) { return text ? text : L""; }
std::wstring Text(LPCSTR text) { return text ? Decode(text, CP_ACP) : L""; }
uintptr_t Arg(const void *pointer) { return reinterpret_cast<uintptr_t>(pointer); }

#define FAKE_QUERY(name)                                                                                               \
  BOOL WINAPI Fake##name() { return Record(#name); }
FAKE_QUERY(CheckWindowsNT)
FAKE_QUERY(CheckUserName)
FAKE_QUERY(WindowsNTPrivilegien)
FAKE_QUERY(CheckSystemPowerStatus)
FAKE_QUERY(CheckMsDosModus)
FAKE_QUERY(WindowsLogOnOff)
FAKE_QUERY(WindowsForceLogOnOff)
FAKE_QUERY(WindowsShutdown)
FAKE_QUERY(WindowsForceShutdown)
FAKE_QUERY(WindowsReboot)
FAKE_QUERY(WindowsForceReboot)
FAKE_QUERY(WindowsRestartApps)
FAKE_QUERY(WindowsHybridShutdown)
FAKE_QUERY(LocalAbortSystemShutdown)
FAKE_QUERY(WindowsStandby)
FAKE_QUERY(WindowsHibernate)
FAKE_QUERY(LockWorkStation)
FAKE_QUERY(WindowsMsDosModus)
#define FAKE_TIMED(name, Char)                                                                                         \
  BOOL WINAPI Fake##name(Char *message, DWORD timeout, BOOL force) {                                                   \
    return Record(#name, {Arg(message), timeout, uintptr_t(force)}, Text(message));                                    \
  }
FAKE_TIMED(LocalInitSystemShutdownW, wchar_t)
FAKE_TIMED(LocalInitSystemRebootW, wchar_t)
FAKE_TIMED(LocalInitSystemShutdownA, char)
FAKE_TIMED(LocalInitSystemRebootA, char)
DWORD WINAPI FakeInitiateShutdownW(LPWSTR machine, LPWSTR message, DWORD grace, DWORD flags, DWORD reason) {
    Record("InitiateShutdownW", {Arg(machine), Arg(message), grace, flags, reason}, Text(message), machine);
    return g_system.initiateAnswer;
}
BOOL WINAPI FakeInitiateSystemShutdownExW(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL force, BOOL reboot,
                                          DWORD reason) {
    return Record("InitiateSystemShutdownExW",
                  {Arg(machine), Arg(message), timeout, uintptr_t(force), uintptr_t(reboot), reason}, Text(message),
                  machine);
}
// The system's, from advapi32.dll.
BOOL WINAPI FakeAbortSystemShutdownW(LPWSTR machine) {
    return Record("AbortSystemShutdownW", {Arg(machine)}, L"", machine);
}

BOOLEAN WINAPI FakeIsPwrSuspendAllowed() { return static_cast<BOOLEAN>(Record("IsPwrSuspendAllowed")); }
BOOLEAN WINAPI FakeIsPwrHibernateAllowed() { return static_cast<BOOLEAN>(Record("IsPwrHibernateAllowed")); }
// Byte 20 of the record is AoAc (Modern Standby).
BOOLEAN WINAPI FakeGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    *capabilities = SYSTEM_POWER_CAPABILITIES{};
    capabilities->SystemS3 = !g_system.aoAc;
    reinterpret_cast<BYTE *>(capabilities)[20] = g_system.aoAc;
    return static_cast<BOOLEAN>(Record("GetPwrCapabilities", {Arg(capabilities)}));
}
HRESULT WINAPI FakeDllGetVersion(struct _DLLVERSIONINFO *info) {
    info->dwMajorVersion = 7, info->dwMinorVersion = 8, info->dwBuildNumber = 9;
    return Record("DllGetVersion", {Arg(info)}) ? S_OK : E_FAIL;
}
// Window handles are the index in g_system.windows plus one.
FakeWindow *WindowOf(HWND window) {
    size_t index = reinterpret_cast<uintptr_t>(window) - 1;
    return index < g_system.windows.size() ? &g_system.windows[index] : nullptr;
}
// As user32.dll's: with a null buffer the length in characters, else the text
// when it fits. Before Vista Quell.dll answers 0 with 120 for any window.
BOOL WINAPI FakeShutdownBlockReasonQuery(HWND window, LPWSTR text, DWORD *size) {
    g_calls.push_back({"ShutdownBlockReasonQuery", {Arg(window), Arg(text)}, L""});
    FakeWindow *fake = WindowOf(window);
    DWORD error = !g_system.nt || !g_system.keepsBlockReasons ? ERROR_CALL_NOT_IMPLEMENTED
                  : !fake                                     ? ERROR_INVALID_WINDOW_HANDLE
                  : fake->queryError                          ? fake->queryError
                  : fake->reason.empty()                      ? ERROR_NOT_FOUND
                  : text && *size <= fake->reason.size()      ? ERROR_INSUFFICIENT_BUFFER
                                                              : 0;
    if (error == 0 || error == ERROR_INSUFFICIENT_BUFFER) *size = static_cast<DWORD>(fake->reason.size());
    if (error == 0 && text) {
        std::copy(fake->reason.begin(), fake->reason.end(), text);
        text[fake->reason.size()] = 0;
        *size += 1;
    }
    SetLastError(error);
    return error == 0;
}

// ---- the fake user32.dll and kernel32.dll that quell blockers looks up -----------

BOOL WINAPI FakeEnumWindows(WNDENUMPROC visit, LPARAM context) {
    Called("EnumWindows");
    for (size_t i = 0; i < g_system.windows.size(); ++i) {
        if (!visit(reinterpret_cast<HWND>(i + 1), context)) break;
    }
    return TRUE;
}
int WINAPI FakeGetWindowTextW(HWND window, LPWSTR text, int size) {
    WIDE_FAILS_OFF_NT("GetWindowTextW", 0);
    std::wstring title = WindowOf(window)->title.substr(0, static_cast<size_t>(size) - 1);
    std::copy(title.begin(), title.end(), text);
    text[title.size()] = 0;
    return static_cast<int>(title.size());
}
DWORD WINAPI FakeGetWindowThreadProcessId(HWND window, LPDWORD process) {
    Called("GetWindowThreadProcessId");
    *process = WindowOf(window)->process;
    return 1;
}
HANDLE WINAPI FakeOpenProcess(DWORD access, BOOL inherit, DWORD process) {
    Called("OpenProcess");
    if (access == SYNCHRONIZE || access == (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ)) {
        EXPECT_FALSE(inherit);
        for (const FakeProcess &running : g_system.processes) {
            if (running.id != process || !Running(running, g_system.elapsed)) continue;
            // The System process does not let a user's program wait for it.
            if (process == 4 && access == SYNCHRONIZE) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            ++g_system.openProcesses;
            return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process));
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    EXPECT_EQ(access, 0x1000u) << "PROCESS_QUERY_LIMITED_INFORMATION";
    EXPECT_FALSE(inherit);
    for (const FakeWindow &window : g_system.windows) {
        if (window.process != process || !window.programReadable) continue;
        ++g_system.openProcesses;
        return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(process));
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}
BOOL WINAPI FakeQueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR path, PDWORD size) {
    WIDE_FAILS_OFF_NT("QueryFullProcessImageNameW", FALSE);
    EXPECT_EQ(flags, 0u);
    std::wstring program = ProgramOf(static_cast<DWORD>(reinterpret_cast<uintptr_t>(process)));
    if (*size <= program.size()) return FALSE;
    std::copy(program.begin(), program.end(), path);
    path[program.size()] = 0;
    *size = static_cast<DWORD>(program.size());
    return TRUE;
}
// Process handles are their ids; a named object's handle is its place in g_system.handles and 0x10001.
constexpr uintptr_t ObjectHandles = 0x10000;
FakeObject *ObjectOf(HANDLE handle) {
    uintptr_t at = reinterpret_cast<uintptr_t>(handle) - ObjectHandles - 1;
    if (at >= g_system.handles.size()) return nullptr;
    return &g_system.objects[g_system.handles[at]];
}
BOOL WINAPI FakeCloseHandle(HANDLE handle) {
    Called("CloseHandle");
    if (handle == ImageHandle || handle == QuellFile) {
        --g_system.openFiles;
    } else if (FakeObject *object = ObjectOf(handle)) {
        --object->handles;
    } else {
        --g_system.openProcesses;
    }
    return TRUE;
}
HANDLE OpenObject(const char *name, bool event, bool create) {
    std::string key = name ? name : "#" + std::to_string(g_system.handles.size());
    auto found = g_system.objects.find(key);
    if (found == g_system.objects.end() && !create) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    if (found == g_system.objects.end()) found = g_system.objects.emplace(key, FakeObject{event}).first;
    EXPECT_EQ(found->second.event, event) << key;
    ++found->second.handles;
    g_system.handles.push_back(key);
    return reinterpret_cast<HANDLE>(ObjectHandles + g_system.handles.size());
}
HANDLE WINAPI FakeCreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual, BOOL set, LPCSTR name) {
    Called("CreateEventA");
    EXPECT_TRUE(manual);
    EXPECT_FALSE(set);
    return OpenObject(name, true, true);
}
HANDLE WINAPI FakeOpenEventA(DWORD access, BOOL, LPCSTR name) {
    Called("OpenEventA");
    EXPECT_EQ(access, static_cast<DWORD>(EVENT_MODIFY_STATE));
    return OpenObject(name, true, false);
}
BOOL WINAPI FakeSetEvent(HANDLE event) {
    Called("SetEvent");
    ObjectOf(event)->set = true;
    return TRUE;
}
HANDLE WINAPI FakeCreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD, DWORD size,
                                     LPCSTR name) {
    Called("CreateFileMappingA");
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_LE(size, 32u);
    return OpenObject(name, false, true);
}
HANDLE WINAPI FakeOpenFileMappingA(DWORD, BOOL, LPCSTR name) {
    Called("OpenFileMappingA");
    return OpenObject(name, false, false);
}
LPVOID WINAPI FakeMapViewOfFile(HANDLE mapping, DWORD, DWORD, DWORD, SIZE_T) {
    Called("MapViewOfFile");
    return ObjectOf(mapping)->bytes.data();
}
BOOL WINAPI FakeUnmapViewOfFile(LPCVOID) {
    Called("UnmapViewOfFile");
    return TRUE;
}
DWORD WINAPI FakeGetCurrentProcessId() { return SelfId; }
void WINAPI FakeSleep(DWORD) { Called("Sleep"); }
BOOL WINAPI FakeSetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    Called("SetConsoleCtrlHandler");
    g_system.ctrlHandler = add ? handler : nullptr;
    return TRUE;
}
DWORD EndOf(HANDLE process) {
    for (const FakeProcess &running : g_system.processes) {
        if (running.id == static_cast<DWORD>(reinterpret_cast<uintptr_t>(process))) {
            return running.endsAt == ~DWORD(0) ? ~DWORD(0) : running.endsAt * 1000;
        }
    }
    return 0;
}
bool Signaled(HANDLE handle) {
    if (FakeObject *object = ObjectOf(handle)) return object->set;
    return EndOf(handle) <= g_system.elapsed;
}
// Time passes until a handle is signalled or the time is up; the cancellation comes on time.
DWORD WINAPI FakeWaitForMultipleObjects(DWORD count, const HANDLE *handles, BOOL all, DWORD milliseconds) {
    Called("WaitForMultipleObjects");
    EXPECT_FALSE(all);
    DWORD next = milliseconds == INFINITE ? ~DWORD(0) : g_system.elapsed + milliseconds;
    next = std::min(next, std::max(g_system.cancelAt, g_system.elapsed));
    for (DWORD i = 0; i < count; ++i) {
        if (!ObjectOf(handles[i])) next = std::min(next, std::max(EndOf(handles[i]), g_system.elapsed));
    }
    if (next == ~DWORD(0)) {
        ADD_FAILURE() << "a wait that nothing ends";
        return WAIT_FAILED;
    }
    g_system.elapsed = next;
    if (g_system.elapsed >= g_system.cancelAt) {
        g_system.cancelAt = ~DWORD(0);
        if (g_system.signal != ~DWORD(0)) {
            EXPECT_NE(g_system.ctrlHandler, nullptr) << "no console control handler";
            if (g_system.ctrlHandler) {
                EXPECT_TRUE(g_system.ctrlHandler(g_system.signal));
            }
        } else {
            // As quell abort does: the wait's event by its name.
            HANDLE event = OpenObject(
                g_system.handles[reinterpret_cast<uintptr_t>(handles[0]) - ObjectHandles - 1].c_str(), true, false);
            FakeSetEvent(event);
            FakeCloseHandle(event);
        }
    }
    for (DWORD i = 0; i < count; ++i) {
        if (Signaled(handles[i])) return WAIT_OBJECT_0 + i;
    }
    return WAIT_TIMEOUT;
}
HANDLE WINAPI FakeCreateToolhelp32Snapshot(DWORD flags, DWORD) {
    Called("CreateToolhelp32Snapshot");
    EXPECT_EQ(flags, static_cast<DWORD>(TH32CS_SNAPPROCESS));
    return OpenObject(nullptr, false, true);
}
size_t g_listed;
BOOL WINAPI FakeProcess32Next(HANDLE, tagPROCESSENTRY32 *entry) {
    Called("Process32Next");
    EXPECT_EQ(entry->dwSize, sizeof *entry);
    for (; g_listed < g_system.processes.size(); ++g_listed) {
        const FakeProcess &process = g_system.processes[g_listed];
        if (!Running(process, g_system.elapsed)) continue;
        entry->th32ProcessID = process.id;
        // Windows 95 lists the whole path.
        std::string program = (g_system.nt ? "" : "C:\\PROGRA~1\\") + process.program;
        strcpy(entry->szExeFile, program.c_str());
        ++g_listed;
        return TRUE;
    }
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}
BOOL WINAPI FakeProcess32First(HANDLE snapshot, tagPROCESSENTRY32 *entry) {
    Called("Process32First");
    g_listed = 0;
    return FakeProcess32Next(snapshot, entry);
}
BOOL WINAPI FakeEnumProcesses(DWORD *ids, DWORD size, DWORD *used) {
    Called("EnumProcesses");
    *used = 0;
    for (const FakeProcess &process : g_system.processes) {
        if (!Running(process, g_system.elapsed) || *used + sizeof(DWORD) > size) continue;
        ids[*used / sizeof(DWORD)] = process.id;
        *used += sizeof(DWORD);
    }
    return TRUE;
}
DWORD WINAPI FakeGetModuleBaseNameA(HANDLE process, HMODULE module, LPSTR name, DWORD size) {
    Called("GetModuleBaseNameA");
    EXPECT_EQ(module, nullptr);
    for (const FakeProcess &running : g_system.processes) {
        if (running.id == static_cast<DWORD>(reinterpret_cast<uintptr_t>(process))) {
            return CopyCut(running.program, name, size);
        }
    }
    return 0;
}
BOOL WINAPI FakeGetUserNameA(LPSTR name, LPDWORD size) {
    Called("GetUserNameA");
    if (*size < 7) return FALSE;
    strcpy(name, "tester");
    *size = 7;
    return TRUE;
}
// Windows 95's shell takes the prompt as ANSI text.
int WINAPI FakeRestartDialog(HWND window, LPCWSTR prompt, DWORD flags) {
    return Record("RestartDialog", {Arg(window), Arg(prompt), flags},
                  g_system.nt ? Text(prompt) : Text(reinterpret_cast<LPCSTR>(prompt)));
}
int WINAPI FakeShutdownDialog(HWND window) { return Record("ShutdownDialog", {Arg(window)}); }

// display-off's window: hidden, of a class every system has, gone again afterwards.
HWND const OwnWindow = reinterpret_cast<HWND>(0x4711);
HWND WINAPI FakeCreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD style, int, int, int, int, HWND parent, HMENU,
                                HINSTANCE, LPVOID) {
    Called("CreateWindowExA");
    EXPECT_STREQ(className, "STATIC");
    EXPECT_FALSE(style & WS_VISIBLE);
    EXPECT_EQ(parent, nullptr);
    SetLastError(g_system.windowError);
    return g_system.windowError ? nullptr : OwnWindow;
}
LRESULT WINAPI FakeDefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    EXPECT_EQ(window, OwnWindow) << "a window not of its own";
    return Record("DefWindowProcA", {Arg(window), message, wParam, static_cast<uintptr_t>(lParam)});
}
BOOL WINAPI FakeDestroyWindow(HWND window) {
    Called("DestroyWindow");
    EXPECT_EQ(window, OwnWindow);
    return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
    Called("GetProcAddress");
    if (module == SystemModule) {
        bool byOrdinal = IS_INTRESOURCE(name);
        std::wstring path = g_system.loaded.back();
        std::string entry = byOrdinal ? std::to_string(LOWORD(Arg(name))) : name;
        g_system.lookedUp.push_back(Encode(path, CP_ACP) + (byOrdinal ? "!#" : "!") + entry);
        bool lacking = byOrdinal && LOWORD(Arg(name)) == 60 && g_system.shellLacksShutdownDialog;
        if (!byOrdinal && entry == "AbortSystemShutdownW") return reinterpret_cast<FARPROC>(FakeAbortSystemShutdownW);
        const std::vector<std::pair<std::string, FARPROC>> served = {
            {"user32.dll!EnumWindows", reinterpret_cast<FARPROC>(FakeEnumWindows)},
            {"user32.dll!GetWindowTextW", reinterpret_cast<FARPROC>(FakeGetWindowTextW)},
            {"user32.dll!GetWindowThreadProcessId", reinterpret_cast<FARPROC>(FakeGetWindowThreadProcessId)},
            {"kernel32.dll!OpenProcess", reinterpret_cast<FARPROC>(FakeOpenProcess)},
            {"kernel32.dll!QueryFullProcessImageNameW", reinterpret_cast<FARPROC>(FakeQueryFullProcessImageNameW)},
            {"kernel32.dll!CreateEventA", reinterpret_cast<FARPROC>(FakeCreateEventA)},
            {"kernel32.dll!OpenEventA", reinterpret_cast<FARPROC>(FakeOpenEventA)},
            {"kernel32.dll!SetEvent", reinterpret_cast<FARPROC>(FakeSetEvent)},
            {"kernel32.dll!WaitForMultipleObjects", reinterpret_cast<FARPROC>(FakeWaitForMultipleObjects)},
            {"kernel32.dll!SetConsoleCtrlHandler", reinterpret_cast<FARPROC>(FakeSetConsoleCtrlHandler)},
            {"kernel32.dll!CreateFileMappingA", reinterpret_cast<FARPROC>(FakeCreateFileMappingA)},
            {"kernel32.dll!OpenFileMappingA", reinterpret_cast<FARPROC>(FakeOpenFileMappingA)},
            {"kernel32.dll!MapViewOfFile", reinterpret_cast<FARPROC>(FakeMapViewOfFile)},
            {"kernel32.dll!UnmapViewOfFile", reinterpret_cast<FARPROC>(FakeUnmapViewOfFile)},
            {"kernel32.dll!GetCurrentProcessId", reinterpret_cast<FARPROC>(FakeGetCurrentProcessId)},
            {"kernel32.dll!CreateToolhelp32Snapshot",
             g_system.toolhelp ? reinterpret_cast<FARPROC>(FakeCreateToolhelp32Snapshot) : nullptr},
            {"kernel32.dll!Process32First",
             g_system.toolhelp ? reinterpret_cast<FARPROC>(FakeProcess32First) : nullptr},
            {"kernel32.dll!Process32Next", g_system.toolhelp ? reinterpret_cast<FARPROC>(FakeProcess32Next) : nullptr},
            {"psapi.dll!EnumProcesses", g_system.psapi ? reinterpret_cast<FARPROC>(FakeEnumProcesses) : nullptr},
            {"psapi.dll!GetModuleBaseNameA",
             g_system.psapi ? reinterpret_cast<FARPROC>(FakeGetModuleBaseNameA) : nullptr},
            {"kernel32.dll!Sleep", reinterpret_cast<FARPROC>(FakeSleep)},
            {"kernel32.dll!ReadFile", reinterpret_cast<FARPROC>(FakeReadFile)},
            {"advapi32.dll!GetUserNameA", reinterpret_cast<FARPROC>(FakeGetUserNameA)},

            {"user32.dll!CreateWindowExA", reinterpret_cast<FARPROC>(FakeCreateWindowExA)},
            {"user32.dll!DefWindowProcA", reinterpret_cast<FARPROC>(FakeDefWindowProcA)},
            {"user32.dll!DestroyWindow", reinterpret_cast<FARPROC>(FakeDestroyWindow)}};
        std::string looked = g_system.lookedUp.back();
        bool lackingEntry = std::count(g_system.lacking.begin(), g_system.lacking.end(), entry) != 0;
        for (const auto &[entryName, address] : served) {
            if (looked.size() > entryName.size() &&
                looked.substr(looked.size() - entryName.size() - 1) == "\\" + entryName) {
                return lackingEntry ? nullptr : address;
            }
        }
        return lacking ? nullptr : reinterpret_cast<FARPROC>(FakeFreeLibrary);
    }
    for (const std::string &lacking : g_system.lacking) {
        if (lacking == name) return nullptr;
    }
#define FAKE_ENTRY(entry)                                                                                              \
  if (!strcmp(name, #entry)) return reinterpret_cast<FARPROC>(Fake##entry);
    QUELL_CLI_ENTRIES(FAKE_ENTRY)
#undef FAKE_ENTRY
    return nullptr;
}

}  // namespace

const CliHost FakeHost = {FakeGetVersionExA,       FakeGetCommandLineA,
                          FakeGetModuleFileNameA,  FakeGetSystemDirectoryA,
                          FakeLoadLibraryA,        FakeGetProcAddress,
                          FakeFreeLibrary,         FakeCloseHandle,
                          FakeGetStdHandle,        FakeGetConsoleMode,
                          FakeGetConsoleOutputCP,  FakeWriteFile,
                          FakeFormatMessageA,      FakeGetLocalTime,
                          FakeGetSystemTime,       FakeGetTickCount,
                          FakeRegOpenKeyExA,       FakeRegOpenKeyExW,
                          FakeRegQueryValueExA,    FakeRegQueryValueExW,
                          FakeRegCloseKey,         FakeGetCommandLineW,
                          FakeGetModuleFileNameW,  FakeLoadLibraryW,
                          FakeWriteConsoleW,       FakeFormatMessageW,
                          FakeCreateFileW,         FakeGetFinalPathNameByHandleW,
                          FakeIsWow64Process,      FakeTzSpecificLocalTimeToSystemTime,
                          FakeGetCurrentProcessId, FakeSystemTimeToTzSpecificLocalTime};
