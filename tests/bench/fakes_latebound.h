// The scenario of the late-bound world: the system libraries that the fake
// LoadLibraryA hands out, the entries each of them has, and what those answer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>

constexpr DWORD FakeLoadError = ERROR_MOD_NOT_FOUND;     // 126, LoadLibraryA of an absent library
constexpr DWORD FakeLookupError = ERROR_PROC_NOT_FOUND;  // 127, GetProcAddress of a missing entry
constexpr DWORD FakeFreeError = ERROR_INVALID_HANDLE;    // 6, FreeLibrary that fails
constexpr DWORD FakePowerStatusError = ERROR_NOT_READY;  // 21, GetSystemPowerStatus that fails

// One system library as the fake loader knows it.
struct FakeSystemLibrary {
    bool present = true;            // false: LoadLibraryA fails with FakeLoadError
    std::set<std::string> missing;  // entries it lacks: names, or "#59" for an ordinal
    bool freeFails = false;         // FreeLibrary returns 0 with FakeFreeError
    int references = 0;             // successful loads minus successful frees
};

struct LateBoundScenario {
    // By file name in lower case; those of the bench's fake table are present.
    std::map<std::string, FakeSystemLibrary> libraries;
    // What each fake entry returns, by the name it logs under ("RestartDialog"
    // for shell32 #59, "ShutdownDialog" for #60).
    std::map<std::string, uint32_t> results;
    DWORD entryError = 0;  // last-error value every fake entry leaves; 0 leaves it untouched
    // The form of shell32 #60 handed out: 1 or 2 arguments; 0 takes the form
    // of the system the library runs on (NT 6.0 and later: 2).
    int shutdownDialogArguments = 0;
    // Fake libraries are slow to load and to look up in (race tests).
    DWORD loadDelayMs = 0;
    DWORD lookupDelayMs = 0;

    // The powrprof entries answer in all 32 bits of their result (results may
    // hold e.g. 0x100, a BOOLEAN false with a high bit set).
    // GetPwrCapabilities copies this record to a non-null pointer, whatever it
    // returns, unless the call is made to fail (g_fake.failCall). By default
    // the machine has S1 to S4 and a hibernation file.
    SYSTEM_POWER_CAPABILITIES capabilities{};

    // kernel32's power calls, bound at load time.
    BYTE acLineStatus = 1;               // GetSystemPowerStatus: 0 off line, 1 on line, 255 unknown
    bool powerStatusFails = false;       // GetSystemPowerStatus returns 0 with FakePowerStatusError
    BOOL systemPowerStateResult = TRUE;  // SetSystemPowerState, which never reaches the system
    DWORD systemPowerStateError = 0;     // and the last-error value it leaves; 0 leaves it untouched
};

// Reset with the rest of the platform by ResetFakePlatform (ResetLateBoundScenario).
extern LateBoundScenario g_lateBound;

// The module handle that the fake LoadLibraryA gives for a library of the table.
HMODULE FakeModuleHandle(const std::string &library);
