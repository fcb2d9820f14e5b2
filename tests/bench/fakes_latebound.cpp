// Fakes of the late-bound world: LoadLibraryA, GetProcAddress, FreeLibrary and
// the system libraries and entries they hand out, and kernel32's power calls.
// Every fake entry logs its arguments (null pointers included) and answers
// from the scenario; none ever reaches the system.
#include "bench/fakes_latebound.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "bench/fake_platform.h"
#include "bench/fakes_files.h"

LateBoundScenario g_lateBound;

namespace {

// The libraries of the fake loader; a library's handle comes from its place here.
const char *const FakeLibraryNames[] = {"user32.dll", "advapi32.dll", "shell32.dll", "powrprof.dll", "version.dll"};

// Found only by their full path in the system directory: by bare name Windows
// would look in the host program's directory first.
bool OnlyInSystemDirectory(const std::string &library) { return library == "powrprof.dll" || library == "version.dll"; }

// Never 64 KB aligned, so never the handle of a real module.
constexpr uintptr_t FakeModuleBase = FakeHandle(0xFA110010);

// An entry's result: 0 when the call must fail (LogCall has set its
// last-error value), else the scenario's.
uint32_t Answer(const char *entry, bool fail) {
    if (fail) return 0;
    uint32_t result;
    DWORD error;
    {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        auto found = g_lateBound.results.find(entry);
        result = found == g_lateBound.results.end() ? 1 : found->second;
        error = g_lateBound.entryError;
    }
    if (error) SetLastError(error);
    return result;
}

const char *Text(const char *text) { return text ? text : ""; }

// user32

BOOL WINAPI FakeLockWorkStation() {
    bool fail = LogCall("LockWorkStation", {});
    return Answer("LockWorkStation", fail);
}

BOOL WINAPI FakeShutdownBlockReasonCreate(HWND window, LPCWSTR reason) {
    bool fail = LogCall("ShutdownBlockReasonCreate", {Raw(window), Raw(reason)}, Narrow(reason));
    return Answer("ShutdownBlockReasonCreate", fail);
}

BOOL WINAPI FakeShutdownBlockReasonDestroy(HWND window) {
    bool fail = LogCall("ShutdownBlockReasonDestroy", {Raw(window)});
    return Answer("ShutdownBlockReasonDestroy", fail);
}

BOOL WINAPI FakeShutdownBlockReasonQuery(HWND window, LPWSTR buffer, DWORD *length) {
    bool fail = LogCall("ShutdownBlockReasonQuery", {Raw(window), Raw(buffer), Raw(length)});
    return Answer("ShutdownBlockReasonQuery", fail);
}

// advapi32

BOOL WINAPI FakeInitiateSystemShutdownExA(LPSTR machine, LPSTR message, DWORD timeout, BOOL force, BOOL reboot,
                                          DWORD reason) {
    bool fail = LogCall("InitiateSystemShutdownExA",
                        {Raw(machine), Raw(message), timeout, Raw(force), Raw(reboot), reason}, Text(message));
    return Answer("InitiateSystemShutdownExA", fail);
}

BOOL WINAPI FakeInitiateSystemShutdownExW(LPWSTR machine, LPWSTR message, DWORD timeout, BOOL force, BOOL reboot,
                                          DWORD reason) {
    bool fail = LogCall("InitiateSystemShutdownExW",
                        {Raw(machine), Raw(message), timeout, Raw(force), Raw(reboot), reason}, Narrow(message));
    return Answer("InitiateSystemShutdownExW", fail);
}

DWORD WINAPI FakeInitiateShutdownA(LPSTR machine, LPSTR message, DWORD grace, DWORD flags, DWORD reason) {
    bool fail = LogCall("InitiateShutdownA", {Raw(machine), Raw(message), grace, flags, reason}, Text(message));
    return fail ? GetLastError() : Answer("InitiateShutdownA", false);  // an error code: the one it leaves
}

DWORD WINAPI FakeInitiateShutdownW(LPWSTR machine, LPWSTR message, DWORD grace, DWORD flags, DWORD reason) {
    bool fail = LogCall("InitiateShutdownW", {Raw(machine), Raw(message), grace, flags, reason}, Narrow(message));
    return fail ? GetLastError() : Answer("InitiateShutdownW", false);  // an error code: the one it leaves
}

// shell32, by ordinal. Each form of #60 removes its own arguments, so a call in
// the other form leaves the caller's stack off.

int WINAPI FakeRestartDialog(HWND window, LPCWSTR prompt, DWORD flags) {
    bool fail = LogCall("RestartDialog", {Raw(window), Raw(prompt), flags}, Narrow(prompt));
    return Answer("RestartDialog", fail);
}

int WINAPI FakeShutdownDialogOneArgument(HWND window) {
    bool fail = LogCall("ShutdownDialog", {Raw(window)});
    return Answer("ShutdownDialog", fail);
}

int WINAPI FakeShutdownDialogTwoArguments(HWND window, DWORD flags) {
    bool fail = LogCall("ShutdownDialog", {Raw(window), flags});
    return Answer("ShutdownDialog", fail);
}

// powrprof. Each answers in all 32 bits, so that a result of 0x100 shows
// whether the library reads the BOOLEAN's low byte alone; SetSuspendState logs
// whole argument slots, so that a slot with high bits set shows.

uint32_t WINAPI FakeIsPwrSuspendAllowed() {
    bool fail = LogCall("IsPwrSuspendAllowed", {});
    return Answer("IsPwrSuspendAllowed", fail);
}

uint32_t WINAPI FakeIsPwrHibernateAllowed() {
    bool fail = LogCall("IsPwrHibernateAllowed", {});
    return Answer("IsPwrHibernateAllowed", fail);
}

uint32_t WINAPI FakeSetSuspendState(uint32_t hibernate, uint32_t force, uint32_t wakeEventsDisabled) {
    bool fail = LogCall("SetSuspendState", {hibernate, force, wakeEventsDisabled});
    return Answer("SetSuspendState", fail);
}

uint32_t WINAPI FakeGetPwrCapabilities(SYSTEM_POWER_CAPABILITIES *capabilities) {
    bool fail = LogCall("GetPwrCapabilities", {Raw(capabilities)});
    if (capabilities && !fail) {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        *capabilities = g_lateBound.capabilities;
    }
    return Answer("GetPwrCapabilities", fail);
}

// kernel32's power calls, bound at load time.

BOOL WINAPI FakeGetSystemPowerStatus(LPSYSTEM_POWER_STATUS status) {
    if (LogCall("GetSystemPowerStatus", {Raw(status)})) return FALSE;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (g_lateBound.powerStatusFails) {
        SetLastError(FakePowerStatusError);
        return FALSE;
    }
    *status = SYSTEM_POWER_STATUS{g_lateBound.acLineStatus, 0x80, 255, 0, 0xFFFFFFFF, 0xFFFFFFFF};
    return TRUE;
}

BOOL WINAPI FakeSetSystemPowerState(BOOL suspend, BOOL force) {
    if (LogCall("SetSystemPowerState", {Raw(suspend), Raw(force)})) return FALSE;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (g_lateBound.systemPowerStateError) SetLastError(g_lateBound.systemPowerStateError);
    return g_lateBound.systemPowerStateResult;
}

const std::vector<FakeFunction> FakeEntries = {
    {"user32.dll", "LockWorkStation", (void *)FakeLockWorkStation},
    {"user32.dll", "ShutdownBlockReasonCreate", (void *)FakeShutdownBlockReasonCreate},
    {"user32.dll", "ShutdownBlockReasonDestroy", (void *)FakeShutdownBlockReasonDestroy},
    {"user32.dll", "ShutdownBlockReasonQuery", (void *)FakeShutdownBlockReasonQuery},
    {"advapi32.dll", "InitiateSystemShutdownExA", (void *)FakeInitiateSystemShutdownExA},
    {"advapi32.dll", "InitiateSystemShutdownExW", (void *)FakeInitiateSystemShutdownExW},
    {"advapi32.dll", "InitiateShutdownA", (void *)FakeInitiateShutdownA},
    {"advapi32.dll", "InitiateShutdownW", (void *)FakeInitiateShutdownW},
    {"shell32.dll", "#59", (void *)FakeRestartDialog},
    {"shell32.dll", "#60", nullptr},  // the form decides: ShutdownDialogEntry
    {"powrprof.dll", "IsPwrSuspendAllowed", (void *)FakeIsPwrSuspendAllowed},
    {"powrprof.dll", "IsPwrHibernateAllowed", (void *)FakeIsPwrHibernateAllowed},
    {"powrprof.dll", "SetSuspendState", (void *)FakeSetSuspendState},
    {"powrprof.dll", "GetPwrCapabilities", (void *)FakeGetPwrCapabilities},
};

std::string Lower(std::string s) {
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

int LibraryIndex(HMODULE module) {
    for (size_t i = 0; i < std::size(FakeLibraryNames); ++i)
        if (Raw(module) == FakeModuleBase + 0x10 * i) return (int)i;
    return -1;
}

// The file name of a real module, in lower case, without its directory.
std::string RealLibraryName(HMODULE module) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    std::string name(path, n);
    return Lower(name.substr(name.find_last_of("\\/") + 1));
}

bool TakesTwoArguments(DWORD platform, DWORD major) { return platform == VER_PLATFORM_WIN32_NT && major >= 6; }

void *ShutdownDialogEntry(bool realSystem) {
    int form;
    {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        form = g_lateBound.shutdownDialogArguments;
        if (!form && !realSystem) form = TakesTwoArguments(g_fake.os.platform, g_fake.os.major) ? 2 : 1;
    }
    if (!form) {
        OSVERSIONINFOA version{};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        form = TakesTwoArguments(version.dwPlatformId, version.dwMajorVersion) ? 2 : 1;
    }
    return form == 2 ? (void *)FakeShutdownDialogTwoArguments : (void *)FakeShutdownDialogOneArgument;
}

void *FindFakeEntry(const std::string &library, const std::string &key, bool realSystem) {
    const FakeFunction *entry = FindIn(FakeEntries, library.c_str(), key.c_str());
    if (!entry) entry = FindIn(FileFakes, library.c_str(), key.c_str());  // version.dll
    if (!entry) return nullptr;
    return entry->fn ? entry->fn : ShutdownDialogEntry(realSystem);
}

FARPROC Missing() {
    SetLastError(FakeLookupError);
    return nullptr;
}

// kernel32

HMODULE WINAPI FakeLoadLibraryA(LPCSTR name) {
    if (LogCall("LoadLibraryA", {Raw(name)}, Text(name))) return nullptr;
    DWORD delay;
    {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        delay = g_lateBound.loadDelayMs;
    }
    if (delay) Sleep(delay);
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    std::string library = Lower(Text(name));
    std::string systemDirectory = Lower(SystemPath(""));
    if (library.rfind(systemDirectory, 0) == 0 && OnlyInSystemDirectory(library.substr(systemDirectory.size())))
        library.erase(0, systemDirectory.size());
    else if (OnlyInSystemDirectory(library))
        library.clear();  // found beside the host program: not the system's
    auto found = g_lateBound.libraries.find(library);
    if (found == g_lateBound.libraries.end() || !found->second.present) {
        SetLastError(FakeLoadError);
        return nullptr;
    }
    ++found->second.references;
    return FakeModuleHandle(library);
}

// In Binding::Real the library's LoadLibraryA reaches the system and hands
// real modules to this fake: it gives out the harmless entries of the system
// and the bench's fake for every other one, so nothing destructive is reached.
FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
    // An ordinal is logged as "#n" only when every bit above its low word is
    // zero; anything else is read as a name.
    bool byOrdinal = IS_INTRESOURCE(name);
    char ordinal[16];
    snprintf(ordinal, sizeof ordinal, "#%u", (unsigned)Raw(name));
    std::string key = byOrdinal ? ordinal : Text(name);
    if (LogCall("GetProcAddress", {Raw(module), Raw(name)}, key)) return nullptr;
    int index = LibraryIndex(module);
    if (index < 0) {
        // Entries that change nothing beyond the test's own window, or only answer
        // a question; SetSuspendState is never among them.
        bool harmless =
            !byOrdinal && IsAmong(key, {"ShutdownBlockReasonCreate", "ShutdownBlockReasonDestroy",
                                        "ShutdownBlockReasonQuery", "IsPwrSuspendAllowed", "IsPwrHibernateAllowed",
                                        "GetPwrCapabilities", "GetFileVersionInfoSizeW", "GetFileVersionInfoW",
                                        "GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"});
        if (harmless) return GetProcAddress(module, name);
        void *fake = FindFakeEntry(RealLibraryName(module), key, true);
        return fake ? (FARPROC)fake : Missing();
    }
    DWORD delay;
    bool missing;
    {
        std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
        delay = g_lateBound.lookupDelayMs;
        missing = g_lateBound.libraries[FakeLibraryNames[index]].missing.count(key) != 0;
    }
    if (delay) Sleep(delay);
    void *fake = missing ? nullptr : FindFakeEntry(FakeLibraryNames[index], key, false);
    return fake ? (FARPROC)fake : Missing();
}

