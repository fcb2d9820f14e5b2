// The power queries against Wine itself: the real powrprof.dll and kernel32,
// compared with calling them directly. Standby and hibernate run under the
// real process token up to the request, which is always the bench's fake:
// neither SetSuspendState nor SetSystemPowerState is ever handed out for real.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

// The BOOLEAN of a powrprof answer: its low byte.
Answer Low(Answer a) { return {a.result & 0xFF, a.error}; }

// Asserts first that nothing could put the Wine session to sleep.
#define ASSERT_NO_REAL_SLEEP(image)                                                                                    \
  ASSERT_TRUE(image);                                                                                                  \
  ASSERT_TRUE(BoundToFake(*image, "GetProcAddress")) << "GetProcAddress must stay the bench's"

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

TEST(WinePower, QueriesAnswerLikePowrProfAndKernel32) {
    auto image = StartQuell(os::WinXP, Binding::Real);
    ASSERT_NO_REAL_SLEEP(image);
    System system;
    image->Call("IsPwrSuspendAllowed");  // loading powrprof.dll leaves a last-error value of its own

    EXPECT_EQ(Low(Ask([&] { return image->Call("IsPwrSuspendAllowed"); })),
              system.suspendAllowed ? Low(Ask([&] { return (uint32_t)system.suspendAllowed(); })) : NotAvailableAnswer);
    EXPECT_EQ(Low(Ask([&] { return image->Call("IsPwrHibernateAllowed"); })),
              system.hibernateAllowed ? Low(Ask([&] { return (uint32_t)system.hibernateAllowed(); }))
                                      : NotAvailableAnswer);

    SYSTEM_POWER_CAPABILITIES viaQuell, direct;
    memset(&viaQuell, 0xCC, sizeof viaQuell);
    memset(&direct, 0xCC, sizeof direct);
    Answer quell = Low(Ask([&] { return image->Call("GetPwrCapabilities", {Arg(&viaQuell)}); }));
    ASSERT_EQ(quell, system.capabilities ? Low(Ask([&] { return (uint32_t)system.capabilities(&direct); }))
                                         : NotAvailableAnswer);
    EXPECT_EQ(memcmp(&viaQuell, &direct, sizeof direct), 0);

    // CheckSystemPowerStatus from the same answers.
    uint32_t expected;
    SYSTEM_POWER_STATUS status;
    if (!system.powrprof)
        expected = GetSystemPowerStatus(&status) && status.ACLineStatus != 255 ? QuellTrue : 0;
    else if (system.version.dwMajorVersion < 6 || !(quell.result & 0xFF))
        expected = system.suspendAllowed ? system.suspendAllowed() : 0;
    else
        expected = direct.SystemS1 || direct.SystemS2 || direct.SystemS3 ? QuellTrue : 0;
    EXPECT_EQ(image->Call("CheckSystemPowerStatus"), expected);

    for (const char *entry : {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "GetPwrCapabilities"})
        EXPECT_EQ(g_fake.Count(entry), 0u) << entry << " went to a fake";
    image->Detach();
}

TEST(WinePower, SetSuspendStateIsAlwaysTheBenchsFake) {
    auto image = StartQuell(os::WinXP, Binding::Real);
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
        {"WindowsStandby", capabilitiesKnown ? capabilities.SystemS1 || capabilities.SystemS2 || capabilities.SystemS3
                                             : system.suspendAllowed && system.suspendAllowed()},
        {"WindowsHibernate", capabilitiesKnown ? capabilities.SystemS4 || capabilities.HiberFilePresent
                                               : system.hibernateAllowed && system.hibernateAllowed()},
    };
    ASSERT_TRUE(system.powrprof) << "Wine has powrprof.dll";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.exportName);
        auto image = StartQuell(os::WinXP, Binding::Real);
        ASSERT_NO_REAL_SLEEP(image);
        SetLastError(0);
        EXPECT_EQ(image->Call(c.exportName), c.supported ? QuellTrue : 0u);
        if (!c.supported) {
            EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_SUPPORTED);
        }
        EXPECT_EQ(g_fake.Count("SetSuspendState"), c.supported ? 1u : 0u);
        EXPECT_EQ(g_fake.Count("SetSystemPowerState"), 0u);
        if (c.supported) {
            ASSERT_TRUE(g_fake.Last("SetSuspendState"));
            EXPECT_EQ(g_fake.Last("SetSuspendState")->args[0],
                      std::string(c.exportName) == "WindowsHibernate" ? 0xFFu : 0u);
            EXPECT_EQ(g_fake.Count("AdjustTokenPrivileges"), 0u) << "the real token was not used";
        }
        EXPECT_FALSE(ProcessShutdownPrivilegeEnabled());
        image->Detach();
    }
}

}  // namespace
