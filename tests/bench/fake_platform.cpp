#include "bench/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

namespace os {
const OsProfile Win95{"win95", 1, 4, 0, 950, false};
const OsProfile Win98{"win98", 1, 4, 10, 2222, false};
const OsProfile WinMe{"winme", 1, 4, 90, 3000, false};
const OsProfile NT4{"nt40", 2, 4, 0, 1381, false};
const OsProfile Win2000{"win2k", 2, 5, 0, 2195, false};
const OsProfile WinXP{"winxp", 2, 5, 1, 2600, false};
const OsProfile Win2003{"win2003", 2, 5, 2, 3790, false};
const OsProfile Vista{"vista", 2, 6, 0, 6002, false};
const OsProfile Win7{"win7", 2, 6, 1, 7601, false};
const OsProfile Win8{"win8", 2, 6, 2, 9200, false};
const OsProfile Win81{"win81", 2, 6, 3, 9600, false};
const OsProfile Win10{"win10", 2, 10, 0, 19045, false};
const OsProfile QueryFails{"query-fails", 0, 0, 0, 0, true};
}  // namespace os

const std::vector<OsProfile> AllOsProfiles = {os::Win95, os::Win98,   os::WinMe,     os::NT4,  os::Win2000,
                                              os::WinXP, os::Win2003, os::Vista,     os::Win7, os::Win8,
                                              os::Win81, os::Win10,   os::QueryFails};

FakePlatform g_fake;
std::recursive_mutex g_fakeLock;

void ResetFakePlatform(const OsProfile &profile) {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    g_fake = FakePlatform{};
    g_fake.os = profile;
    ResetLateBoundScenario();
    ResetFileScenario();
}

size_t FakePlatform::Count(const std::string &name) {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    return std::count_if(log.begin(), log.end(), [&](const Call &c) { return c.name == name; });
}

std::vector<std::string> FakePlatform::Names(bool withErrorCalls) {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    std::vector<std::string> names;
    for (const Call &c : log)
        if (withErrorCalls || (c.name != "GetLastError" && c.name != "SetLastError")) names.push_back(c.name);
    return names;
}

const Call *FakePlatform::Last(const std::string &name) {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->name == name) return &*it;
    return nullptr;
}

bool FakePlatform::TokensClosedExactlyOnce() {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    return std::all_of(tokenCloses.begin(), tokenCloses.end(), [](auto &t) { return t.second == 1; }) &&
           foreignHandleCloses == 0;
}

bool CanFail(const std::string &name) {
    return name != "GetLastError" && name != "SetLastError" && name != "GetCurrentProcess" && name != "HeapFree";
}

bool LogCall(const char *name, std::initializer_list<uintptr_t> args, std::string text) {
    DWORD error = GetLastError();
    size_t call;
    bool fail;
    {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        call = ++g_fake.calls;
        fail = call == g_fake.failCall && CanFail(name);
        if (g_fake.recording) g_fake.log.push_back(Call{name, args, std::move(text)});
    }
    SetLastError(fail ? InjectedError(call) : error);
    return fail;
}

std::string Narrow(const wchar_t *text) {
    std::string s;
    if (text)
        for (; *text; ++text) s += *text < 128 ? (char)*text : '?';
    return s;
}

bool UnicodeMissing() {
    if (g_fake.os.platform != VER_PLATFORM_WIN32_WINDOWS) return false;
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return true;
}