BOOL WINAPI FakeFreeLibrary(HMODULE module) {
    int index = LibraryIndex(module);
    if (LogCall("FreeLibrary", {Raw(module)}, index < 0 ? "?" : FakeLibraryNames[index])) return FALSE;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (index < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FakeSystemLibrary &library = g_lateBound.libraries[FakeLibraryNames[index]];
    if (library.freeFails) {
        SetLastError(FakeFreeError);
        return FALSE;
    }
    --library.references;
    return TRUE;
}

}  // namespace

HMODULE FakeModuleHandle(const std::string &library) {
    for (size_t i = 0; i < std::size(FakeLibraryNames); ++i)
        if (library == FakeLibraryNames[i]) return (HMODULE)(FakeModuleBase + 0x10 * i);
    return nullptr;
}

const std::vector<FakeFunction> LateBoundFakes = {
    {"kernel32.dll", "LoadLibraryA", (void *)FakeLoadLibraryA},
    {"kernel32.dll", "GetProcAddress", (void *)FakeGetProcAddress},
    {"kernel32.dll", "FreeLibrary", (void *)FakeFreeLibrary},
    {"kernel32.dll", "GetSystemPowerStatus", (void *)FakeGetSystemPowerStatus},
    {"kernel32.dll", "SetSystemPowerState", (void *)FakeSetSystemPowerState},
};

void ResetLateBoundScenario() {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    g_lateBound = LateBoundScenario{};
    for (const char *library : FakeLibraryNames) g_lateBound.libraries[library] = {};
    g_lateBound.results = {
        {"LockWorkStation", TRUE},
        {"ShutdownBlockReasonCreate", TRUE},
        {"ShutdownBlockReasonDestroy", TRUE},
        {"ShutdownBlockReasonQuery", TRUE},
        {"InitiateSystemShutdownExA", TRUE},
        {"InitiateSystemShutdownExW", TRUE},
        {"InitiateShutdownA", ERROR_SUCCESS},
        {"InitiateShutdownW", ERROR_SUCCESS},
        {"RestartDialog", TRUE},
        {"ShutdownDialog", TRUE},
        {"IsPwrSuspendAllowed", TRUE},
        {"IsPwrHibernateAllowed", TRUE},
        {"SetSuspendState", TRUE},
        {"GetPwrCapabilities", TRUE},
    };
    SYSTEM_POWER_CAPABILITIES &capabilities = g_lateBound.capabilities;
    capabilities.SystemS1 = capabilities.SystemS2 = capabilities.SystemS3 = capabilities.SystemS4 = TRUE;
    capabilities.HiberFilePresent = TRUE;
}
