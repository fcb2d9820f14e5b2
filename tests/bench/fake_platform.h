// The fake system beneath a test image: scenario settings, an ordered call log,
// and the fake functions that the loader writes into the image's import table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct OsProfile {
    const char *name;
    DWORD platform, major, minor, build;
    bool queryFails;
};

// Platform 1 with 4.0, 4.10, 4.90; NT 4.0 to 10.0; a version query that fails.
namespace os {
extern const OsProfile Win95, Win98, WinMe, NT4, Win2000, WinXP, Win2003, Vista, Win7, Win8, Win81, Win10, QueryFails;
}
extern const std::vector<OsProfile> AllOsProfiles;

struct Call {
    std::string name;
    std::vector<uintptr_t> args;
    std::string text;  // a string argument, where the call has one
};

constexpr DWORD FakeTokenBase = 0x7700;
constexpr DWORD FakeExitWindowsError = 1115;  // ERROR_SHUTDOWN_IN_PROGRESS
constexpr DWORD FakeNoUserError = 1245;       // ERROR_NOT_LOGGED_ON
constexpr DWORD FakeShutdownError = 1116;     // ERROR_NO_SHUTDOWN_IN_PROGRESS

struct FakePlatform {
    OsProfile os = os::WinXP;
    bool tokenSupported = true;  // false: OpenProcessToken fails with 120, as on Windows 95/98/Me
    DWORD adjustError = 0;       // last-error value after enabling, e.g. 1300 (ERROR_NOT_ALL_ASSIGNED)
    bool userNameAvailable = true;
    BOOL exitWindowsResult = TRUE;
    BOOL shutdownResult = TRUE;  // InitiateSystemShutdownA/W and AbortSystemShutdownA

    // Observed state.
    std::vector<Call> log;
    std::map<uintptr_t, int> tokenCloses;  // token handle -> times closed
    bool privilegeEnabled = false;
    int foreignHandleCloses = 0;

    size_t Count(const std::string &name);
    std::vector<std::string> Names(bool withErrorCalls = false);
    const Call *Last(const std::string &name);
    bool TokensClosedExactlyOnce();
};

// The one fake platform; each test starts it afresh with ResetFakePlatform().
extern FakePlatform g_fake;
extern std::recursive_mutex g_fakeLock;  // fakes may run on several threads
void ResetFakePlatform(const OsProfile &profile = os::WinXP);

// Records a call in the log without disturbing the thread's last-error value.
void LogCall(const char *name, std::initializer_list<uintptr_t> args, std::string text = {});
std::string Narrow(const wchar_t *text);

// One fake system function, by library and name.
struct FakeFunction {
    const char *dll;
    const char *name;
    void *fn;
};

// Each area of fakes keeps its own table and scenario (bench/fakes_*.cpp).
extern const std::vector<FakeFunction> FrameFakes, LateBoundFakes, FileFakes;
void ResetLateBoundScenario();
void ResetFileScenario();

// Looks up the fake of an imported system function (dll in any case).
void *FindFake(const char *dll, const char *name);
// Functions that behave the same everywhere and change nothing (memset, ...).
bool IsPassthrough(const char *dll, const char *name);
// Functions an integration test may let reach the real system.
bool IsHarmless(const char *dll, const char *name);
