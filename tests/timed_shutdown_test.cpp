// Timed shutdown and reboot of the local machine, and their abort.
#include <gtest/gtest.h>

#include "bench/test_support.h"

namespace {

struct TimedExport {
    const char *exportName;
    const char *lookup;      // how the privilege is looked up
    const char *systemCall;  // what is requested of the system
    bool takesMessage;
    uintptr_t reboot;  // bRebootAfterShutdown passed on
};

const TimedExport TimedExports[] = {
    {"LocalInitSystemShutdownA", "LookupPrivilegeValueA", "InitiateSystemShutdownA", true, 0},
    {"LocalInitSystemShutdownW", "LookupPrivilegeValueW", "InitiateSystemShutdownW", true, 0},
    {"LocalInitSystemRebootA", "LookupPrivilegeValueA", "InitiateSystemShutdownA", true, 0xFFFFFFFF},
    {"LocalInitSystemRebootW", "LookupPrivilegeValueW", "InitiateSystemShutdownW", true, 0xFFFFFFFF},
    {"LocalAbortSystemShutdown", "LookupPrivilegeValueA", "AbortSystemShutdownA", false, 0},
};

char AnsiMessage[] = "Wartung in 30 Sekunden";
wchar_t WideMessage[] = L"Wartung in 30 Sekunden";

void PrintTo(const TimedExport &t, std::ostream *out) { *out << t.exportName; }

class TimedShutdown : public ::testing::TestWithParam<TimedExport> {
  protected:
    bool Wide() const { return std::string(GetParam().systemCall).back() == 'W'; }
    uintptr_t Message() const { return Wide() ? Arg(WideMessage) : Arg(AnsiMessage); }

    // The export with a message (or null), a timeout and a force flag; the
    // abort takes none of them.
    uint32_t CallExport(QuellImage &image, uintptr_t message, DWORD timeout, BOOL force) const {
        if (!GetParam().takesMessage) return image.Call(GetParam().exportName);
        return image.Call(GetParam().exportName, {message, timeout, Raw(force)});
    }

    Names Enable() const { return PrivilegeEnableCalls(GetParam().lookup); }
};

TEST_P(TimedShutdown, OutsideTheNtFamilyRefusesWith120AndTouchesNoToken) {
    for (const OsProfile &profile : {os::Win95, os::Win98, os::WinMe, os::QueryFails}) {
        SCOPED_TRACE(profile.name);
        auto image = StartQuell(profile);
        SetLastError(0);
        EXPECT_EQ(CallExport(*image, Message(), 30, TRUE), 0u);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(g_fake.Names(true), Names{"SetLastError"});
    }
}

// The caller's values go to the system unchanged and in order, with a null
// machine name; the result becomes -1 whatever non-zero value the system gave.
TEST_P(TimedShutdown, AcceptedPassesTheArgumentsThroughAndDisablesThePrivilegeAgain) {
    const TimedExport &t = GetParam();
    struct Case {
        uintptr_t message;
        DWORD timeout;
        BOOL force;
        BOOL systemResult;
    } cases[] = {
        {Message(), 30, TRUE, TRUE},
        {0, 0, FALSE, 7},                  // a null message stays null
        {Message(), 0xFFFFFFFF, 2, TRUE},  // the force flag is not normalised
    };
    for (const OsProfile &profile : {os::NT4, os::WinXP, os::Win10}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(profile.name) + ", timeout " + std::to_string(c.timeout));
            auto image = StartQuell(profile);
            g_fake.shutdownResult = c.systemResult;
            EXPECT_EQ(CallExport(*image, c.message, c.timeout, c.force), QuellTrue);
            Names expected = Enable();
            expected.insert(expected.end(), {t.systemCall, "AdjustTokenPrivileges", "CloseHandle"});
            ASSERT_EQ(g_fake.Names(), expected);
            EXPECT_EQ(g_fake.Last(t.lookup)->text, "SeShutdownPrivilege");
            const Call *request = g_fake.Last(t.systemCall);
            ASSERT_TRUE(request);
            if (t.takesMessage)
                EXPECT_EQ(request->args, (Args{0, c.message, c.timeout, (uintptr_t)c.force, t.reboot}));
            else
                EXPECT_EQ(request->args, Args{0});
            EXPECT_EQ(PrivilegeAdjustments(), (Args{SE_PRIVILEGE_ENABLED, 0}));
            EXPECT_FALSE(g_fake.privilegeEnabled);
            EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
        }
    }
}

TEST_P(TimedShutdown, RefusedKeepsThePrivilegeAndTheSystemsError) {
    const TimedExport &t = GetParam();
    auto image = StartQuell(os::WinXP);
    g_fake.shutdownResult = FALSE;
    EXPECT_EQ(CallExport(*image, Message(), 30, FALSE), 0u);
    EXPECT_EQ(GetLastError(), FakeShutdownError);
    Names expected = Enable();
    expected.insert(expected.end(), {t.systemCall, "CloseHandle"});
    EXPECT_EQ(g_fake.Names(), expected);
    EXPECT_TRUE(g_fake.privilegeEnabled);
    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
}

TEST_P(TimedShutdown, WithoutThePrivilegeNothingIsRequested) {
    for (const PrivilegeRefusal &refusal : {PrivilegeNotAssigned, PrivilegeDenied}) {
        auto image = StartQuell(os::Win7);
        RefusePrivilege(refusal);
        EXPECT_EQ(CallExport(*image, Message(), 30, FALSE), 0u);
        EXPECT_EQ(GetLastError(), refusal.error);
        Names expected = Enable();
        expected.push_back("CloseHandle");
        EXPECT_EQ(g_fake.Names(), expected);
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
    auto image = StartQuell(os::Win7);
    RefusePrivilege(TokenUnsupported);
    EXPECT_EQ(CallExport(*image, Message(), 30, FALSE), 0u);
    EXPECT_EQ(g_fake.Names(), (Names{"GetCurrentProcess", "OpenProcessToken"}));
}

INSTANTIATE_TEST_SUITE_P(Exports, TimedShutdown, ::testing::ValuesIn(TimedExports),
                         [](const auto &info) { return std::string(info.param.exportName); });

}  // namespace
