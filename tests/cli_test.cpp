// The front end's own code on recording fakes of Quell.dll's entry points:
// which export each subcommand calls, with what, and what it prints and returns.
// No real export is reachable from here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "quell_cli.h"

namespace {

struct Recorded {
    std::string name;
    std::vector<uintptr_t> args;
    std::wstring text;  // the string argument, where there is one
};

std::vector<Recorded> g_calls;
LONG g_result = -1;     // what every fake returns
DWORD g_error = 0;      // the last-error value every fake leaves
std::wstring g_out, g_err;
std::vector<std::string> g_lookedUp;

LONG Record(const char *name, std::vector<uintptr_t> args = {}, const wchar_t *text = nullptr) {
    g_calls.push_back({name, std::move(args), text ? text : L""});
    SetLastError(g_error);
    return g_result;
}

#define FAKE_QUERY(name) \
    BOOL WINAPI Fake##name() { return Record(#name); }
FAKE_QUERY(CheckWindowsNT)
FAKE_QUERY(CheckUserName)
FAKE_QUERY(WindowsNTPrivilegien)
FAKE_QUERY(CheckSystemPowerStatus)
FAKE_QUERY(CheckMsDosModus)
FAKE_QUERY(WindowsLogOnOff)
FAKE_QUERY(WindowsForceLogOnOff)
FAKE_QUERY(WindowsShutdown)
FAKE_QUERY(WindowsForceShutdown)
FAKE_QUERY(WindowsReboot)
FAKE_QUERY(WindowsForceReboot)
FAKE_QUERY(WindowsRestartApps)
FAKE_QUERY(WindowsHybridShutdown)
FAKE_QUERY(LocalAbortSystemShutdown)
FAKE_QUERY(WindowsStandby)
FAKE_QUERY(WindowsHibernate)
FAKE_QUERY(LockWorkStation)
FAKE_QUERY(WindowsMsDosModus)

BOOLEAN WINAPI FakeIsPwrSuspendAllowed() { return static_cast<BOOLEAN>(Record("IsPwrSuspendAllowed")); }
BOOLEAN WINAPI FakeIsPwrHibernateAllowed() { return static_cast<BOOLEAN>(Record("IsPwrHibernateAllowed")); }
BOOLEAN WINAPI FakeGetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES capabilities) {
    return static_cast<BOOLEAN>(Record("GetPwrCapabilities", {reinterpret_cast<uintptr_t>(capabilities)}));
}
HRESULT WINAPI FakeDllGetVersion(struct _DLLVERSIONINFO *info) {
    return Record("DllGetVersion", {reinterpret_cast<uintptr_t>(info)}) ? S_OK : E_FAIL;
}
BOOL WINAPI FakeLocalInitSystemShutdownW(LPWSTR message, DWORD timeout, BOOL force) {
    return Record("LocalInitSystemShutdownW", {reinterpret_cast<uintptr_t>(message), timeout, uintptr_t(force)},
                  message);
}
BOOL WINAPI FakeLocalInitSystemRebootW(LPWSTR message, DWORD timeout, BOOL force) {
    return Record("LocalInitSystemRebootW", {reinterpret_cast<uintptr_t>(message), timeout, uintptr_t(force)},
                  message);
}
int WINAPI FakeRestartDialog(HWND window, LPCWSTR prompt, DWORD flags) {
    return Record("RestartDialog", {reinterpret_cast<uintptr_t>(window), reinterpret_cast<uintptr_t>(prompt), flags},
                  prompt);
}
int WINAPI FakeShutdownDialog(HWND window) { return Record("ShutdownDialog", {reinterpret_cast<uintptr_t>(window)}); }

QuellEntries FakeEntries() {
    QuellEntries quell{};
#define FAKE(name) quell.name = Fake##name;
    QUELL_CLI_ENTRIES(FAKE)
#undef FAKE
    return quell;
}

bool FakeSystemOffers(const char *library, const char *name, WORD ordinal) {
    g_lookedUp.push_back(std::string(library) + "!" + (name ? name : std::string("#").append(std::to_string(ordinal))));
    return ordinal != 60;  // the shell lacks its shut-down dialog
}

CliHost FakeHost() {
    return CliHost{FakeEntries(), 0, FakeSystemOffers, [](const std::wstring &text) { g_out += text; },
                   [](const std::wstring &text) { g_err += text; }};
}

struct Cli : testing::Test {
    void SetUp() override {
        g_calls.clear();
        g_lookedUp.clear();
        g_out.clear();
        g_err.clear();
        g_result = -1;
        g_error = 0;
    }
    // Runs quell with these arguments; the strings stay writable, as wmain's are.
    int Run(std::vector<std::wstring> args, const CliHost &host = FakeHost()) {
        args.insert(args.begin(), L"quell");
        std::vector<wchar_t *> argv;
        for (std::wstring &arg : args) argv.push_back(arg.data());
        return RunCli(static_cast<int>(argv.size()), argv.data(), host);
    }
    // The command with --yes right after its name.
    static std::vector<std::wstring> Confirmed(std::vector<std::wstring> args) {
        args.insert(args.begin() + 1, L"--yes");
        return args;
    }
    // The line of the output that contains this text.
    static std::wstring LineWith(const std::wstring &text) {
        size_t at = g_out.find(text);
        if (at == std::wstring::npos) return L"";
        size_t start = g_out.rfind(L'\n', at) + 1;
        return g_out.substr(start, g_out.find(L'\n', at) - start);
    }
    std::vector<std::string> CalledNames() {
        std::vector<std::string> names;
        for (const Recorded &call : g_calls) names.push_back(call.name);
        return names;
    }
};

