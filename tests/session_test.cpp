// Platform queries, the shutdown privilege and the session-end commands.
#include <gtest/gtest.h>

#include "bench/test_support.h"

namespace {

const Names Enable = PrivilegeEnableCalls();

Names Concat(Names a, const Names &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(PlatformQueries, CheckWindowsNTIsAllBitsOnTheNtFamilyOnly) {
    for (const OsProfile &profile : AllOsProfiles) {
        auto image = StartQuell(profile);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->Call("CheckWindowsNT"), profile.platform == 2 ? QuellTrue : 0u) << profile.name;
        EXPECT_TRUE(g_fake.log.empty());
    }
}

TEST(PlatformQueries, CheckUserNameAsksWith257CharactersAndKeepsTheError) {
    auto image = StartQuell(os::WinXP);
    EXPECT_EQ(image->Call("CheckUserName"), QuellTrue);
    ASSERT_EQ(g_fake.Count("GetUserNameA"), 1u);
    EXPECT_EQ(g_fake.Last("GetUserNameA")->args[2], 257u);

    g_fake.userNameAvailable = false;
    EXPECT_EQ(image->Call("CheckUserName"), 0u);
    EXPECT_EQ(GetLastError(), FakeNoUserError);
}

TEST(Privilege, EnablesLeavesEnabledAndClosesTheToken) {
    auto image = StartQuell(os::WinXP);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(image->Call("WindowsNTPrivilegien"), QuellTrue);
    EXPECT_EQ(g_fake.Names(), Concat(Concat(Enable, {"CloseHandle"}), Concat(Enable, {"CloseHandle"})));
    const Call *open = g_fake.Last("OpenProcessToken");
    EXPECT_EQ(open->args[0], (uintptr_t)-1);
    EXPECT_EQ(open->args[1], 40u);
    const Call *lookup = g_fake.Last("LookupPrivilegeValueA");
    EXPECT_EQ(lookup->args[0], 0u);
    EXPECT_EQ(lookup->text, "SeShutdownPrivilege");
    const Call *adjust = g_fake.Last("AdjustTokenPrivileges");
    EXPECT_EQ(adjust->args[1], 0u);  // DisableAllPrivileges
    EXPECT_EQ(adjust->args[3], 0u);  // no previous-state buffer
    EXPECT_EQ(adjust->args[4], 0u);
    EXPECT_NE(adjust->args[5], 0u);   // returned length
    EXPECT_EQ(adjust->args[6], 1u);   // PrivilegeCount
    EXPECT_EQ(adjust->args[8], 19u);  // the looked-up identifier
    EXPECT_TRUE(g_fake.privilegeEnabled);
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST(Privilege, RefusalLeavesItsErrorAndClosesTheToken) {
    struct Case {
        OsProfile profile;
        PrivilegeRefusal refusal;
        Names expected;
    } cases[] = {
        {os::WinXP, PrivilegeNotAssigned, Concat(Enable, {"CloseHandle"})},
        {os::Win98, TokenUnsupported, {"GetCurrentProcess", "OpenProcessToken"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.refusal.name) + " on " + c.profile.name);
        auto image = StartQuell(c.profile);
        RefusePrivilege(c.refusal);
        EXPECT_EQ(image->Call("WindowsNTPrivilegien"), 0u);
        EXPECT_EQ(GetLastError(), c.refusal.error);
        EXPECT_EQ(g_fake.Names(), c.expected);
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
        EXPECT_FALSE(g_fake.privilegeEnabled);
    }
}

struct SessionCase {
    const char *exportName;
    OsProfile profile;
    UINT flags;
};

// Shutdown and reboot commands, with the flags each system family gets.
const SessionCase PrivilegedCommands[] = {
    {"WindowsReboot", os::WinXP, 2},
    {"WindowsShutdown", os::WinXP, 9},
    {"WindowsForceReboot", os::WinXP, 6},
    {"WindowsForceShutdown", os::WinXP, 13},
    {"WindowsRestartApps", os::NT4, 0},
    {"WindowsRestartApps", os::Win2003, 0},
    {"WindowsRestartApps", os::Vista, 64},
    {"WindowsRestartApps", os::Win10, 64},
    {"WindowsHybridShutdown", os::Win2003, 9},
    {"WindowsHybridShutdown", os::Win7, 9},
    {"WindowsHybridShutdown", os::Win8, 0x400001},
    {"WindowsHybridShutdown", os::Win81, 0x400001},
    {"WindowsHybridShutdown", os::Win10, 0x400001},
    {"WindowsReboot", os::Win95, 2},
    {"WindowsShutdown", os::Win98, 9},
    {"WindowsForceReboot", os::WinMe, 6},
    {"WindowsForceShutdown", os::Win95, 13},
    {"WindowsRestartApps", os::Win98, 0},
    {"WindowsHybridShutdown", os::WinMe, 9},
};

void PrintTo(const SessionCase &c, std::ostream *out) {
    *out << c.exportName << " on " << c.profile.name << " with flags " << c.flags;
}

class PrivilegedCommand : public ::testing::TestWithParam<SessionCase> {};

TEST_P(PrivilegedCommand, AcceptedKeepsThePrivilegeAndClosesTheToken) {
    const SessionCase &c = GetParam();
    auto image = StartQuell(c.profile);
    EXPECT_EQ(image->Call(c.exportName), QuellTrue);
    const Call *exit = g_fake.Last("ExitWindowsEx");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->args, (Args{c.flags, 0}));
    if (c.profile.platform == 2) {
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"ExitWindowsEx", "CloseHandle"}));
        EXPECT_EQ(PrivilegeAdjustments(), Args{SE_PRIVILEGE_ENABLED});
        EXPECT_TRUE(g_fake.privilegeEnabled);
    } else {
        EXPECT_EQ(g_fake.Names(), Names{"ExitWindowsEx"});
    }
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST_P(PrivilegedCommand, RefusedDisablesThePrivilegeAndKeepsTheSystemsError) {
    const SessionCase &c = GetParam();
    auto image = StartQuell(c.profile);
    g_fake.exitWindowsResult = FALSE;
    EXPECT_EQ(image->Call(c.exportName), 0u);
    EXPECT_EQ(GetLastError(), FakeExitWindowsError);
    if (c.profile.platform == 2) {
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"ExitWindowsEx", "AdjustTokenPrivileges", "CloseHandle"}));
        EXPECT_EQ(PrivilegeAdjustments(), (Args{SE_PRIVILEGE_ENABLED, 0}));
        EXPECT_FALSE(g_fake.privilegeEnabled);
    }
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST_P(PrivilegedCommand, WithoutThePrivilegeNothingIsRequested) {
    const SessionCase &c = GetParam();
    if (c.profile.platform != 2) GTEST_SKIP() << "no privilege outside the NT family";
    for (const PrivilegeRefusal &refusal : {PrivilegeNotAssigned, PrivilegeDenied}) {
        auto image = StartQuell(c.profile);
        RefusePrivilege(refusal);
        EXPECT_EQ(image->Call(c.exportName), 0u);
        EXPECT_EQ(GetLastError(), refusal.error);
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"CloseHandle"}));
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
    auto image = StartQuell(c.profile);
    RefusePrivilege(TokenUnsupported);
    EXPECT_EQ(image->Call(c.exportName), 0u);
    EXPECT_EQ(GetLastError(), TokenUnsupported.error);
    EXPECT_EQ(g_fake.Count("ExitWindowsEx"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Exports, PrivilegedCommand, ::testing::ValuesIn(PrivilegedCommands), [](const auto &info) {
    return std::string(info.param.exportName) + "_" + info.param.profile.name;
});

TEST(LogOff, AsksForTheUserNameThenLogsOffWithoutToken) {
    struct Case {
        const char *exportName;
        UINT flags;
    } cases[] = {{"WindowsLogOnOff", 0}, {"WindowsForceLogOnOff", 4}};
    for (const Case &c : cases) {
        for (const OsProfile &profile : {os::Win98, os::WinXP, os::Win10}) {
            SCOPED_TRACE(std::string(c.exportName) + " on " + profile.name);
            auto image = StartQuell(profile);
            EXPECT_EQ(image->Call(c.exportName), QuellTrue);
            EXPECT_EQ(g_fake.Names(), (Names{"GetUserNameA", "ExitWindowsEx"}));
            EXPECT_EQ(g_fake.Last("ExitWindowsEx")->args, (Args{c.flags, 0}));

            g_fake.exitWindowsResult = FALSE;
            EXPECT_EQ(image->Call(c.exportName), 0u);
            EXPECT_EQ(GetLastError(), FakeExitWindowsError);

            g_fake.log.clear();
            g_fake.userNameAvailable = false;
            EXPECT_EQ(image->Call(c.exportName), 0u);
            EXPECT_EQ(GetLastError(), FakeNoUserError);
            EXPECT_EQ(g_fake.Names(), Names{"GetUserNameA"});
        }
    }
}

}  // namespace
