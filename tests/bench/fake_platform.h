// The fake system beneath a test image: scenario settings, an ordered call log,
// and the fake functions that the loader writes into the image's import table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <type_traits>
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

// Fake handles and addresses lie above 4 GiB on x64, where module handles and
// heaps may, so that one kept in 32 bits shows; on x86 they are these low bits.
constexpr uintptr_t FakeHandle(uint32_t low) { return (uintptr_t)(0x7FF500000000ull | low); }

constexpr uintptr_t FakeTokenBase = FakeHandle(0x7700);
constexpr DWORD FakeExitWindowsError = 1115;  // ERROR_SHUTDOWN_IN_PROGRESS
constexpr DWORD FakeNoUserError = 1245;       // ERROR_NOT_LOGGED_ON
constexpr DWORD FakeShutdownError = 1116;     // ERROR_NO_SHUTDOWN_IN_PROGRESS

// The last-error value that an injected failure leaves: distinct per call.
constexpr DWORD InjectedErrorBase = 0x5A00;
inline DWORD InjectedError(size_t call) { return InjectedErrorBase + (DWORD)call; }

struct FakePlatform {
    OsProfile os = os::WinXP;
    bool tokenSupported = true;  // false: OpenProcessToken fails with 120, as on Windows 95/98/Me
    DWORD adjustError = 0;       // last-error value after enabling, e.g. 1300 (ERROR_NOT_ALL_ASSIGNED)
    bool userNameAvailable = true;
    BOOL exitWindowsResult = TRUE;
    BOOL shutdownResult = TRUE;  // InitiateSystemShutdownA/W and AbortSystemShutdownA

    // Fault injection: call number failCall (1-based, counted in calls) fails
    // with its own failure value and leaves InjectedError(failCall); 0 fails none.
    size_t failCall = 0;
    // false: the log stays empty (long runs); counters and observed state go on.
    bool recording = true;

    // Observed state.
    std::vector<Call> log;
    size_t calls = 0;                      // every call since the reset, logged or not
    std::map<uintptr_t, int> tokenCloses;  // token handle -> times closed
    int tokenUsesWhileNotOpen = 0;         // adjustments of a token never opened or already closed
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

// Counts and records a call, and answers whether it must fail (g_fake.failCall).
// The thread's last-error value is left undisturbed, unless the call must fail:
// then it is InjectedError(n), and the fake returns its own failure value.
bool LogCall(const char *name, std::initializer_list<uintptr_t> args, std::string text = {});
// A handle, pointer or flag as its raw value in the log. An integer keeps its
// own width: a BOOL of -1 is 0xFFFFFFFF on x64 too, as the caller passed it.
template <typename T> uintptr_t Raw(T value) {
    if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        return (uintptr_t)(std::make_unsigned_t<T>)value;
    else
        return (uintptr_t)value;
}
// Whether a fake can be made to fail: not GetLastError, SetLastError,
// GetCurrentProcess (a constant pseudo-handle) or free (no result).
bool CanFail(const std::string &name);
std::string Narrow(const wchar_t *text);
// Windows 95/98/Me implement almost no Unicode function: on the fake platform
// of that family each W function fails with ERROR_CALL_NOT_IMPLEMENTED. True
// (and the last-error value set) when this call must fail so.
bool UnicodeMissing();

// One fake system function, by library and name ("#n" for ordinal n).
struct FakeFunction {
    const char *dll;
    const char *name;
    void *fn;
};

// The row of dll!name in one table (dll in any case); null when it has none.
const FakeFunction *FindIn(const std::vector<FakeFunction> &table, const char *dll, const char *name);
// Whether name is one of these.
bool IsAmong(const std::string &name, std::initializer_list<const char *> names);

// Each area of fakes keeps its own table and scenario (bench/fakes_*.cpp).
extern const std::vector<FakeFunction> FrameFakes, LateBoundFakes, FileFakes;
void ResetLateBoundScenario();
void ResetFileScenario();

// Looks up the fake of an imported system function (dll in any case).
void *FindFake(const char *dll, const char *name);
// Functions an integration test may let reach the real system.
bool IsHarmless(const char *dll, const char *name);