constexpr uintptr_t Null = 0;
constexpr uintptr_t AnyText = ~uintptr_t(0);  // a string argument: compare its text instead

struct Operation {
    std::vector<std::wstring> args;  // without --yes
    const char *exportName;
    std::vector<uintptr_t> expectedArgs;
    std::wstring expectedText;
};

const std::vector<Operation> Operations = {
    {{L"logoff"}, "WindowsLogOnOff", {}, L""},
    {{L"force-logoff"}, "WindowsForceLogOnOff", {}, L""},
    {{L"shutdown"}, "WindowsShutdown", {}, L""},
    {{L"force-shutdown"}, "WindowsForceShutdown", {}, L""},
    {{L"reboot"}, "WindowsReboot", {}, L""},
    {{L"force-reboot"}, "WindowsForceReboot", {}, L""},
    {{L"restart-apps"}, "WindowsRestartApps", {}, L""},
    {{L"hybrid"}, "WindowsHybridShutdown", {}, L""},
    {{L"abort"}, "LocalAbortSystemShutdown", {}, L""},
    {{L"standby"}, "WindowsStandby", {}, L""},
    {{L"hibernate"}, "WindowsHibernate", {}, L""},
    {{L"lock"}, "LockWorkStation", {}, L""},
    {{L"msdos"}, "WindowsMsDosModus", {}, L""},
    {{L"shutdown-dialog"}, "ShutdownDialog", {Null}, L""},
    {{L"restart-dialog"}, "RestartDialog", {Null, Null, EWX_REBOOT}, L""},
    {{L"restart-dialog", L"Neu starten? Übernehmen ✓"}, "RestartDialog", {Null, AnyText, EWX_REBOOT},
     L"Neu starten? Übernehmen ✓"},
    {{L"timed-shutdown", L"90"}, "LocalInitSystemShutdownW", {Null, 90, FALSE}, L""},
    {{L"timed-shutdown", L"600", L"Wartung: bitte speichern – Grüße", L"--force"}, "LocalInitSystemShutdownW",
     {AnyText, 600, TRUE}, L"Wartung: bitte speichern – Grüße"},
    {{L"timed-reboot", L"--force", L"0"}, "LocalInitSystemRebootW", {Null, 0, TRUE}, L""},
    {{L"timed-reboot", L"4294967295", L"--", L"--yes is not an option here"}, "LocalInitSystemRebootW",
     {AnyText, 4294967295u, FALSE}, L"--yes is not an option here"},
};

TEST_F(Cli, EachOperationCallsItsExportOnceWithItsArguments) {
    for (const Operation &operation : Operations) {
        SCOPED_TRACE(operation.exportName);
        for (LONG result : {-1, 1}) {
            SetUp();
            g_result = result;
            EXPECT_EQ(Run(Confirmed(operation.args)), ExitSuccess) << std::string(g_err.begin(), g_err.end());
            ASSERT_EQ(CalledNames(), std::vector<std::string>{operation.exportName});
            const Recorded &call = g_calls[0];
            ASSERT_EQ(call.args.size(), operation.expectedArgs.size());
            for (size_t i = 0; i < call.args.size(); ++i) {
                if (operation.expectedArgs[i] == AnyText) continue;
                EXPECT_EQ(call.args[i], operation.expectedArgs[i]) << "argument " << i;
            }
            EXPECT_EQ(call.text, operation.expectedText);
            EXPECT_NE(g_out.find(std::wstring(operation.exportName, operation.exportName +
                                              strlen(operation.exportName)) +
                                 L" = " + std::to_wstring(result)),
                      std::wstring::npos);
        }
    }
}

TEST_F(Cli, AFailedOperationExitsOneWithTheLastErrorAndItsText) {
    for (const Operation &operation : Operations) {
        SCOPED_TRACE(operation.exportName);
        SetUp();
        g_result = 0;
        g_error = ERROR_NOT_ALL_ASSIGNED;
        EXPECT_EQ(Run(Confirmed(operation.args)), ExitFailed);
        EXPECT_EQ(g_calls.size(), 1u);
        EXPECT_NE(g_err.find(L"last error 1300 (" + SystemMessage(ERROR_NOT_ALL_ASSIGNED) + L")"),
                  std::wstring::npos)
            << std::string(g_err.begin(), g_err.end());
    }
}