namespace {

// kernel32

BOOL WINAPI FakeGetVersionExA(LPOSVERSIONINFOA info) {
    if (LogCall("GetVersionExA", {Raw(info), info ? info->dwOSVersionInfoSize : 0})) return FALSE;
    if (g_fake.os.queryFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->dwMajorVersion = g_fake.os.major;
    info->dwMinorVersion = g_fake.os.minor;
    info->dwBuildNumber = g_fake.os.build;
    info->dwPlatformId = g_fake.os.platform;
    strcpy(info->szCSDVersion, g_fake.os.platform == 1 ? " A " : "Service Pack 9");
    return TRUE;
}

HANDLE WINAPI FakeGetCurrentProcess() {
    LogCall("GetCurrentProcess", {});
    return (HANDLE)-1;
}

DWORD WINAPI FakeGetLastError() {
    DWORD error = GetLastError();
    LogCall("GetLastError", {error});
    return error;
}

void WINAPI FakeSetLastError(DWORD error) {
    LogCall("SetLastError", {error});
    SetLastError(error);
}

// A close that is made to fail still counts as the library's one close.
BOOL WINAPI FakeCloseHandle(HANDLE handle) {
    bool fail = LogCall("CloseHandle", {Raw(handle)});
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    auto token = g_fake.tokenCloses.find(Raw(handle));
    if (token == g_fake.tokenCloses.end()) {
        ++g_fake.foreignHandleCloses;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (++token->second != 1) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return !fail;
}

// advapi32

BOOL WINAPI FakeOpenProcessToken(HANDLE process, DWORD access, PHANDLE token) {
    if (LogCall("OpenProcessToken", {Raw(process), access, Raw(token)})) return FALSE;
    if (!g_fake.tokenSupported) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    uintptr_t handle = FakeTokenBase + 4 * g_fake.tokenCloses.size();
    g_fake.tokenCloses[handle] = 0;
    *token = (HANDLE)handle;
    return TRUE;
}

constexpr LUID ShutdownLuid{19, 0};

BOOL WINAPI FakeLookupPrivilegeValueA(LPCSTR system, LPCSTR name, PLUID luid) {
    if (LogCall("LookupPrivilegeValueA", {Raw(system), Raw(name), Raw(luid)}, name ? name : "")) return FALSE;
    *luid = ShutdownLuid;
    return TRUE;
}

BOOL WINAPI FakeLookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, PLUID luid) {
    if (LogCall("LookupPrivilegeValueW", {Raw(system), Raw(name), Raw(luid)}, Narrow(name))) return FALSE;
    if (UnicodeMissing()) return FALSE;
    *luid = ShutdownLuid;
    return TRUE;
}

BOOL WINAPI FakeAdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES state, DWORD length,
                                      PTOKEN_PRIVILEGES previous, PDWORD returned) {
    DWORD attributes = state ? state->Privileges[0].Attributes : 0xFFFFFFFF;
    bool fail = LogCall("AdjustTokenPrivileges",
                        {Raw(token), Raw(disableAll), Raw(state), length, Raw(previous), Raw(returned),
                         state ? state->PrivilegeCount : 0, attributes, state ? state->Privileges[0].Luid.LowPart : 0},
                        attributes == SE_PRIVILEGE_ENABLED ? "enable"
                        : attributes == 0                  ? "disable"
                                                           : "");
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    auto open = g_fake.tokenCloses.find(Raw(token));
    if (open == g_fake.tokenCloses.end() || open->second != 0) {
        ++g_fake.tokenUsesWhileNotOpen;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fail) return FALSE;
    if (attributes == SE_PRIVILEGE_ENABLED && g_fake.adjustError) {
        SetLastError(g_fake.adjustError);  // like ERROR_NOT_ALL_ASSIGNED: TRUE with a non-zero last error
        return TRUE;
    }
    // Like Windows: an identifier that was never looked up names no privilege the token holds.
    LUID luid = state ? state->Privileges[0].Luid : LUID{};
    if (attributes == SE_PRIVILEGE_ENABLED && (luid.LowPart != ShutdownLuid.LowPart || luid.HighPart != 0)) {
        SetLastError(ERROR_NOT_ALL_ASSIGNED);
        return TRUE;
    }
    g_fake.privilegeEnabled = attributes == SE_PRIVILEGE_ENABLED;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL WINAPI FakeGetUserNameA(LPSTR buffer, LPDWORD size) {
    if (LogCall("GetUserNameA", {Raw(buffer), Raw(size), size ? *size : 0})) return FALSE;
    if (!g_fake.userNameAvailable) {
        SetLastError(FakeNoUserError);
        return FALSE;
    }
    strcpy(buffer, "tester");
    *size = 7;
    return TRUE;
}

BOOL WINAPI FakeInitiateSystemShutdownA(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    if (LogCall("InitiateSystemShutdownA", {Raw(machine), Raw(message), timeout, Raw(force), Raw(reboot)},
                message ? message : ""))
        return FALSE;
    if (!g_fake.shutdownResult) SetLastError(FakeShutdownError);
    return g_fake.shutdownResult;
}

BOOL WINAPI FakeInitiateSystemShutdownW(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL force, BOOL reboot) {
    if (LogCall("InitiateSystemShutdownW", {Raw(machine), Raw(message), timeout, Raw(force), Raw(reboot)},
                Narrow(message)))
        return FALSE;
    if (UnicodeMissing()) return FALSE;
    if (!g_fake.shutdownResult) SetLastError(FakeShutdownError);
    return g_fake.shutdownResult;
}

BOOL WINAPI FakeAbortSystemShutdownA(LPSTR machine) {
    if (LogCall("AbortSystemShutdownA", {Raw(machine)})) return FALSE;
    if (!g_fake.shutdownResult) SetLastError(FakeShutdownError);
    return g_fake.shutdownResult;
}

// user32

BOOL WINAPI FakeExitWindowsEx(UINT flags, DWORD reason) {
    if (LogCall("ExitWindowsEx", {flags, reason})) return FALSE;
    if (!g_fake.exitWindowsResult) SetLastError(FakeExitWindowsError);
    return g_fake.exitWindowsResult;
}

}  // namespace

const std::vector<FakeFunction> FrameFakes = {
    {"kernel32.dll", "GetVersionExA", (void *)FakeGetVersionExA},
    {"kernel32.dll", "GetCurrentProcess", (void *)FakeGetCurrentProcess},
    {"kernel32.dll", "GetLastError", (void *)FakeGetLastError},
    {"kernel32.dll", "SetLastError", (void *)FakeSetLastError},
    {"kernel32.dll", "CloseHandle", (void *)FakeCloseHandle},
    {"advapi32.dll", "OpenProcessToken", (void *)FakeOpenProcessToken},
    {"advapi32.dll", "LookupPrivilegeValueA", (void *)FakeLookupPrivilegeValueA},
    {"advapi32.dll", "LookupPrivilegeValueW", (void *)FakeLookupPrivilegeValueW},
    {"advapi32.dll", "AdjustTokenPrivileges", (void *)FakeAdjustTokenPrivileges},
    {"advapi32.dll", "GetUserNameA", (void *)FakeGetUserNameA},
    {"advapi32.dll", "InitiateSystemShutdownA", (void *)FakeInitiateSystemShutdownA},
    {"advapi32.dll", "InitiateSystemShutdownW", (void *)FakeInitiateSystemShutdownW},
    {"advapi32.dll", "AbortSystemShutdownA", (void *)FakeAbortSystemShutdownA},
    {"user32.dll", "ExitWindowsEx", (void *)FakeExitWindowsEx},
};

const FakeFunction *FindIn(const std::vector<FakeFunction> &table, const char *dll, const char *name) {
    for (const FakeFunction &f : table)
        if (_stricmp(f.dll, dll) == 0 && strcmp(f.name, name) == 0) return &f;
    return nullptr;
}

bool IsAmong(const std::string &name, std::initializer_list<const char *> names) {
    return std::any_of(names.begin(), names.end(), [&](const char *n) { return name == n; });
}

void *FindFake(const char *dll, const char *name) {
    for (const std::vector<FakeFunction> *table : {&FrameFakes, &LateBoundFakes, &FileFakes})
        if (const FakeFunction *f = FindIn(*table, dll, name)) return f->fn;
    return nullptr;
}

bool IsHarmless(const char *, const char *name) {
    return IsAmong(name, {"GetVersionExA",         "GetCurrentProcess",
                          "GetLastError",          "SetLastError",
                          "CloseHandle",           "OpenProcessToken",
                          "LookupPrivilegeValueA", "LookupPrivilegeValueW",
                          "AdjustTokenPrivileges", "GetUserNameA",
                          "GetModuleFileNameA",    "GetModuleFileNameW",
                          "GetProcessHeap",        "HeapAlloc",
                          "HeapReAlloc",           "HeapFree",
                          "GetSystemPowerStatus",  "GetWindowsDirectoryA",
                          "GetSystemDirectoryA",   "GetFileAttributesA",
                          "LoadLibraryA",          "FreeLibrary"});
}
