// Platform queries, the shutdown privilege and the session-end commands.
#include <gtest/gtest.h>

#include "bench/fake_platform.h"
#include "bench/image.h"

namespace {

constexpr uint32_t True = 0xFFFFFFFF;
using Names = std::vector<std::string>;

const Names Enable = {"GetCurrentProcess", "OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges"};

Names Concat(Names a, const Names &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Attributes passed by each AdjustTokenPrivileges call, in order.
std::vector<uintptr_t> Adjustments() {
    std::vector<uintptr_t> attributes;
    for (const Call &c : g_fake.log)
        if (c.name == "AdjustTokenPrivileges") attributes.push_back(c.args[7]);
    return attributes;
}

std::unique_ptr<QuellImage> Start(const OsProfile &profile) {
    ResetFakePlatform(profile);
    auto image = LoadQuell();
    g_fake.log.clear();
    return image;
}

TEST(PlatformQueries, CheckWindowsNTIsAllBitsOnTheNtFamilyOnly) {
    for (const OsProfile &profile : AllOsProfiles) {
        auto image = Start(profile);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->Call("CheckWindowsNT"), profile.platform == 2 ? True : 0u) << profile.name;
        EXPECT_TRUE(g_fake.log.empty());
    }
}

TEST(PlatformQueries, CheckUserNameAsksWith257CharactersAndKeepsTheError) {
    auto image = Start(os::WinXP);
    EXPECT_EQ(image->Call("CheckUserName"), True);
    ASSERT_EQ(g_fake.Count("GetUserNameA"), 1u);
    EXPECT_EQ(g_fake.Last("GetUserNameA")->args[2], 257u);

    g_fake.userNameAvailable = false;
    EXPECT_EQ(image->Call("CheckUserName"), 0u);
    EXPECT_EQ(GetLastError(), FakeNoUserError);
}

TEST(Privilege, EnablesLeavesEnabledAndClosesTheToken) {
    auto image = Start(os::WinXP);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(image->Call("WindowsNTPrivilegien"), True);
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
    EXPECT_NE(adjust->args[5], 0u);  // returned length
    EXPECT_EQ(adjust->args[6], 1u);  // PrivilegeCount
    EXPECT_EQ(adjust->args[8], 19u); // the looked-up identifier
    EXPECT_TRUE(g_fake.privilegeEnabled);
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST(Privilege, RefusalLeavesItsErrorAndClosesTheToken) {
    struct Case {
        const char *name;
        OsProfile profile;
        bool tokenSupported;
        DWORD adjustError;
        DWORD expectedError;
        Names expected;
    } cases[] = {
        {"not assigned", os::WinXP, true, ERROR_NOT_ALL_ASSIGNED, ERROR_NOT_ALL_ASSIGNED, Concat(Enable, {"CloseHandle"})},
        {"no token on Windows 98", os::Win98, false, 0, ERROR_CALL_NOT_IMPLEMENTED, {"GetCurrentProcess", "OpenProcessToken"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto image = Start(c.profile);
        g_fake.tokenSupported = c.tokenSupported;
        g_fake.adjustError = c.adjustError;
        EXPECT_EQ(image->Call("WindowsNTPrivilegien"), 0u);
        EXPECT_EQ(GetLastError(), c.expectedError);
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
    auto image = Start(c.profile);
    EXPECT_EQ(image->Call(c.exportName), True);
    const Call *exit = g_fake.Last("ExitWindowsEx");
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->args, (std::vector<uintptr_t>{c.flags, 0}));
    if (c.profile.platform == 2) {
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"ExitWindowsEx", "CloseHandle"}));
        EXPECT_EQ(Adjustments(), std::vector<uintptr_t>{SE_PRIVILEGE_ENABLED});
        EXPECT_TRUE(g_fake.privilegeEnabled);
    } else {
        EXPECT_EQ(g_fake.Names(), Names{"ExitWindowsEx"});
    }
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST_P(PrivilegedCommand, RefusedDisablesThePrivilegeAndKeepsTheSystemsError) {
    const SessionCase &c = GetParam();
    auto image = Start(c.profile);
    g_fake.exitWindowsResult = FALSE;
    EXPECT_EQ(image->Call(c.exportName), 0u);
    EXPECT_EQ(GetLastError(), FakeExitWindowsError);
    if (c.profile.platform == 2) {
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"ExitWindowsEx", "AdjustTokenPrivileges", "CloseHandle"}));
        EXPECT_EQ(Adjustments(), (std::vector<uintptr_t>{SE_PRIVILEGE_ENABLED, 0}));
        EXPECT_FALSE(g_fake.privilegeEnabled);
    }
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST_P(PrivilegedCommand, WithoutThePrivilegeNothingIsRequested) {
    const SessionCase &c = GetParam();
    if (c.profile.platform != 2) GTEST_SKIP() << "no privilege outside the NT family";
    for (DWORD adjustError : {(DWORD)ERROR_NOT_ALL_ASSIGNED, (DWORD)ERROR_ACCESS_DENIED}) {
        auto image = Start(c.profile);
        g_fake.adjustError = adjustError;
        EXPECT_EQ(image->Call(c.exportName), 0u);
        EXPECT_EQ(GetLastError(), adjustError);
        EXPECT_EQ(g_fake.Names(), Concat(Enable, {"CloseHandle"}));
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
    auto image = Start(c.profile);
    g_fake.tokenSupported = false;
    EXPECT_EQ(image->Call(c.exportName), 0u);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
    EXPECT_EQ(g_fake.Count("ExitWindowsEx"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Exports, PrivilegedCommand, ::testing::ValuesIn(PrivilegedCommands),
                         [](const auto &info) {
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
            auto image = Start(profile);
            EXPECT_EQ(image->Call(c.exportName), True);
            EXPECT_EQ(g_fake.Names(), (Names{"GetUserNameA", "ExitWindowsEx"}));
            EXPECT_EQ(g_fake.Last("ExitWindowsEx")->args, (std::vector<uintptr_t>{c.flags, 0}));

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
