// What the test files share: the library's true, a fresh image on a fresh fake
// platform, views of the call log, and answers with their last-error value.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "bench/fake_platform.h"
#include "bench/image.h"

// The library's BOOL true: all bits set, never 1.
constexpr uint32_t QuellTrue = 0xFFFFFFFF;
// Set before a call; still there afterwards, the call left the last-error value alone.
constexpr DWORD UntouchedError = 0xBEEF;

// The project's version (QUELL_PROJECT_VERSION_*, set by the build), its first PARTS parts.
inline std::string ProjectVersion(int parts) {
    const unsigned numbers[] = {QUELL_PROJECT_VERSION_MAJOR, QUELL_PROJECT_VERSION_MINOR, QUELL_PROJECT_VERSION_PATCH,
                                QUELL_PROJECT_VERSION_TWEAK};
    std::string text = std::to_string(numbers[0]);
    for (int i = 1; i < parts; ++i) {
        text += '.';
        text += std::to_string(numbers[i]);
    }
    return text;
}

using Names = std::vector<std::string>;
using Args = std::vector<uintptr_t>;

// Resets the fake platform to this system, loads a fresh image and empties the log.
inline std::unique_ptr<QuellImage> StartQuell(const OsProfile &profile = os::WinXP, Binding binding = Binding::Fake) {
    ResetFakePlatform(profile);
    auto image = LoadQuell(binding);
    g_fake.log.clear();
    return image;
}

// The texts logged by every call of one name, in order.
inline Names LoggedTexts(const std::string &name) {
    Names texts;
    for (const Call &c : g_fake.log)
        if (c.name == name) texts.push_back(c.text);
    return texts;
}

// Argument number index of every call of one name, in order.
inline Args LoggedArgs(const std::string &name, size_t index) {
    Args values;
    for (const Call &c : g_fake.log)
        if (c.name == name) values.push_back(c.args[index]);
    return values;
}

// The logged calls with one of these names, in order (GetLastError and SetLastError left out).
inline Names CallsAmong(const std::set<std::string> &names) {
    Names calls;
    for (const std::string &name : g_fake.Names())
        if (names.count(name)) calls.push_back(name);
    return calls;
}

// The attributes that each AdjustTokenPrivileges call set, in order.
inline Args PrivilegeAdjustments() { return LoggedArgs("AdjustTokenPrivileges", 7); }

// The calls that enable the shutdown privilege, looked up by this function.
inline Names PrivilegeEnableCalls(const char *lookup = "LookupPrivilegeValueA") {
    return {"GetCurrentProcess", "OpenProcessToken", lookup, "AdjustTokenPrivileges"};
}

// A way the shutdown privilege is refused, and the last-error value the caller then reads.
struct PrivilegeRefusal {
    const char *name;
    bool tokenSupported;  // false: OpenProcessToken fails, as on Windows 95/98/Me
    DWORD adjustError;    // the last-error value that enabling leaves
    DWORD error;
};
constexpr PrivilegeRefusal PrivilegeNotAssigned{"not assigned", true, ERROR_NOT_ALL_ASSIGNED, ERROR_NOT_ALL_ASSIGNED};
constexpr PrivilegeRefusal PrivilegeDenied{"access denied", true, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED};
constexpr PrivilegeRefusal TokenUnsupported{"no token", false, 0, ERROR_CALL_NOT_IMPLEMENTED};

// Makes the fake platform refuse the privilege this way.
inline void RefusePrivilege(const PrivilegeRefusal &refusal) {
    g_fake.tokenSupported = refusal.tokenSupported;
    g_fake.adjustError = refusal.adjustError;
}

// A call's result and the last-error value it left.
struct Answer {
    uint32_t result;
    DWORD error;
    bool operator==(const Answer &) const = default;
};

inline std::ostream &operator<<(std::ostream &out, const Answer &a) {
    return out << a.result << " (error " << a.error << ")";
}

// What an export answers when its system entry is not available.
constexpr Answer NotAvailableAnswer{0, ERROR_CALL_NOT_IMPLEMENTED};

// Makes the call with UntouchedError as the last-error value before it.
template <typename Function> Answer Ask(Function call) {
    SetLastError(UntouchedError);
    uint32_t result = call();
    return {result, GetLastError()};
}

// Whether the image imports this function and the loader bound it to a fake, or to the system.
inline bool BoundTo(const QuellImage &image, const char *name, bool faked) {
    return std::any_of(image.imports.begin(), image.imports.end(),
                       [&](const ImportedFunction &f) { return f.name == name && f.faked == faked; });
}
inline bool BoundToFake(const QuellImage &image, const char *name) { return BoundTo(image, name, true); }
inline bool BoundToSystem(const QuellImage &image, const char *name) { return BoundTo(image, name, false); }

// Whether the real process token has the shutdown privilege enabled.
inline bool ProcessShutdownPrivilegeEnabled() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID luid{};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid);
    BYTE buffer[4096];
    DWORD size = 0;
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size)) {
        auto *privileges = reinterpret_cast<TOKEN_PRIVILEGES *>(buffer);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
            if (!memcmp(&privileges->Privileges[i].Luid, &luid, sizeof luid))
                enabled = privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED;
    }
    CloseHandle(token);
    return enabled;
}
