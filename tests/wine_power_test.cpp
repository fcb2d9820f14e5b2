// The power queries against Wine itself: the real powrprof.dll and kernel32,
// compared with calling them directly. Standby and hibernate run under the
// real process token up to the request, which is always the bench's fake:
// SetSuspendState is never handed out for real, SetSystemPowerState never bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "bench/fake_platform.h"
#include "bench/fakes_latebound.h"
#include "bench/image.h"

namespace {

constexpr uint32_t True = 0xFFFFFFFF;

struct Answer {
    uint32_t result;
    DWORD error;
    bool operator==(const Answer &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Answer &a) { return out << a.result << " (error " << a.error << ")"; }

template <typename Call> Answer Ask(Call call) {
    SetLastError(0xBEEF);
    uint32_t result = call();
    return {result, GetLastError()};
}

// The BOOLEAN of a powrprof answer: its low byte.
Answer Low(Answer a) { return {a.result & 0xFF, a.error}; }

bool Bound(const QuellImage &image, const char *name, bool faked) {
    return std::any_of(image.imports.begin(), image.imports.end(),
                       [&](const ImportedFunction &f) { return f.name == name && f.faked == faked; });
}

std::unique_ptr<QuellImage> StartReal() {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    g_fake.log.clear();
    return image;
}

// Asserts first that nothing could put the Wine session to sleep.
#define ASSERT_NO_REAL_SLEEP(image)                                                          \
    ASSERT_TRUE(image);                                                                      \
    ASSERT_TRUE(Bound(*image, "GetProcAddress", true)) << "GetProcAddress must stay the bench's"; \
    ASSERT_TRUE(Bound(*image, "SetSystemPowerState", true)) << "SetSystemPowerState would reach Wine"; \
    ASSERT_TRUE(Bound(*image, "GetSystemPowerStatus", false))

bool ShutdownPrivilegeEnabled() {
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

struct System {
    OSVERSIONINFOA version{};
    HMODULE powrprof = LoadLibraryA("powrprof.dll");
    BOOLEAN(WINAPI *suspendAllowed)() = nullptr;
    BOOLEAN(WINAPI *hibernateAllowed)() = nullptr;
    BOOLEAN(WINAPI *capabilities)(PSYSTEM_POWER_CAPABILITIES) = nullptr;

    System() {
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExA(&version);
        if (!powrprof) return;
        suspendAllowed = (decltype(suspendAllowed))(void *)GetProcAddress(powrprof, "IsPwrSuspendAllowed");
        hibernateAllowed = (decltype(hibernateAllowed))(void *)GetProcAddress(powrprof, "IsPwrHibernateAllowed");
        capabilities = (decltype(capabilities))(void *)GetProcAddress(powrprof, "GetPwrCapabilities");
    }
    ~System() {
        if (powrprof) FreeLibrary(powrprof);
    }
};

const Answer NotAvailable{0, ERROR_CALL_NOT_IMPLEMENTED};

TEST(WinePower, QueriesAnswerLikePowrProfAndKernel32) {
    auto image = StartReal();
    ASSERT_NO_REAL_SLEEP(image);
    System system;
    image->Call("IsPwrSuspendAllowed");  // loading powrprof.dll leaves a last-error value of its own

    EXPECT_EQ(Low(Ask([&] { return image->Call("IsPwrSuspendAllowed"); })),
              system.suspendAllowed ? Low(Ask([&] { return (uint32_t)system.suspendAllowed(); })) : NotAvailable);
    EXPECT_EQ(Low(Ask([&] { return image->Call("IsPwrHibernateAllowed"); })),
              system.hibernateAllowed ? Low(Ask([&] { return (uint32_t)system.hibernateAllowed(); })) : NotAvailable);

    SYSTEM_POWER_CAPABILITIES viaQuell, direct;
    memset(&viaQuell, 0xCC, sizeof viaQuell);
    memset(&direct, 0xCC, sizeof direct);
    Answer quell = Low(Ask([&] { return image->Call("GetPwrCapabilities", {Arg(&viaQuell)}); }));
    ASSERT_EQ(quell, system.capabilities ? Low(Ask([&] { return (uint32_t)system.capabilities(&direct); })) : NotAvailable);
    EXPECT_EQ(memcmp(&viaQuell, &direct, sizeof direct), 0);

    // CheckSystemPowerStatus from the same answers.
    uint32_t expected;
    SYSTEM_POWER_STATUS status;
    if (!system.powrprof)
        expected = GetSystemPowerStatus(&status) && status.ACLineStatus != 255 ? True : 0;
    else if (system.version.dwMajorVersion < 6 || !(quell.result & 0xFF))
        expected = system.suspendAllowed ? system.suspendAllowed() : 0;
    else
        expected = direct.SystemS1 || direct.SystemS2 || direct.SystemS3 ? True : 0;
    EXPECT_EQ(image->Call("CheckSystemPowerStatus"), expected);

    for (const char *entry : {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "GetPwrCapabilities"})
        EXPECT_EQ(g_fake.Count(entry), 0u) << entry << " went to a fake";
    image->Detach();
}

TEST(WinePower, SetSuspendStateIsAlwaysTheBenchsFake) {
    auto image = StartReal();
    ASSERT_NO_REAL_SLEEP(image);
    g_lateBound.results["SetSuspendState"] = 0x2A;
    EXPECT_EQ(image->Call("SetSuspendState", {0, 0, 0}) & 0xFF, 0x2Au);
    EXPECT_EQ(g_fake.Count("SetSuspendState"), 1u);
    image->Detach();
}

// Wine's capabilities decide; a request reaches only the fakes, and the real
// privilege is disabled again after it.
TEST(WinePower, StandbyAndHibernateUnderTheRealToken) {
    System system;
    SYSTEM_POWER_CAPABILITIES capabilities{};
    bool nt6 = system.version.dwPlatformId == VER_PLATFORM_WIN32_NT && system.version.dwMajorVersion >= 6;
    bool capabilitiesKnown = nt6 && system.capabilities && (system.capabilities(&capabilities) & 0xFF);
    struct Case {
        const char *exportName;
        bool supported;
    } cases[] = {
        {"WindowsStandby", capabilitiesKnown
                               ? capabilities.SystemS1 && capabilities.SystemS2 && capabilities.SystemS3
                               : system.suspendAllowed && system.suspendAllowed()},
        {"WindowsHibernate", capabilitiesKnown ? capabilities.SystemS4 || capabilities.HiberFilePresent
                                               : system.hibernateAllowed && system.hibernateAllowed()},
    };
    ASSERT_TRUE(system.powrprof) << "Wine has powrprof.dll";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.exportName);
        auto image = StartReal();
        ASSERT_NO_REAL_SLEEP(image);
        EXPECT_EQ(image->Call(c.exportName), c.supported ? True : 0u);
        EXPECT_EQ(g_fake.Count("SetSuspendState"), c.supported ? 1u : 0u);
        EXPECT_EQ(g_fake.Count("SetSystemPowerState"), 0u);
        if (c.supported) {
            ASSERT_TRUE(g_fake.Last("SetSuspendState"));
            EXPECT_EQ(g_fake.Last("SetSuspendState")->args[0], std::string(c.exportName) == "WindowsHibernate" ? 0xFFu : 0u);
            EXPECT_EQ(g_fake.Count("AdjustTokenPrivileges"), 0u) << "the real token was not used";
        }
        EXPECT_FALSE(ShutdownPrivilegeEnabled());
        image->Detach();
    }
}

}  // namespace