TEST_F(Cli, WithoutYesNothingIsCalledAndItSaysWhatItWouldDo) {
    for (const Operation &operation : Operations) {
        SCOPED_TRACE(operation.exportName);
        SetUp();
        EXPECT_EQ(Run(operation.args), ExitUsage);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_EQ(g_err.find(L"would "), 6 + operation.args[0].size() + 2) << std::string(g_err.begin(), g_err.end());
        EXPECT_NE(g_err.find(L"--yes"), std::wstring::npos);
    }
    Run({L"timed-reboot", L"30", L"Bis gleich ☺", L"--force"});
    EXPECT_NE(g_err.find(L"would reboot this machine after 30 seconds, showing \"Bis gleich ☺\" meanwhile, "
                         L"closing applications without asking (LocalInitSystemRebootW)"),
              std::wstring::npos);
}

TEST_F(Cli, UsageErrorsExitTwoAndCallNothing) {
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        {L"bogus"},
        {L"Shutdown", L"--yes"},
        {L"shutdown", L"now", L"--yes"},
        {L"shutdown", L"--force", L"--yes"},
        {L"shutdown", L"-y"},
        {L"status", L"--yes"},
        {L"help", L"shutdown"},
        {L"timed-shutdown", L"--yes"},
        {L"timed-shutdown", L"ten", L"--yes"},
        {L"timed-shutdown", L"10s", L"--yes"},
        {L"timed-shutdown", L"-5", L"--yes"},
        {L"timed-shutdown", L"4294967296", L"--yes"},
        {L"timed-shutdown", L"10", L"message", L"extra", L"--yes"},
        {L"restart-dialog", L"one", L"two", L"--yes"},
    };
    for (const auto &args : cases) {
        SetUp();
        SCOPED_TRACE(args.empty() ? "(none)" : std::string(args[0].begin(), args[0].end()));
        EXPECT_EQ(Run(args), ExitUsage);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_NE(g_err.find(L"quell --help"), std::wstring::npos);
    }
}

TEST_F(Cli, HelpListsEveryCommandAndCallsNothing) {
    for (const std::vector<std::wstring> &args : std::vector<std::vector<std::wstring>>{
             {L"--help"}, {L"/?"}, {L"-h"}, {L"help"}, {L"shutdown", L"--help"}, {L"shutdown", L"/?", L"--yes"}}) {
        SetUp();
        EXPECT_EQ(Run(args), ExitSuccess);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_TRUE(g_err.empty());
        EXPECT_NE(g_out.find(L"Usage: quell"), std::wstring::npos);
        EXPECT_NE(g_out.find(L"  status\n"), std::wstring::npos);
        for (const Operation &operation : Operations) {
            EXPECT_NE(g_out.find(L"  " + operation.args[0]), std::wstring::npos);
        }
    }
}

TEST_F(Cli, StatusAsksOnlyTheHarmlessExportsAndLooksUpTheSystemEntries) {
    g_result = 1;
    g_error = ERROR_CALL_NOT_IMPLEMENTED;
    EXPECT_EQ(Run({L"status"}), ExitSuccess);
    std::vector<std::string> expected = {"CheckWindowsNT",        "CheckUserName",       "WindowsNTPrivilegien",
                                         "DllGetVersion",         "CheckSystemPowerStatus", "IsPwrSuspendAllowed",
                                         "IsPwrHibernateAllowed", "GetPwrCapabilities",  "CheckMsDosModus"};
    EXPECT_EQ(CalledNames(), expected);
    for (const std::string &name : expected) {
        EXPECT_NE(g_out.find(std::wstring(name.begin(), name.end()) + L" = "), std::wstring::npos) << name;
    }
    EXPECT_NE(g_out.find(L"CheckWindowsNT = 1, last error 120 (" + SystemMessage(120) + L")"), std::wstring::npos);
    EXPECT_EQ(g_lookedUp.size(), 14u);
    EXPECT_EQ(g_lookedUp.front(), "user32.dll!LockWorkStation");
    EXPECT_NE(LineWith(L"#59 (RestartDialog)").find(L" offered"), std::wstring::npos);
    EXPECT_NE(LineWith(L"#60 (ShutdownDialog)").find(L" missing"), std::wstring::npos);
}

TEST_F(Cli, MissingLibraryOrExportFailsWithExitOne) {
    CliHost noLibrary = FakeHost();
    noLibrary.quell = QuellEntries{};
    noLibrary.loadError = ERROR_MOD_NOT_FOUND;
    EXPECT_EQ(Run({L"status"}, noLibrary), ExitFailed);
    EXPECT_NE(g_err.find(L"Quell.dll could not be loaded: last error 126"), std::wstring::npos);
    EXPECT_EQ(Run({L"shutdown", L"--yes"}, noLibrary), ExitFailed);
    EXPECT_EQ(Run({L"--help"}, noLibrary), ExitSuccess);

    CliHost noExport = FakeHost();
    noExport.quell.WindowsShutdown = nullptr;
    noExport.quell.CheckUserName = nullptr;
    EXPECT_EQ(Run({L"shutdown", L"--yes"}, noExport), ExitFailed);
    EXPECT_NE(g_err.find(L"WindowsShutdown missing from Quell.dll"), std::wstring::npos);
    EXPECT_EQ(Run({L"status"}, noExport), ExitSuccess);
    EXPECT_NE(g_out.find(L"CheckUserName missing from Quell.dll"), std::wstring::npos);
}

}  // namespace
