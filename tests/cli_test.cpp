// The front end's own code on the fake system of bench/fake_cli.h: which export
// each subcommand calls, with what, what it prints and returns, and which system
// functions it uses. Every table runs on a fake NT and on a fake Windows 95;
// there no W function may be called and Quell.dll gets ANSI text, and on NT
// never. Nothing real is reachable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "bench/fake_cli.h"
#include "built_architectures.h"

namespace {

// One argument for the command line, quoted as the C runtime's rules undo it.
std::wstring Quoted(const std::wstring &arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    for (size_t at = 0;; ++at) {
        size_t backslashes = 0;
        for (; at < arg.size() && arg[at] == L'\\'; ++at) ++backslashes;
        if (at == arg.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(arg[at] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += arg[at];
    }
    return quoted + L"\"";
}

enum class Family { Nt, Windows95 };

struct Cli : testing::TestWithParam<Family> {
    void SetUp() override {
        g_system = FakeSystem{};
        g_system.nt = GetParam() == Family::Nt;
        g_calls.clear();
        g_result = -1;
        g_error = 0;
    }
    // Runs quell on this command line; on Windows 95 no W function may be called.
    static int RunLine(const std::wstring &line) {
        g_system.commandLine = line;
        CliHost host = FakeHost;
        const char *name = CliHostLookedUpNames;
        for (unsigned i = 0; i < CliHostLookedUpCount; name += strlen(name) + 1, ++i) {
            if (g_system.lackingWide == name) LookedUpSlots(host)[i] = nullptr;
        }
        // Before XP, Windows 95/98/Me included, kernel32 has no IsWow64Process.
        if (g_system.wow64 < 0 || !g_system.nt) host.IsWow64Process = nullptr;
        if (!g_system.nt || g_system.version < 0x0501) host.TzSpecificLocalTimeToSystemTime = nullptr;
        int status = RunQuell(host);
        EXPECT_EQ(g_system.openFiles, 0) << "the image's handle left open";
        EXPECT_EQ(g_system.openProcesses, 0) << "a process handle left open";
        for (const auto &[name, object] : g_system.objects) EXPECT_EQ(object.handles, 0) << name << " left open";
        EXPECT_EQ(g_system.openKeys, 0) << "a registry key left open";
        for (const std::string &name : g_system.systemCalls) {
            EXPECT_TRUE(g_system.nt || name.back() != 'W') << name << " called on Windows 95";
        }
        for (const Recorded &call : g_calls) {
            EXPECT_TRUE(g_system.nt || call.name.back() != 'W') << call.name << " called on Windows 95";
        }
        return status;
    }
    static int Run(const std::vector<std::wstring> &args) {
        std::wstring line = Quoted(g_system.exePath);
        for (const std::wstring &arg : args) line += L" " + Quoted(arg);
        return RunLine(line);
    }
    // The command with --yes right after its name.
    static std::vector<std::wstring> Confirmed(std::vector<std::wstring> args) {
        args.insert(args.begin() + 1, L"--yes");
        return args;
    }
    // The export called on this family: Windows 95 gets the A of a W export.
    static std::wstring Export(std::string name) {
        if (!g_system.nt && name.back() == 'W') name.back() = 'A';
        return Wide(name);
    }
    // The line of the output that contains this text.
    static std::wstring LineWith(const std::wstring &text) {
        std::wstring out = Out();
        size_t at = out.find(text);
        if (at == std::wstring::npos) return L"";
        size_t start = out.rfind(L'\n', at) + 1;
        return out.substr(start, out.find(L'\n', at) - start);
    }
    static std::vector<std::string> CalledNames() {
        std::vector<std::string> names;
        for (const Recorded &call : g_calls) names.push_back(call.name);
        return names;
    }
};

INSTANTIATE_TEST_SUITE_P(Families, Cli, testing::Values(Family::Nt, Family::Windows95),
                         [](const testing::TestParamInfo<Family> &info) {
                             return info.param == Family::Nt ? "Nt" : "Windows95";
                         });

constexpr uintptr_t Null = 0;
constexpr uintptr_t AnyText = ~uintptr_t(0);  // a string argument: compare its text instead
const std::wstring Long(5000, L'\u00E4');     // no message is cut, whatever its length
// A prompt whose "about to" line has a character outside the Basic Multilingual Plane at the
// console write's chunk boundary: its surrogate pair starts at the 4,096th character.
const std::wstring AboutToPrompt =
    L"quell restart-dialog: about to show the shell's dialog that asks to restart, with the "
    L"prompt \"";
const std::wstring Straddling = std::wstring(4095 - AboutToPrompt.size(), L'x') + L"\U0001F600 ok";

struct Operation {
    std::vector<std::wstring> args;  // without --yes
    const char *exportName;          // as on the NT family
    std::vector<uintptr_t> expectedArgs;
    std::wstring expectedText;
    std::wstring effect;                      // when set: what it says it would do
    std::vector<LONG> doneResults = {-1, 1};  // results that mean done
    std::vector<LONG> notDoneResults = {0};
    bool answers = true;              // false: the system's function returns nothing, and no result is printed
    std::wstring outcome = L"shown";  // what it says has happened when it answers nothing
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
    // Through a hidden window of its own, without Quell.dll: DefWindowProc answers nothing.
    {{L"display-off"},
     "DefWindowProcA",
     {AnyText, WM_SYSCOMMAND, SC_MONITORPOWER, 2},
     L"",
     L"turn the display off (SC_MONITORPOWER), waiting on no other program",
     {0, 1},
     {},
     false,
     L"the display is turned off"},
    {{L"shutdown-dialog"},
     "ShutdownDialog",
     {Null},
     L"",
     L"show the shell's shut-down dialog",
     {0, 1, 0x5A5A},
     {},
     false},
    {{L"restart-dialog"},
     "RestartDialog",
     {Null, Null, EWX_REBOOT},
     L"",
     L"show the shell's dialog that asks to restart, with no prompt of its own",
     {IDYES},
     {0, IDNO}},
    {{L"restart-dialog", L"Neu starten? Übernehmen ✓"},
     "RestartDialog",
     {Null, AnyText, EWX_REBOOT},
     L"Neu starten? Übernehmen ✓",
     L"show the shell's dialog that asks to restart, with the prompt \"Neu starten? Übernehmen ✓\"",
     {IDYES},
     {0, IDNO}},
    {{L"restart-dialog", L"--", L"--help"},
     "RestartDialog",
     {Null, AnyText, EWX_REBOOT},
     L"--help",
     L"show the shell's dialog that asks to restart, with the prompt \"--help\"",
     {IDYES},
     {0, IDNO}},
    {{L"restart-dialog", Long},
     "RestartDialog",
     {Null, AnyText, EWX_REBOOT},
     Long,
     L"show the shell's dialog that asks to restart, with the prompt \"" + Long + L"\"",
     {IDYES},
     {0, IDNO}},
    {{L"restart-dialog", Straddling},
     "RestartDialog",
     {Null, AnyText, EWX_REBOOT},
     Straddling,
     L"show the shell's dialog that asks to restart, with the prompt \"" + Straddling + L"\"",
     {IDYES},
     {0, IDNO}},
    {{L"timed-shutdown", L"90"}, "LocalInitSystemShutdownW", {Null, 90, FALSE}, L""},
    {{L"timed-shutdown", L"1"},
     "LocalInitSystemShutdownW",
     {Null, 1, FALSE},
     L"",
     L"shut down this machine after 1 second;"},
    {{L"timed-shutdown", L"600", L"Wartung: bitte speichern – Grüße", L"--force"},
     "LocalInitSystemShutdownW",
     {AnyText, 600, TRUE},
     L"Wartung: bitte speichern – Grüße"},
    {{L"timed-shutdown", L"60", Long},
     "LocalInitSystemShutdownW",
     {AnyText, 60, FALSE},
     Long,
     L"shut down this machine after 60 seconds, showing \"" + Long + L"\" meanwhile"},
    {{L"timed-reboot", L"--force", L"0"}, "LocalInitSystemRebootW", {Null, 0, TRUE}, L""},
    {{L"timed-reboot", L"315360000", L"--", L"--yes is not an option here"},
     "LocalInitSystemRebootW",
     {AnyText, 315360000u, FALSE},
     L"--yes is not an option here"},
    {{L"shutdown", L"--force"}, "WindowsForceShutdown", {}, L""},
    {{L"reboot", L"--force"}, "WindowsForceReboot", {}, L""},
    {{L"shutdown", L"--delay", L"60", L"--message", L"Wartung – Grüße"},
     "LocalInitSystemShutdownW",
     {AnyText, 60, FALSE},
     L"Wartung – Grüße",
     L"shut down this machine after 60 seconds, showing \"Wartung – Grüße\" meanwhile"},
    {{L"reboot", L"--Delay", L"0", L"--FORCE"}, "LocalInitSystemRebootW", {Null, 0, TRUE}, L""},
    {{L"timed-reboot", L"30", L"Bis gleich ☺", L"--force"},
     "LocalInitSystemRebootW",
     {AnyText, 30, TRUE},
     L"Bis gleich ☺",
     L"reboot this machine after 30 seconds, showing \"Bis gleich ☺\" meanwhile, closing applications without asking"},
    {{L"timed-reboot", L"5", L"--", L"-h"}, "LocalInitSystemRebootW", {AnyText, 5, FALSE}, L"-h"},
    {{L"timed-reboot", L"5", L"--", L"/?"}, "LocalInitSystemRebootW", {AnyText, 5, FALSE}, L"/?"},
    // quell.exe's own wait before the export; the system's request with --at's warning period.
    {{L"standby", L"--delay", L"5"}, "WindowsStandby", {}, L""},
    {{L"lock", L"--at", L"10:32"}, "LockWorkStation", {}, L""},
    {{L"logoff", L"--after", L"backup.exe"},
     "WindowsLogOnOff",
     {},
     L"",
     L"wait until the process \"backup.exe\" (2 running now) has ended"},
    {{L"force-logoff", L"--after", L"1234", L"--delay", L"10"}, "WindowsForceLogOnOff", {}, L""},
    {{L"hibernate", L"--after", L"1236", L"--at", L"2026-12-07T10:35"}, "WindowsHibernate", {}, L""},
    {{L"msdos", L"--delay", L"0"}, "WindowsMsDosModus", {}, L""},
    {{L"reboot", L"--force", L"--after", L"1234"}, "WindowsForceReboot", {}, L""},
    {{L"shutdown", L"--at", L"10:41"}, "LocalInitSystemShutdownW", {Null, 600, FALSE}, L""},
    {{L"timed-reboot", L"90", L"--after", L"render.exe"}, "LocalInitSystemRebootW", {Null, 90, FALSE}, L""},
};

// MS-DOS mode exists only on Windows 95/98/Me; elsewhere msdos is not available (a row of its own).
bool Applies(const Operation &operation) { return !g_system.nt || operation.args[0] != L"msdos"; }

TEST_P(Cli, EachOperationCallsItsExportOnceWithItsArguments) {
    for (const Operation &operation : Operations) {
        if (!Applies(operation)) continue;
        SCOPED_TRACE(operation.exportName);
        for (LONG result : operation.doneResults) {
            SetUp();
            g_result = result;
            EXPECT_EQ(Run(Confirmed(operation.args)), ExitSuccess) << testing::PrintToString(Err());
            ASSERT_EQ(CalledNames().size(), 1u);
            EXPECT_EQ(Wide(g_calls[0].name), Export(operation.exportName));
            const Recorded &call = g_calls[0];
            ASSERT_EQ(call.args.size(), operation.expectedArgs.size());
            for (size_t i = 0; i < call.args.size(); ++i) {
                if (operation.expectedArgs[i] == AnyText) continue;
                EXPECT_EQ(call.args[i], operation.expectedArgs[i]) << "argument " << i;
            }
            EXPECT_EQ(call.text, Typed(operation.expectedText));
            std::wstring printed = Export(operation.exportName) + L" = ";
            if (operation.answers) {
                EXPECT_NE(Out().find(printed + std::to_wstring(result)), std::wstring::npos);
            } else {
                EXPECT_EQ(Out().find(printed), std::wstring::npos) << testing::PrintToString(Out());
                EXPECT_NE(Out().find(L"quell " + operation.args[0] + L": " + operation.outcome + L"\n"),
                          std::wstring::npos);
            }
            if (operation.args[0].find(L"-dialog") != std::wstring::npos) {
                EXPECT_NE(Out().find(L"quell " + operation.args[0] + L": about to " + Seen(operation.effect) + L"\n"),
                          std::wstring::npos);
            }
        }
    }
}

TEST_P(Cli, AFailedOperationExitsOneWithTheLastErrorOrSaysThereIsNone) {
    for (const Operation &operation : Operations) {
        if (!Applies(operation)) continue;
        SCOPED_TRACE(operation.exportName);
        for (LONG result : operation.notDoneResults) {
            // The system's text, its inserts filled: no raw %1 shows.
            for (const auto &[error, expected] : std::vector<std::pair<DWORD, std::wstring>>{
                     {ERROR_NOT_ALL_ASSIGNED, L"last error 1300 (Text of error 1300.)"},
                     {ERROR_EXE_MACHINE_TYPE_MISMATCH,
                      L"last error 216 (This version of ... does not run on ... here.)"},
                     {0, L"no error code set"}}) {
                SetUp();
                g_result = result;
                g_error = error;
                EXPECT_EQ(Run(Confirmed(operation.args)), ExitFailed);
                EXPECT_EQ(g_calls.size(), 1u);
                EXPECT_NE(Err().find(L" = " + std::to_wstring(result) + L", " + expected + L"\n"), std::wstring::npos)
                    << testing::PrintToString(Err());
                EXPECT_NE(Err().find(result ? L": not restarted" : L": failed"), std::wstring::npos);
            }
        }
    }
    // One more line says why where the error has a known cause; the remote one only for another machine.
    struct Hinted {
        std::vector<std::wstring> args;  // with --yes
        DWORD error;
        bool hinted;
        std::map<std::string, LONG> answers = {};  // else every export answers 0 (InitiateShutdownW: the error)
        std::wstring names = L"";                  // what the hint names
        BYTE aoAc = 0;
        bool ntOnly = true;
    };
    const std::vector<Hinted> hints = {
        {{L"shutdown", L"--machine", L"lab01", L"--delay", L"5"}, ERROR_ACCESS_DENIED, true},
        {{L"shutdown", L"--delay", L"5"}, ERROR_ACCESS_DENIED, false, {{"WindowsNTPrivilegien", -1}}},
        {{L"abort", L"--machine", L"lab01"}, ERROR_ACCESS_DENIED, true},
        {{L"abort"}, ERROR_ACCESS_DENIED, false, {}, L"", 0, false},
        {{L"reboot", L"--machine", L"lab01"}, ERROR_BAD_NETPATH, true},
        {{L"reboot", L"--machine", L"lab01"}, 1722, true},  // RPC_S_SERVER_UNAVAILABLE
        {{L"reboot", L"--delay", L"5"}, ERROR_SHUTDOWN_IN_PROGRESS, true, {{"WindowsNTPrivilegien", -1}}},
        {{L"reboot", L"--delay", L"5"}, 1190, true, {{"WindowsNTPrivilegien", -1}}, L"quell abort"},
        {{L"shutdown"}, ERROR_PRIVILEGE_NOT_HELD, true, {}, L"", 0, false},
        {{L"reboot", L"--delay", L"5"}, ERROR_PRIVILEGE_NOT_HELD, true},  // the privilege refused
        {{L"reboot", L"--delay", L"5"}, ERROR_NOT_ALL_ASSIGNED, false},
        // Standby refused on a Modern Standby machine names display-off; elsewhere 50 has no known cause.
        {{L"standby"}, ERROR_NOT_SUPPORTED, true, {{"GetPwrCapabilities", 1}}, L"display-off", 1, false},
        {{L"standby"}, ERROR_NOT_SUPPORTED, false, {{"GetPwrCapabilities", 1}}, L"", 0, false},
        {{L"hibernate"}, ERROR_NOT_SUPPORTED, false, {{"GetPwrCapabilities", 1}}, L"", 1, false},
    };
    for (const Hinted &row : hints) {
        if (row.ntOnly && !g_system.nt) continue;
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.args) + " " + std::to_string(row.error));
        g_system.version = 0x0A00;
        g_system.aoAc = row.aoAc;
        g_system.answers = row.answers;
        g_system.initiateAnswer = row.error;
        g_result = 0;
        g_error = row.error;
        EXPECT_EQ(Run(Confirmed(row.args)), ExitFailed);
        std::wstring err = Err(), failed = L": failed\n";
        size_t after = err.find(failed);
        ASSERT_NE(after, std::wstring::npos) << Encode(err, CP_UTF8);
        std::wstring hint = err.substr(after + failed.size());
        EXPECT_EQ(!hint.empty(), row.hinted) << Encode(err, CP_UTF8);
        EXPECT_EQ(std::count(hint.begin(), hint.end(), L'\n'), row.hinted ? 1 : 0);
        EXPECT_NE(hint.find(row.names), std::wstring::npos) << Encode(err, CP_UTF8);
    }
}

TEST_P(Cli, WithoutYesNothingIsCalledAndItSaysWhatItWouldDo) {
    for (const Operation &operation : Operations) {
        if (!Applies(operation)) continue;
        SCOPED_TRACE(operation.exportName);
        SetUp();
        EXPECT_EQ(Run(operation.args), ExitUsage);
        EXPECT_TRUE(g_calls.empty());
        std::wstring err = Err();
        std::wstring start = L"quell " + operation.args[0] + L": would ";
        EXPECT_EQ(err.substr(0, start.size()), start) << testing::PrintToString(err);
        std::wstring effect = Seen(operation.effect);
        if (!effect.empty()) {
            EXPECT_EQ(err.substr(start.size(), effect.size()), effect);
        }
        std::wstring call = L"; would call " + Export(operation.exportName) + L"(";
        EXPECT_NE(err.find(call), std::wstring::npos) << testing::PrintToString(err);
        std::wstring end = L"). Nothing done: add --yes to do it.\n";
        EXPECT_EQ(err.substr(err.size() - std::min(err.size(), end.size())), end);
    }
    // The call it would make, with its arguments, exactly.
    for (const auto &[args, call] : std::vector<std::pair<std::vector<std::wstring>, std::wstring>>{
             {{L"shutdown"}, L"WindowsShutdown()"},
             {{L"timed-reboot", L"300", L"Wartung"}, L"LocalInitSystemRebootW(\"Wartung\", 300, FALSE)"},
             {{L"TIMED-SHUTDOWN", L"0", L"--FORCE"}, L"LocalInitSystemShutdownW(NULL, 0, TRUE)"},
             {{L"force-reboot", L"--delay", L"5", L"--message", L"x"}, L"LocalInitSystemRebootW(\"x\", 5, TRUE)"},
             {{L"restart-dialog", L"Neu starten?"}, L"RestartDialog(NULL, \"Neu starten?\", EWX_REBOOT)"},
             {{L"restart-dialog"}, L"RestartDialog(NULL, NULL, EWX_REBOOT)"},
             {{L"shutdown-dialog"}, L"ShutdownDialog(NULL)"},
             {{L"display-off"}, L"DefWindowProcA(its own hidden window, WM_SYSCOMMAND, SC_MONITORPOWER, 2)"},
             // Text arguments as the code sees them, escaped: one line whatever they hold.
             {{L"timed-reboot", L"300", L"say \"hi\"\\now\n\tand\x01"},
              L"LocalInitSystemRebootW(\"say \\\"hi\\\"\\\\now\\n\\tand\\x01\", 300, FALSE)"},
             {{L"restart-dialog", L"C:\\Temp\\\"x\""}, L"RestartDialog(NULL, \"C:\\\\Temp\\\\\\\"x\\\"\", EWX_REBOOT)"},
         }) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(call));
        EXPECT_EQ(Run(args), ExitUsage);
        EXPECT_TRUE(g_calls.empty());
        std::wstring expected = call;  // Windows 95 gets the A of a W export
        size_t wide = expected.find(L"W(");
        if (!g_system.nt && wide != std::wstring::npos) expected[wide] = L'A';
        EXPECT_NE(Err().find(L"; would call " + expected + L". Nothing done: add --yes to do it.\n"),
                  std::wstring::npos)
            << testing::PrintToString(Err());
    }
}

// The system's request: which call each system version gets for both syntaxes,
// with which arguments, and "not available" where the system lacks it.
TEST_P(Cli, RequestsReachTheCallTheSystemVersionOffers) {
    constexpr DWORD Off = SHUTDOWN_POWEROFF, Restart = SHUTDOWN_RESTART,
                    Force = SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF;
    struct Case {
        bool windows95;  // the row's family: Windows 95/98/Me, else NT at version
        DWORD version;
        std::vector<std::wstring> args;  // run as given (the switches need no --yes), and with --yes
        std::vector<std::string> calls;  // empty: not available, exit 1
        std::wstring machine, message;   // the strings that reach the last call
        std::vector<uintptr_t> numbers;  // its arguments, strings as AnyText
        std::wstring said;               // in the dry run's call, or in "not available"'s text
        std::wstring unsaid = L"";       // what "not available" must not name (the request did not ask for it)
        std::wstring words = L"";        // what --yes says has happened
        long clockShift = 0;             // the local clock moves so far, 600 s into the run
    };
    const std::wstring P = L"WindowsNTPrivilegien";
    const std::vector<Case> cases = {
        {false,
         0x0A00,
         {L"reboot", L"--delay", L"600", L"--reason", L"p:4:1"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 600, Restart, 0x80040001},
         P + L"(), then InitiateShutdownW(NULL, NULL, 600, SHUTDOWN_RESTART, 0x80040001)"},
        {false,
         0x0A00,
         {L"shutdown", L"--machine", L"\\\\lab01", L"--delay", L"60", L"--message", L"Wartung ✓", L"--force",
          L"--reason", L"U:2:4"},
         {"InitiateShutdownW"},
         L"lab01",
         L"Wartung ✓",
         {AnyText, AnyText, 60, Off | Force, 0x40020004},
         L"InitiateShutdownW(\"lab01\", \"Wartung ✓\", 60, SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF | "
         L"SHUTDOWN_POWEROFF, 0x40020004)"},
        {false,
         0x0602,
         {L"reboot", L"--boot-options"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Restart | SHUTDOWN_RESTART_BOOTOPTIONS, 0},
         L"InitiateShutdownW(NULL, NULL, 0, SHUTDOWN_RESTART | SHUTDOWN_RESTART_BOOTOPTIONS, 0x00000000)"},
        {false,
         0x0601,
         {L"reboot", L"--boot-options"},
         {},
         L"",
         L"",
         {},
         L"SHUTDOWN_RESTART_BOOTOPTIONS (Windows 8 and later)",
         L"SHUTDOWN_HYBRID"},
        // Success in words, with the local time it happens at.
        {false,
         0x0A00,
         {L"reboot", L"--delay", L"600"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 600, Restart, 0},
         L"",
         L"",
         L"quell reboot: reboot of this machine in 600 s (10:41); `quell abort` cancels it\n"},
        {false,
         0x0A00,
         {L"/s", L"/m", L"\\\\lab01", L"/t", L"90000"},
         {"InitiateShutdownW"},
         L"lab01",
         L"",
         {AnyText, Null, 90000, Off | Force, 0},
         L"",
         L"",
         L"quell shutdown: shutdown of the machine \"lab01\" in 90000 s (2026-12-08 11:31); "
         L"`quell abort --machine lab01` cancels it\n"},
        {false,
         0x0A00,
         {L"/a", L"/m", L"lab01"},
         {"AbortSystemShutdownW"},
         L"lab01",
         L"",
         {AnyText},
         L"",
         L"",
         L"quell abort: the timed shutdown or reboot of the machine \"lab01\" is aborted\n"},
        // The default reason, 0:0, is no reason: accepted where reasons are not.
        {false,
         0x0500,
         {L"reboot", L"--reason", L"0:0", L"--delay", L"5"},
         {"LocalInitSystemRebootW"},
         L"",
         L"",
         {Null, 5, FALSE},
         L"LocalInitSystemRebootW(NULL, 5, FALSE)"},
        {false, 0x0400, {L"/s", L"/d", L"0:0"}, {"LocalInitSystemShutdownW"}, L"", L"", {Null, 30, FALSE}},
        {true, 0, {L"/s", L"/d", L"0:0", L"/t", L"0"}, {"LocalInitSystemShutdownA"}, L"", L"", {Null, 0, FALSE}},
        {false, 0x0500, {L"reboot", L"--reason", L"p:0:0"}, {}, L"", L"", {}, L"InitiateSystemShutdownExW"},
        {false,
         0x0602,
         {L"hybrid", L"--delay", L"0", L"--reason", L"255:65535"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Off | SHUTDOWN_HYBRID, 0x00FFFFFF},
         L"SHUTDOWN_POWEROFF | SHUTDOWN_HYBRID, 0x00FFFFFF)"},
        {false,
         0x0A00,
         {L"hybrid", L"--force"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Off | SHUTDOWN_HYBRID | Force, 0},
         L""},
        {false,
         0x0601,
         {L"hybrid", L"--delay", L"5"},
         {},
         L"",
         L"",
         {},
         L"SHUTDOWN_HYBRID (Windows 8 and later)",
         L"BOOTOPTIONS"},
        {false,
         0x0600,
         {L"restart-apps", L"--delay", L"5"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 5, Restart | SHUTDOWN_RESTARTAPPS, 0},
         L"SHUTDOWN_RESTART | SHUTDOWN_RESTARTAPPS, 0x00000000)"},
        {false, 0x0502, {L"restart-apps", L"--delay", L"5"}, {}, L"", L"", {}, L"(Windows Vista and later)"},
        {false,
         0x0600,
         {L"force-reboot", L"--delay", L"5"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 5, Restart | Force, 0},
         L""},
        {false,
         0x0A00,
         {L"shutdown", L"--message", L"x"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"x",
         {Null, AnyText, 0, Off, 0},
         L""},
        {false, 0x0A00, {L"shutdown", L"--force"}, {"WindowsForceShutdown"}, L"", L"", {}, L"WindowsForceShutdown()"},
        {false,
         0x0501,
         {L"reboot", L"--machine", L"lab01", L"--delay", L"30", L"--reason", L"2:4", L"--force"},
         {"InitiateSystemShutdownExW"},
         L"lab01",
         L"",
         {AnyText, Null, 30, TRUE, TRUE, 0x00020004},
         L"InitiateSystemShutdownExW(\"lab01\", NULL, 30, TRUE, TRUE, 0x00020004)"},
        {false,
         0x0502,
         {L"timed-shutdown", L"90", L"Wartung"},
         {"WindowsNTPrivilegien", "InitiateSystemShutdownExW"},
         L"",
         L"Wartung",
         {Null, AnyText, 90, FALSE, FALSE, 0},
         P + L"(), then InitiateSystemShutdownExW(NULL, \"Wartung\", 90, FALSE, FALSE, 0x00000000)"},
        {false,
         0x0400,
         {L"reboot", L"--delay", L"0", L"--force"},
         {"LocalInitSystemRebootW"},
         L"",
         L"",
         {Null, 0, TRUE},
         L"LocalInitSystemRebootW(NULL, 0, TRUE)"},
        {false,
         0x0500,
         {L"reboot", L"--reason", L"p:1:1", L"--delay", L"5"},
         {},
         L"",
         L"",
         {},
         L"InitiateSystemShutdownExW (Windows XP and later)"},
        {false, 0x0400, {L"shutdown", L"--machine", L"lab01"}, {}, L"", L"", {}, L"InitiateSystemShutdownExW"},
        {false,
         0x0A00,
         {L"abort", L"--machine", L"\\\\lab01"},
         {"AbortSystemShutdownW"},
         L"lab01",
         L"",
         {AnyText},
         L"AbortSystemShutdownW(\"lab01\")"},
        {false, 0x0400, {L"abort"}, {"LocalAbortSystemShutdown"}, L"", L"", {}, L"LocalAbortSystemShutdown()"},
        // The standard command's syntax.
        {false,
         0x0A00,
         {L"/r", L"/t", L"0"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Restart, 0}},
        {false,
         0x0A00,
         {L"/s", L"/t", L"600", L"/c", L"Wartung", L"/d", L"p:4:1"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"Wartung",
         {Null, AnyText, 600, Off | Force, 0x80040001}},
        {false, 0x0A00, {L"/S"}, {"WindowsNTPrivilegien", "InitiateShutdownW"}, L"", L"", {Null, Null, 30, Off, 0}},
        {false,
         0x0A00,
         {L"/g", L"/F"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 30, Restart | SHUTDOWN_RESTARTAPPS | Force, 0}},
        {false,
         0x0A00,
         {L"/s", L"/HYBRID", L"/t", L"0"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Off | SHUTDOWN_HYBRID, 0}},
        {false,
         0x0A00,
         {L"/o", L"/r", L"/t", L"0"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Restart | SHUTDOWN_RESTART_BOOTOPTIONS, 0}},
        {false, 0x0A00, {L"/a", L"/m", L"\\\\lab01"}, {"AbortSystemShutdownW"}, L"lab01", L"", {AnyText}},
        {false, 0x0A00, {L"/a"}, {"LocalAbortSystemShutdown"}, L"", L"", {}},
        {false, 0x0A00, {L"/l"}, {"WindowsLogOnOff"}, L"", L"", {}},
        {false, 0x0A00, {L"/l", L"/f"}, {"WindowsForceLogOnOff"}, L"", L"", {}},
        {false, 0x0A00, {L"/h"}, {"WindowsHibernate"}, L"", L"", {}},
        {false, 0x0A00, {L"/p"}, {"WindowsShutdown"}, L"", L"", {}},
        {false, 0x0A00, {L"/p", L"/f"}, {"WindowsForceShutdown"}, L"", L"", {}},
        {false,
         0x0A00,
         {L"/p", L"/d", L"u:1:2"},
         {"WindowsNTPrivilegien", "InitiateShutdownW"},
         L"",
         L"",
         {Null, Null, 0, Off, 0x40010002}},
        {false,
         0x0501,
         {L"/s", L"/m", L"\\\\lab01", L"/t", L"5"},
         {"InitiateSystemShutdownExW"},
         L"lab01",
         L"",
         {AnyText, Null, 5, TRUE, FALSE, 0}},
        {false, 0x0500, {L"/r"}, {"LocalInitSystemRebootW"}, L"", L"", {Null, 30, FALSE}},
        {false, 0x0500, {L"/r", L"/d", L"4:1"}, {}, L"", L"", {}, L"InitiateSystemShutdownExW"},
        {false, 0x0601, {L"/r", L"/o"}, {}, L"", L"", {}, L"SHUTDOWN_RESTART_BOOTOPTIONS"},
        // Windows 95/98/Me: the immediate exports and the library's own timed ones.
        {true,
         0,
         {L"shutdown", L"--delay", L"60", L"--message", L"Grüße"},
         {"LocalInitSystemShutdownA"},
         L"",
         L"Grüße",
         {AnyText, 60, FALSE},
         L"LocalInitSystemShutdownA(\"Grüße\", 60, FALSE)"},
        {true, 0, {L"reboot", L"--machine", L"lab01"}, {}, L"", L"", {}, L"InitiateSystemShutdownExW"},
        {true, 0, {L"restart-apps", L"--delay", L"1"}, {}, L"", L"", {}, L"InitiateShutdownW"},
        {true, 0, {L"abort", L"--machine", L"lab01"}, {}, L"", L"", {}, L"AbortSystemShutdownW"},
        {true, 0, {L"/r", L"/t", L"0"}, {"LocalInitSystemRebootA"}, L"", L"", {Null, 0, FALSE}},
        {true, 0, {L"/l"}, {"WindowsLogOnOff"}, L"", L"", {}},
        {false, 0x0A00, {L"msdos", L"--delay", L"60"}, {}, L"", L"", {}, L"Windows 95/98/Me"},
        {true, 0, {L"/s", L"/d", L"p:1:1"}, {}, L"", L"", {}, L"InitiateSystemShutdownExW"},
        // --at when daylight saving time begins or ends before it: the seconds that pass, where the system
        // converts local times (XP on); before XP the local clock's difference.
        {.windows95 = false,
         .version = 0x0A00,
         .args = {L"reboot", L"--at", L"12:00"},
         .calls = {"WindowsNTPrivilegien", "InitiateShutdownW"},
         .numbers = {Null, Null, 1740, Restart, 0},
         .said = L"InitiateShutdownW(NULL, NULL, 1740, SHUTDOWN_RESTART, 0x00000000)",
         .words = L"reboot of this machine in 1740 s (12:00)",
         .clockShift = 3600},
        {.windows95 = false,
         .version = 0x0501,
         .args = {L"reboot", L"--at", L"12:00"},
         .calls = {"WindowsNTPrivilegien", "InitiateSystemShutdownExW"},
         .numbers = {Null, Null, 8940, FALSE, TRUE, 0},
         .said = L"InitiateSystemShutdownExW(NULL, NULL, 8940, FALSE, TRUE, 0x00000000)",
         .clockShift = -3600},
        {.windows95 = false,
         .version = 0x0500,
         .args = {L"reboot", L"--at", L"12:00"},
         .calls = {"LocalInitSystemRebootW"},
         .numbers = {Null, 5340, FALSE},
         .said = L"LocalInitSystemRebootW(NULL, 5340, FALSE)",
         .clockShift = 3600},
    };
    for (const Case &row : cases) {
        if (row.windows95 == g_system.nt) continue;
        SCOPED_TRACE(testing::PrintToString(row.args));
        bool switches = row.args[0][0] == L'/';
        for (bool confirmed : {false, true}) {
            if (switches && !confirmed) continue;
            SetUp();
            g_system.version = row.version;
            g_system.clockShift = row.clockShift;
            g_system.clockShiftAt = 600;
            int status = Run(confirmed && !switches ? Confirmed(row.args) : row.args);
            if (row.calls.empty()) {
                EXPECT_EQ(status, ExitFailed);
                EXPECT_TRUE(g_calls.empty());
                EXPECT_NE(Err().find(L": not available: "), std::wstring::npos) << testing::PrintToString(Err());
                EXPECT_NE(Err().find(row.said), std::wstring::npos) << testing::PrintToString(Err());
                if (!row.unsaid.empty()) {
                    EXPECT_EQ(Err().find(row.unsaid), std::wstring::npos) << testing::PrintToString(Err());
                }
                continue;
            }
            if (!confirmed) {
                EXPECT_EQ(status, ExitUsage);
                EXPECT_TRUE(g_calls.empty());
                EXPECT_NE(Err().find(Seen(row.said) + L". Nothing done"), std::wstring::npos)
                    << testing::PrintToString(Err());
                continue;
            }
            EXPECT_EQ(status, ExitSuccess) << testing::PrintToString(Err());
            ASSERT_EQ(CalledNames(), row.calls);
            const Recorded &call = g_calls.back();
            ASSERT_EQ(call.args.size(), row.numbers.size());
            for (size_t i = 0; i < call.args.size(); ++i) {
                if (row.numbers[i] == AnyText) continue;
                EXPECT_EQ(call.args[i], row.numbers[i]) << "argument " << i;
            }
            EXPECT_EQ(call.machine, row.machine);
            EXPECT_EQ(call.text, Typed(row.message));
            EXPECT_NE(Out().find(row.words), std::wstring::npos) << testing::PrintToString(Out());
        }
    }
    // The system's answers: an error code from InitiateShutdownW, a refused privilege.
    if (!g_system.nt) return;
    SetUp();
    g_system.version = 0x0A00;
    g_system.initiateAnswer = ERROR_SHUTDOWN_IN_PROGRESS;
    EXPECT_EQ(Run({L"/r"}), ExitFailed);
    EXPECT_NE(Err().find(L"InitiateShutdownW = 1115, last error 1115 (Text of error 1115.)\nquell reboot: failed"),
              std::wstring::npos)
        << testing::PrintToString(Err());
    SetUp();
    g_system.version = 0x0A00;
    g_result = 0;
    g_error = ERROR_NOT_ALL_ASSIGNED;
    EXPECT_EQ(Run({L"reboot", L"--yes", L"--delay", L"5"}), ExitFailed);
    EXPECT_EQ(CalledNames(), std::vector<std::string>{"WindowsNTPrivilegien"});
    EXPECT_NE(Err().find(L"WindowsNTPrivilegien = 0, last error 1300 (Text of error 1300.)\nquell reboot: failed"),
              std::wstring::npos);
    SetUp();
    g_system.version = 0x0A00;
    g_system.lacking = {"InitiateShutdownW"};
    EXPECT_EQ(Run({L"/s"}), ExitNoLibrary);
    EXPECT_NE(Err().find(L"InitiateShutdownW missing from Quell.dll"), std::wstring::npos);
}

TEST_P(Cli, UsageErrorsExitTwoAndCallNothing) {
    const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> cases = {
        {{}, L"no command given"},
        {{L"bogus"}, L"unknown command \"bogus\""},
        {{L"-s"}, L"unknown command \"-s\""},
        {{L"shutdown", L"now", L"--yes"}, L"shutdown: unexpected argument \"now\""},
        {{L"standby", L"--bogus", L"--yes"}, L"standby: unknown option \"--bogus\""},
        // An option of other commands: which commands take it.
        {{L"standby", L"--force", L"--yes"}, L"standby does not take --force; shutdown,"},
        {{L"STANDBY", L"--FORCE", L"--YES"}, L"standby does not take --FORCE;"},
        {{L"logoff", L"--force", L"--yes"}, L"logoff does not take --force: use force-logoff"},
        {{L"shutdown", L"--boot-options"}, L"shutdown does not take --boot-options; reboot, force-reboot take it"},
        {{L"shutdown", L"-y"}, L"shutdown: unknown option \"-y\""},
        {{L"shutdown", L"--", L"-h"}, L"shutdown: unexpected argument \"-h\""},
        {{L"status", L"--yes"}, L"status does not take --yes"},
        {{L"status", L"now"}, L"status: unexpected argument \"now\""},
        {{L"help", L"bogus"}, L"help: unknown command \"bogus\""},
        {{L"help", L"shutdown", L"reboot"}, L"help: unexpected argument \"reboot\""},
        {{L"timed-shutdown", L"--yes"}, L"timed-shutdown needs SECONDS"},
        {{L"timed-shutdown", L"ten", L"--yes"}, L"not \"ten\""},
        {{L"timed-shutdown", L"10s", L"--yes"}, L"not \"10s\""},
        {{L"timed-shutdown", L"-5", L"--yes"}, L"SECONDS must be a whole number from 0 to 315360000, not \"-5\""},
        {{L"timed-shutdown", L"4294967296", L"--yes"}, L"not \"4294967296\""},
        {{L"timed-shutdown", L"10", L"message", L"extra", L"--yes"}, L"unexpected argument \"extra\""},
        {{L"restart-dialog", L"one", L"two", L"--yes"}, L"unexpected argument \"two\""},
        {{L"timed-reboot", L"315360001", L"--yes"}, L"not \"315360001\""},
        {{L"shutdown", L"--delay", L"315360001"},
         L"--delay must be a whole number from 0 to 315360000, not \"315360001\""},
        {{L"reboot", L"--DELAY", L"-1"}, L"--DELAY must be a whole number from 0 to 315360000, not \"-1\""},
        {{L"reboot", L"--delay"}, L"reboot: --delay needs a value"},
        {{L"reboot", L"--delay", L"1e3"}, L"not \"1e3\""},
        {{L"shutdown", L"--machine", L"\\\\"}, L"--machine needs a computer name"},
        // A name is a name: nothing after it, no blank, no quote, nothing empty.
        {{L"shutdown", L"--machine", L""}, L"--machine needs a computer name"},
        {{L"shutdown", L"--machine", L"\\\\lab01\\c$"}, L"--machine needs a computer name"},
        {{L"shutdown", L"--machine", L"\\\\\\lab01"}, L"--machine needs a computer name"},
        {{L"shutdown", L"--machine", L"lab 01"}, L"--machine needs a computer name"},
        {{L"shutdown", L"--machine", L"\\\\lab01\" --delay 5 --yes"}, L"--machine needs a computer name"},
        // One value an option: given twice, the first is not dropped in silence.
        {{L"shutdown", L"--machine", L"web01", L"--machine", L"db01", L"--yes"}, L"--machine is given twice"},
        {{L"shutdown", L"--delay", L"5", L"--DELAY", L"60"}, L"--DELAY is given twice"},
        {{L"shutdown", L"--message", L"a", L"--message", L"b"}, L"--message is given twice"},
        {{L"shutdown", L"--reason", L"p:4:1", L"--reason", L"p:4:1"}, L"--reason is given twice"},
        {{L"timed-shutdown", L"60", L"msg", L"--delay", L"10"}, L"timed-shutdown: the delay is given twice"},
        {{L"timed-reboot", L"60", L"msg", L"--message", L"x"}, L"timed-reboot: the message is given twice"},
        {{L"/s", L"/m", L"a", L"/m", L"b"}, L"/m is given twice"},
        {{L"/r", L"/t", L"5", L"/T", L"6"}, L"/T is given twice"},
        {{L"/s", L"/s"}, L"/s is given twice"},
        {{L"/s", L"/f", L"/f"}, L"/f is given twice"},
        {{L"shutdown", L"--reason", L"256:1"},
         L"--reason must be [p:|u:]MAJOR:MINOR, MAJOR 0 to 255, MINOR 0 to 65535, not \"256:1\""},
        {{L"shutdown", L"--reason", L"1:65536"}, L"not \"1:65536\""},
        {{L"shutdown", L"--reason", L"x:1:1"}, L"not \"x:1:1\""},
        {{L"shutdown", L"--reason", L"p:1"}, L"not \"p:1\""},
        {{L"shutdown", L"--reason", L"1:2:3"}, L"not \"1:2:3\""},
        {{L"shutdown", L"--reason", L"p:-1:2"}, L"not \"p:-1:2\""},
        {{L"shutdown", L"--reason", L""}, L"not \"\""},
        {{L"logoff", L"--message", L"x"}, L"logoff does not take --message"},
        {{L"abort", L"--delay", L"5"}, L"abort does not take --delay"},
        // The standard command's syntax.
        {{L"/x"}, L"unknown switch \"/x\""},
        {{L"/s", L"/i"}, L"unknown switch \"/i\""},
        {{L"/e"}, L"unknown switch \"/e\""},
        {{L"/s", L"/fw"}, L"unknown switch \"/fw\""},
        {{L"/r", L"/soft"}, L"unknown switch \"/soft\""},
        {{L"/s", L"-f"}, L"unknown switch \"-f\""},
        {{L"/s", L"--yes"}, L"unknown switch \"--yes\""},
        {{L"/s", L"/R"}, L"/s and /R are two actions: give one"},
        {{L"/t", L"5"}, L"one of /s /r /g /l /h /p /a is needed"},
        {{L"/hybrid"}, L"one of /s /r /g /l /h /p /a is needed"},
        {{L"/r", L"/hybrid"}, L"/hybrid does not go with /r"},
        {{L"/s", L"/o"}, L"/o does not go with /s"},
        {{L"/l", L"/m", L"\\\\lab01"}, L"/m does not go with /l"},
        {{L"/l", L"/t", L"0"}, L"/t does not go with /l"},
        {{L"/h", L"/f"}, L"/f does not go with /h"},
        {{L"/p", L"/t", L"0"}, L"/t does not go with /p"},
        {{L"/a", L"/t", L"5"}, L"/t does not go with /a"},
        {{L"/s", L"/t"}, L"/t needs a value"},
        {{L"/s", L"/t", L"315360001"}, L"/t must be a whole number from 0 to 315360000, not \"315360001\""},
        {{L"/s", L"/d", L"4"}, L"/d must be [p:|u:]MAJOR:MINOR"},
        {{L"/r", L"/m", L"\\\\"}, L"/m needs a computer name"},
        {{L"/s", L"/c"}, L"/c needs a value"},
        {{L"blockers", L"--yes"}, L"blockers does not take --yes"},
        {{L"blockers", L"now"}, L"blockers: unexpected argument \"now\""},
        {{L"--version", L"--json"}, L"--version does not take --json; status, blockers, pending take it"},
        {{L"shutdown", L"--json", L"--yes"}, L"shutdown does not take --json"},
        // When: the moment must be a real one, to come, within ten years, given once and not with --delay.
        {{L"standby", L"--at", L"2026-12-07T10:30", L"--yes"}, L"--at \"2026-12-07T10:30\" has passed"},
        {{L"shutdown", L"--at", L"2025-01-01T00:00", L"--yes"}, L"--at \"2025-01-01T00:00\" has passed"},
        {{L"lock", L"--at", L"24:00", L"--yes"}, L"--at must be a real time"},
        {{L"lock", L"--at", L"10:60", L"--yes"}, L"not \"10:60\""},
        {{L"lock", L"--at", L"1030", L"--yes"}, L"not \"1030\""},
        {{L"lock", L"--at", L"10:3", L"--yes"}, L"not \"10:3\""},
        {{L"lock", L"--at", L"10:30pm", L"--yes"}, L"not \"10:30pm\""},
        {{L"lock", L"--at", L"2027-02-29T10:00", L"--yes"}, L"not \"2027-02-29T10:00\""},
        {{L"lock", L"--at", L"2026-13-01T10:00", L"--yes"}, L"not \"2026-13-01T10:00\""},
        {{L"lock", L"--at", L"2026-12-08 10:00", L"--yes"}, L"not \"2026-12-08 10:00\""},
        {{L"reboot", L"--at", L"2036-12-05T10:31", L"--yes"}, L"--at \"2036-12-05T10:31\" is more than ten years"},
        {{L"standby", L"--at", L"9999-12-31T23:59", L"--yes"}, L"is more than ten years"},
        {{L"standby", L"--at", L"10:32", L"--delay", L"5", L"--yes"}, L"--delay and --at: give one of them"},
        {{L"reboot", L"--delay", L"5", L"--at", L"10:32", L"--yes"}, L"--at and --delay: give one of them"},
        {{L"timed-shutdown", L"60", L"--at", L"10:32", L"--yes"}, L"SECONDS and --at: give one of them"},
        {{L"lock", L"--at", L"10:32", L"--at", L"10:33", L"--yes"}, L"--at is given twice"},
        {{L"lock", L"--after", L"backup", L"--yes"}, L"--after needs a process id or a program's file name"},
        {{L"lock", L"--after", L"C:\\Tools\\backup.exe", L"--yes"}, L"--after needs a process id"},
        {{L"lock", L"--after", L"0", L"--yes"}, L"--after needs a process id"},
        {{L"lock", L"--after", L"4242", L"--yes"}, L"--after \"4242\""},  // its own: a wait without end
        {{L"status", L"--at", L"10:32"}, L"status does not take --at"},
        {{L"abort", L"--after", L"1234", L"--yes"}, L"abort does not take --after"},
    };
    for (const auto &[args, message] : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(message));
        EXPECT_EQ(Run(args), ExitUsage);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_EQ(Err().substr(0, 7), L"quell: ");
        EXPECT_NE(Err().find(message), std::wstring::npos) << testing::PrintToString(Err());
        EXPECT_NE(Err().find(L"\nTry 'quell --help'.\n"), std::wstring::npos);
    }
}

// The help: of every command, or of the command named, with the options of its
// row; both with every exit status.
TEST_P(Cli, HelpListsEveryCommandOrTheOneAskedAboutAndCallsNothing) {
    struct HelpCase {
        std::vector<std::wstring> args;
        std::wstring about;              // empty: every command
        std::wstring option, notOption;  // an option the command takes, and one it does not
    };
    for (const HelpCase &row : std::vector<HelpCase>{
             {{L"--help"}, L"", L"--after", L""},
             {{L"/?"}, L"", L"--after", L""},
             {{L"-h"}, L"", L"--after", L""},
             {{L"help"}, L"", L"--after", L""},
             {{L"--Help"}, L"", L"--after", L""},
             {{L"HELP"}, L"", L"--after", L""},
             {{L"-H"}, L"", L"--after", L""},
             {{L"-?"}, L"", L"--after", L""},
             {{L"/s", L"/?"}, L"", L"--after", L""},
             {{L"/S", L"/T", L"5", L"/?"}, L"", L"--after", L""},
             {{L"shutdown", L"--help"}, L"shutdown", L"--machine", L"--json"},
             {{L"shutdown", L"/?", L"--yes"}, L"shutdown", L"--machine", L"--json"},
             {{L"help", L"shutdown"}, L"shutdown", L"--machine", L"--json"},
             {{L"HELP", L"Status"}, L"status", L"--json", L"--yes"},
             {{L"standby", L"-h"}, L"standby", L"--after", L"--machine"},
             {{L"abort", L"--machine", L"x", L"-?"}, L"abort", L"--machine", L"--delay"},
             {{L"help", L"help"}, L"help", L"", L"--yes"},
         }) {
        SetUp();
        EXPECT_EQ(Run(row.args), ExitSuccess);
        EXPECT_TRUE(g_calls.empty());
        EXPECT_TRUE(Err().empty());
        if (row.about.empty()) {
            EXPECT_NE(Out().find(L"Usage: quell COMMAND"), std::wstring::npos);
            for (const Operation &operation : Operations) {
                EXPECT_NE(Out().find(L"  " + operation.args[0]), std::wstring::npos);
            }
        } else {
            EXPECT_NE(Out().find(L"Usage: quell " + row.about), std::wstring::npos) << Out();
            EXPECT_EQ(Out().find(L"Usage: quell COMMAND"), std::wstring::npos);
        }
        EXPECT_NE(Out().find(L"\n  " + row.option), std::wstring::npos) << Out();
        if (!row.notOption.empty()) {
            EXPECT_EQ(Out().find(L"\n  " + row.notOption), std::wstring::npos) << Out();
        }
        for (int status : {ExitSuccess, ExitFailed, ExitUsage, ExitNoLibrary, ExitCancelled}) {
            EXPECT_NE(Out().find(L"\n  " + std::to_wstring(status) + L"  "), std::wstring::npos);
        }
    }
}

// Raw command lines, split by the C runtime's rules: the message each passes.
TEST_P(Cli, TheCommandLineIsSplitAsTheCRuntimeDoes) {
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"quell timed-reboot 5 \"a b\" --yes", L"a b"},
        {L"quell\ttimed-reboot\t5\tx\t--yes", L"x"},
        {L"\"C:\\Program Files\\quell.exe\" timed-reboot 5 a\\\\b --yes", L"a\\\\b"},
        {L"quell timed-reboot 5 \"say \\\"hi\\\"\" --yes", L"say \"hi\""},
        {L"quell timed-reboot 5 a\\\\\\\\\"b c\" --yes", L"a\\\\b c"},
        {L"quell timed-reboot 5 \"a\"\"b\" --yes", L"a\"b"},
        {L"quell timed-reboot 5 \"ends in\\\\\" --yes", L"ends in\\"},
        // Command names and options in any case.
        {L"quell TIMED-REBOOT 5 x --YES", L"x"},
        {L"quell Timed-Reboot 5 \"Wartung\" --Force --Yes", L"Wartung"},
        {L"quell SHUTDOWN --YES", L""},
        // In the program name a backslash escapes nothing.
        {L"\"C:\\Tools dir\\\"quell.exe timed-reboot 5 msg --yes", L"msg"},
    };
    for (const auto &[line, message] : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(line));
        EXPECT_EQ(RunLine(line), ExitSuccess) << testing::PrintToString(Err());
        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].text, message);
    }
}

std::wstring Directory(size_t length) { return L"C:\\" + std::wstring(length - 4, L'd') + L"\\"; }
const std::wstring Share = L"\\\\server\\share\\" + std::wstring(300, L's') + L"\\";

// Quell.dll is loaded from quell.exe's directory by full path or not at all;
// started through a symbolic link, from the directory of the file it leads to.
TEST_P(Cli, QuellDllIsLoadedBesideQuellExeByFullPath) {
    struct Case {
        std::wstring exePath, ntLoads, windows95Loads;  // empty: refused
        std::wstring linkTarget = L"";
        DWORD openError = 0, finalPathError = 0;
        std::string lacking = "";  // kernel32 lacks it
    };
    // winget starts a portable program through a link in its Links folder.
    const std::wstring winget = L"C:\\Users\\Jo\\AppData\\Local\\Microsoft\\WinGet\\";
    const std::wstring links = winget + L"Links\\", package = winget + L"Packages\\Quell_Sourcex64\\quell-2\\";
    const std::vector<Case> cases = {
        {L"C:\\Tools\\quell.exe", L"C:\\Tools\\Quell.dll", L"C:\\Tools\\Quell.dll"},
        {Directory(250) + L"quell.exe", Directory(250) + L"Quell.dll", Directory(250) + L"Quell.dll"},
        {Directory(251) + L"quell.exe", L"\\\\?\\" + Directory(251) + L"Quell.dll", L""},
        {Directory(32000) + L"quell.exe", L"\\\\?\\" + Directory(32000) + L"Quell.dll", L""},
        {Share + L"quell.exe", L"\\\\?\\UNC\\" + Share.substr(2) + L"Quell.dll", L""},
        {L"\\\\?\\" + Directory(300) + L"quell.exe", L"\\\\?\\" + Directory(300) + L"Quell.dll", L""},
        {L"quell.exe", L"", L""},
        {L"Tools\\quell.exe", L"", L""},
        {L"", L"", L""},
        // Through a link, beside the file it leads to; Windows 95/98/Me have no links to files and never ask.
        {links + L"quell.exe", package + L"Quell.dll", links + L"Quell.dll", package + L"quell.exe"},
        {L"C:\\Tools\\quell.exe", L"\\\\server\\tools\\Quell.dll", L"C:\\Tools\\Quell.dll",
         L"\\\\server\\tools\\q.exe"},
        {L"C:\\Tools\\quell.exe", L"\\\\?\\" + Directory(300) + L"Quell.dll", L"C:\\Tools\\Quell.dll",
         Directory(300) + L"quell.exe"},
        {Directory(300) + L"quell.exe", L"C:\\Quell\\Quell.dll", L"", L"C:\\Quell\\quell.exe"},
        // Where the link cannot be followed (before Vista the call is missing), the module's directory.
        {links + L"quell.exe", links + L"Quell.dll", links + L"Quell.dll", package + L"quell.exe", 0, 0,
         "GetFinalPathNameByHandleW"},
        {links + L"quell.exe", links + L"Quell.dll", links + L"Quell.dll", package + L"quell.exe", ERROR_ACCESS_DENIED},
        {links + L"quell.exe", links + L"Quell.dll", links + L"Quell.dll", package + L"quell.exe", 0,
         ERROR_PATH_NOT_FOUND},
    };
    for (const Case &row : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.exePath.substr(0, 40)) + " " + row.lacking);
        g_system.exePath = row.exePath;
        g_system.linkTarget = row.linkTarget;
        g_system.openError = row.openError;
        g_system.finalPathError = row.finalPathError;
        g_system.lackingWide = row.lacking;
        const std::wstring &expected = g_system.nt ? row.ntLoads : row.windows95Loads;
        EXPECT_EQ(Run({L"lock", L"--yes"}), expected.empty() ? ExitNoLibrary : ExitSuccess);
        EXPECT_EQ(g_system.loaded, expected.empty() ? std::vector<std::wstring>{} : std::vector{expected});
        if (expected.empty()) {
            EXPECT_NE(Err().find(L"Quell.dll is loaded only from the directory of quell.exe"), std::wstring::npos);
        }
    }
}

TEST_P(Cli, StatusAsksOnlyTheHarmlessExportsAndLooksUpTheSystemEntriesByFullPath) {
    g_result = 1;
    g_error = ERROR_CALL_NOT_IMPLEMENTED;
    g_system.shellLacksShutdownDialog = true;
    EXPECT_EQ(Run({L"status"}), ExitSuccess);
    std::vector<std::string> expected = {"CheckWindowsNT",        "CheckUserName",          "WindowsNTPrivilegien",
                                         "DllGetVersion",         "CheckSystemPowerStatus", "IsPwrSuspendAllowed",
                                         "IsPwrHibernateAllowed", "GetPwrCapabilities",     "CheckMsDosModus"};
    EXPECT_EQ(CalledNames(), expected);
    for (const std::string &name : expected) EXPECT_NE(Out().find(Wide(name) + L" = "), std::wstring::npos) << name;
    EXPECT_NE(Out().find(L"CheckWindowsNT = 1, last error 120 (Text of error 120.)\n"), std::wstring::npos);
    // Every system entry Quell.dll may look up on this system (kernel32's are in
    // its import table), version.dll's in this family's character set.
    const char *charSet = g_system.nt ? "W" : "A";
    std::vector<std::string> entries = {
        "user32.dll!LockWorkStation",
        "user32.dll!ShutdownBlockReasonCreate",
        "user32.dll!ShutdownBlockReasonDestroy",
        "user32.dll!ShutdownBlockReasonQuery",
        "shell32.dll!#59",
        "shell32.dll!#60",
        "advapi32.dll!InitiateSystemShutdownExA",
        "advapi32.dll!InitiateSystemShutdownExW",
        "advapi32.dll!InitiateShutdownA",
        "advapi32.dll!InitiateShutdownW",
        "powrprof.dll!IsPwrSuspendAllowed",
        "powrprof.dll!IsPwrHibernateAllowed",
        "powrprof.dll!SetSuspendState",
        "powrprof.dll!GetPwrCapabilities",
        std::string("version.dll!GetFileVersionInfoSize") + charSet,
        std::string("version.dll!GetFileVersionInfo") + charSet,
        "version.dll!VerQueryValueA",
    };
    std::string directory = std::string(SystemDirectory()) + "\\";
    for (std::string &entry : entries) entry = directory + entry;
    EXPECT_EQ(g_system.lookedUp, entries);
    EXPECT_EQ(std::count(g_system.systemCalls.begin(), g_system.systemCalls.end(), "FreeLibrary"), 17);
    EXPECT_NE(LineWith(L"#59 (RestartDialog)").find(L" offered"), std::wstring::npos);
    EXPECT_NE(LineWith(L"#60 (ShutdownDialog)").find(L" missing"), std::wstring::npos);
    EXPECT_NE(LineWith(L"VerQueryValueA").find(L"version.dll"), std::wstring::npos);

    // Modern Standby: the capabilities record's AoAc byte explains a standby that is not possible.
    struct ModernStandby {
        BYTE aoAc;
        LONG capabilitiesRead;
        std::wstring answer, detail;
    };
    for (const ModernStandby &row : std::vector<ModernStandby>{
             {0, 1, L"no", L"AoAc 0"},
             {1, 1, L"yes", L"AoAc 1: the machine sleeps in S0 low power idle, which takes the place of S1 to S3"},
             {1, 0, L"?", L"the power capabilities are not readable"}}) {
        SetUp();
        g_system.aoAc = row.aoAc;
        g_result = row.capabilitiesRead;
        EXPECT_EQ(Run({L"status"}), ExitSuccess);
        std::wstring line = LineWith(L"  Modern Standby (S0 low power idle)  ");
        EXPECT_EQ(line.substr(39), row.answer + std::wstring(8 - row.answer.size(), L' ') + L" " + row.detail);
    }
}

// Whatever is missing, quell says what before any operation, and exits 3 when
// it is Quell.dll or one of its exports, 1 when it is the system's. Rows marked
// ntOnly concern the Unicode functions: on Windows 95 quell never needs them.
TEST_P(Cli, WhatIsMissingIsNamedAndSetsTheExitStatus) {
    // The other architecture's Quell.dll: quell.exe names its own architecture and bundle, and no other.
    std::wstring architecture, bundle;
    std::vector<std::wstring> others;  // the other architectures' titles and bundles
    std::vector<WORD> otherMachines;
    for (const BuiltArchitecture &built : BuiltArchitectures) {
        if (built.machine == OwnMachine) {
            architecture = built.title, bundle = built.bundle;
        } else {
            others.insert(others.end(), {built.title, built.bundle});
            otherMachines.push_back(built.machine);
        }
    }
    struct Case {
        std::vector<std::wstring> args;
        DWORD quellLoadError;
        std::vector<std::string> lacking;
        std::string lackingWide;
        bool shellLacksShutdownDialog;
        int exit;
        std::vector<std::wstring> err, out;  // texts expected in each
        bool ntOnly = false;
        std::vector<std::wstring> notInErr = {};
        WORD machine = 0;  // in the header of the Quell.dll that does not load
    };
    const std::wstring maintenance = L"Wartung – gleich";
    const std::vector<Case> cases = {
        {{L"status"},
         ERROR_MOD_NOT_FOUND,
         {},
         "",
         false,
         ExitNoLibrary,
         {L"\\Quell.dll could not be loaded: last error 126 (Text of error 126.)\n"},
         {}},
        {{L"shutdown", L"--yes"}, ERROR_MOD_NOT_FOUND, {}, "", false, ExitNoLibrary, {L"could not be loaded"}, {}},
        {{L"SHUTDOWN", L"--YES"}, ERROR_MOD_NOT_FOUND, {}, "", false, ExitNoLibrary, {L"could not be loaded"}, {}},
        // Without --yes nothing is loaded: the dry run says what it would do.
        {{L"shutdown"}, ERROR_MOD_NOT_FOUND, {}, "", false, ExitUsage, {L"would call WindowsShutdown()"}, {}},
        {{L"--help"}, ERROR_MOD_NOT_FOUND, {}, "", false, ExitSuccess, {}, {L"Usage: quell"}},
        {{L"status"},
         ERROR_BAD_EXE_FORMAT,
         {},
         "",
         false,
         ExitNoLibrary,
         {L"\\Quell.dll could not be loaded: last error 193 (Quell.dll is not a valid Win32 application.)\n",
          architecture, bundle},
         {},
         false,
         others},
        {{L"timed-reboot", L"--yes", L"5"},
         ERROR_BAD_EXE_FORMAT,
         {},
         "",
         false,
         ExitNoLibrary,
         {architecture, bundle},
         {},
         false,
         others},
        // One of another architecture is named by its header (not on Windows 95/98/Me, which read no Unicode path).
        {{L"status"},
         ERROR_BAD_EXE_FORMAT,
         {},
         "",
         false,
         ExitNoLibrary,
         {architecture, bundle},
         {},
         false,
         {},
         otherMachines[0]},
        {{L"lock", L"--yes"},
         ERROR_BAD_EXE_FORMAT,
         {},
         "",
         false,
         ExitNoLibrary,
         {architecture, bundle},
         {},
         false,
         {},
         otherMachines[1]},
        {{L"shutdown", L"--yes"},
         0,
         {"WindowsShutdown", "CheckUserName"},
         "",
         false,
         ExitNoLibrary,
         {L"WindowsShutdown missing from Quell.dll"},
         {}},
        {{L"timed-reboot", L"--yes", L"5"},
         0,
         {"LocalInitSystemRebootW", "LocalInitSystemRebootA"},
         "",
         false,
         ExitNoLibrary,
         {L"missing from Quell.dll"},
         {}},
        {{L"status"},
         0,
         {"WindowsShutdown", "CheckUserName"},
         "",
         false,
         ExitNoLibrary,
         {L"Quell.dll lacks exports: CheckUserName WindowsShutdown\n"},
         {L"CheckUserName missing from Quell.dll", L"GetPwrCapabilities"}},  // the report is whole
        // Known before a wait: the export it would call at its end.
        {{L"standby", L"--yes", L"--delay", L"60"},
         0,
         {"WindowsStandby"},
         "",
         false,
         ExitNoLibrary,
         {L"WindowsStandby missing from Quell.dll"},
         {}},
        {{L"reboot", L"--yes", L"--after", L"1236", L"--delay", L"60"},
         0,
         {"LocalInitSystemRebootW", "LocalInitSystemRebootA"},
         "",
         false,
         ExitNoLibrary,
         {L"missing from Quell.dll"},
         {}},
        {{L"shutdown-dialog", L"--yes"},
         0,
         {},
         "",
         true,
         ExitFailed,
         {L"quell: shell32.dll offers no shut-down dialog (#60)\n"},
         {}},
        {{L"display-off", L"--yes"},
         0,
         {"DefWindowProcA"},
         "",
         false,
         ExitFailed,
         {L"not available: the system's user32.dll lacks DefWindowProcA\n"},
         {}},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "GetCommandLineW",
         false,
         ExitFailed,
         {L"kernel32.dll lacks GetCommandLineW. quell.exe uses only Unicode functions on such a system and stops.\n"},
         {},
         true},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "GetModuleFileNameW",
         false,
         ExitFailed,
         {L"kernel32.dll lacks GetModuleFileNameW."},
         {},
         true},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "LoadLibraryW",
         false,
         ExitFailed,
         {L"kernel32.dll lacks LoadLibraryW."},
         {},
         true},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "WriteConsoleW",
         false,
         ExitFailed,
         {L"kernel32.dll lacks WriteConsoleW."},
         {},
         true},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "FormatMessageW",
         false,
         ExitFailed,
         {L"quell: this is not Windows 95/98/Me (platform 2), yet kernel32.dll lacks FormatMessageW."},
         {},
         true},
        {{L"timed-shutdown", L"--yes", L"10", maintenance},
         0,
         {},
         "CreateFileW",
         false,
         ExitFailed,
         {L"kernel32.dll lacks CreateFileW."},
         {},
         true},
    };
    for (const Case &row : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.args) + " " + row.lackingWide);
        g_result = 1;
        g_system.quellLoadError = row.quellLoadError;
        g_system.quellMachine = row.machine;
        g_system.lacking = row.lacking;
        g_system.lackingWide = row.lackingWide;
        g_system.shellLacksShutdownDialog = row.shellLacksShutdownDialog;
        int status = Run(row.args);
        if (row.ntOnly && !g_system.nt) {
            EXPECT_EQ(status, ExitSuccess);
            EXPECT_EQ(CalledNames(), std::vector<std::string>{"LocalInitSystemShutdownA"});
            EXPECT_EQ(g_calls[0].text, Typed(maintenance));
            continue;
        }
        EXPECT_EQ(status, row.exit);
        EXPECT_EQ(g_system.elapsed, 0u) << "it waited first";
        for (const std::wstring &text : row.err)
            EXPECT_NE(Err().find(text), std::wstring::npos) << Encode(Err(), CP_UTF8);
        for (const std::wstring &text : row.out)
            EXPECT_NE(Out().find(text), std::wstring::npos) << Encode(Out(), CP_UTF8);
        for (const std::wstring &text : row.notInErr)
            EXPECT_EQ(Err().find(text), std::wstring::npos) << Encode(Err(), CP_UTF8);
        if (row.machine && g_system.nt) {
            for (const BuiltArchitecture &built : BuiltArchitectures) {
                if (built.machine == row.machine) {
                    EXPECT_NE(Err().find(built.title), std::wstring::npos);
                }
            }
        }
        EXPECT_EQ(Err().find(L"%"), std::wstring::npos);
        if (row.args[0] != L"status") {
            EXPECT_TRUE(g_calls.empty());
        }
        // Without every Unicode function quell loads nothing and hands nobody text.
        if (row.ntOnly) {
            EXPECT_TRUE(g_system.loaded.empty());
        }
    }
    // display-off needs no Quell.dll, but a window of its own: without one it calls nothing.
    for (auto [windowError, delay] : std::vector<std::pair<DWORD, const wchar_t *>>{
             {0, L"0"}, {ERROR_NOT_ENOUGH_MEMORY, L"0"}, {0, L"60"}, {ERROR_NOT_ENOUGH_MEMORY, L"60"}}) {
        SetUp();
        g_system.quellLoadError = ERROR_MOD_NOT_FOUND;
        g_system.windowError = windowError;
        EXPECT_EQ(Run({L"display-off", L"--yes", L"--delay", delay}), windowError ? ExitFailed : ExitSuccess);
        EXPECT_EQ(g_system.elapsed, windowError ? 0u : _wtoi(delay) * 1000u) << "a wait that could not end in the call";
        EXPECT_EQ(CalledNames(), windowError ? std::vector<std::string>{} : std::vector<std::string>{"DefWindowProcA"});
        // Each window made is destroyed again.
        auto calls = [](const char *name) {
            return std::count(g_system.systemCalls.begin(), g_system.systemCalls.end(), name);
        };
        EXPECT_EQ(calls("DestroyWindow"), windowError ? 0 : calls("CreateWindowExA"));
        if (windowError) {
            EXPECT_NE(Err().find(L"CreateWindowExA = NULL, last error 8 "), std::wstring::npos)
                << Encode(Err(), CP_UTF8);
        }
    }
}

// ---- JSON, read back by a strict reader --------------------------------------

// Every value of a JSON text by its path ("blockers/0/title"): strings decoded,
// other values as written. Empty when the text is not one strict JSON value.
class JsonReader {
  public:
    static std::map<std::wstring, std::wstring> Read(const std::wstring &text) {
        JsonReader reader{text};
        reader.Space();
        if (!reader.Value(L"") || (reader.Space(), reader.at != text.size())) return {};
        return reader.values;
    }

  private:
    explicit JsonReader(const std::wstring &text) : text(text) {}
    const std::wstring &text;
    size_t at = 0;
    std::map<std::wstring, std::wstring> values;

    void Space() {
        while (at < text.size() && (text[at] == L' ' || text[at] == L'\n' || text[at] == L'\r' || text[at] == L'\t'))
            ++at;
    }
    bool Take(wchar_t c) {
        Space();
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    }
    bool String(std::wstring &out) {
        if (!Take(L'"')) return false;
        while (at < text.size() && text[at] != L'"') {
            wchar_t c = text[at++];
            if (c < 0x20) return false;
            if (c != L'\\') {
                out += c;
                continue;
            }
            if (at >= text.size()) return false;
            wchar_t escape = text[at++];
            const std::wstring simple = L"\"\\/bfnrt", meaning = L"\"\\/\b\f\n\r\t";
            if (simple.find(escape) != std::wstring::npos) {
                out += meaning[simple.find(escape)];
            } else if (escape == L'u' && at + 4 <= text.size() &&
                       text.substr(at, 4).find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring::npos) {
                out += static_cast<wchar_t>(std::stoul(text.substr(at, 4), nullptr, 16));
                at += 4;
            } else {
                return false;
            }
        }
        return Take(L'"');
    }
    bool Value(const std::wstring &path) {
        Space();
        if (at >= text.size()) return false;
        if (text[at] == L'"') {
            std::wstring value;
            if (!String(value)) return false;
            values[path] = value;
            return true;
        }
        bool object = text[at] == L'{';
        if (object || text[at] == L'[') {
            ++at;
            if (Take(object ? L'}' : L']')) return values.emplace(path, object ? L"{}" : L"[]"), true;
            for (int index = 0;; ++index) {
                std::wstring key = std::to_wstring(index);
                if (object && (key.clear(), !String(key) || !Take(L':'))) return false;
                if (!Value(path.empty() ? key : path + L"/" + key)) return false;
                if (Take(object ? L'}' : L']')) return true;
                if (!Take(L',')) return false;
            }
        }
        size_t start = at;
        for (const wchar_t *word : {L"true", L"false", L"null"}) {
            if (text.compare(at, Length(word), word) == 0) {
                values[path] = word;
                at += Length(word);
                return true;
            }
        }
        if (at < text.size() && text[at] == L'-') ++at;
        if (at >= text.size() || !IsDigit(text[at]) ||
            (text[at] == L'0' && at + 1 < text.size() && IsDigit(text[at + 1])))
            return false;
        while (at < text.size() && IsDigit(text[at])) ++at;
        values[path] = text.substr(start, at - start);
        return true;
    }
    static size_t Length(const wchar_t *word) { return std::wstring(word).size(); }
    static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
};

TEST(JsonReader, ReadsStrictJsonOnly) {
    auto values = JsonReader::Read(L" {\"a\": [1, -20, true, null, \"\\u00e4\\\"\\\\\\n\"], \"b\": {}} ");
    EXPECT_EQ(values[L"a/1"], L"-20");
    EXPECT_EQ(values[L"a/4"], L"\u00e4\"\\\n");
    EXPECT_EQ(values[L"b"], L"{}");
    for (const wchar_t *wrong :
         {L"", L"{\"a\": 1,}", L"[1 2]", L"\"a\nb\"", L"{\"a\" 1}", L"[01]", L"\"\\x\"", L"{} {}", L"[tru]"}) {
        EXPECT_TRUE(JsonReader::Read(wrong).empty()) << testing::PrintToString(std::wstring(wrong));
    }
}

// The reports for scripts and people: quell blockers, status --json and --version.
TEST_P(Cli, ReportsSayWhatTheyFoundWithTheirExitStatus) {
    const std::wstring title = L"Sicherung \u201el\u00e4uft\u201c \u263a \\ \"1\"",
                       reason = L"Backup \"nightly\"\t\u2013 50 %";
    const std::vector<FakeWindow> windows = {
        {1234, title, reason},
        {1240, L"Explorer", L""},
        {77, L"Editor", L"unsaved", false},
        {4, L"Dienst", L"", true, ERROR_ACCESS_DENIED},
    };
    const std::wstring version = Wide(QUELL_VERSION_STRING);
    struct Case {
        std::vector<std::wstring> args;
        std::vector<FakeWindow> windows;
        bool keepsBlockReasons;
        LONG result;  // what every fake export answers
        std::vector<std::string> lacking;
        DWORD quellLoadError;
        int exit;
        std::wstring out, err;  // the whole output ("-": none; empty: not checked); for err a part
        std::map<std::wstring, std::wstring> json = {};  // values the output, read as JSON, must hold
    };
    const std::vector<Case> cases = {
        {{L"blockers"}, {}, true, -1, {}, 0, ExitSuccess, L"No program blocks the end of the session.\n", L""},
        {{L"BLOCKERS"},
         windows,
         true,
         -1,
         {},
         0,
         ExitSuccess,
         L"2 window(s) hold a shutdown block reason:\n  process 1234 (" + ProgramOf(1234) + L"), window \"" + title +
             L"\": " + reason + L"\n  process 77 (program not readable), window \"Editor\": unsaved\n",
         L"quell: 1 window(s) refused the query: last error 5 (Text of error 5.)\n"},
        // A window that refuses the query leaves it open whether any program blocks.
        {{L"blockers"},
         {windows[1], windows[3]},
         true,
         -1,
         {},
         0,
         ExitSuccess,
         L"-",
         L"quell: 1 window(s) refused the query: last error 5 (Text of error 5.)\n"},
        {{L"blockers"},
         windows,
         false,
         -1,
         {},
         0,
         ExitFailed,
         L"-",
         L"quell: this system keeps no shutdown block reasons: "
         L"ShutdownBlockReasonQuery = 0, last error 120 (Text of error 120.)\n"},
        {{L"blockers", L"--json"},
         windows,
         true,
         -1,
         {},
         0,
         ExitSuccess,
         L"",
         L"refused the query",
         {{L"available", L"true"},
          {L"blockers/0/processId", L"1234"},
          {L"blockers/0/program", ProgramOf(1234)},
          {L"blockers/0/title", title},
          {L"blockers/0/reason", reason},
          {L"blockers/1/processId", L"77"},
          {L"blockers/1/program", L"null"},
          {L"blockers/1/title", L"Editor"},
          {L"blockers/2/title", L""}}},
        {{L"blockers", L"--JSON"}, {}, true, -1, {}, 0, ExitSuccess, L"{\"available\": true, \"blockers\": []}\n", L""},
        // Windows that cannot be listed are not "none": the list is null.
        {{L"blockers", L"--json"},
         windows,
         true,
         -1,
         {"EnumWindows"},
         0,
         ExitFailed,
         L"",
         L"could not be listed",
         {{L"available", L"true"}, {L"blockers", L"null"}}},
        {{L"blockers", L"--json"},
         windows,
         false,
         -1,
         {},
         0,
         ExitFailed,
         L"{\"available\": false, \"blockers\": []}\n",
         L"keeps no shutdown block reasons"},
        {{L"blockers"},
         windows,
         true,
         -1,
         {"ShutdownBlockReasonQuery"},
         0,
         ExitNoLibrary,
         L"",
         L"quell: ShutdownBlockReasonQuery missing from Quell.dll\n"},
        {{L"blockers"}, windows, true, -1, {}, ERROR_MOD_NOT_FOUND, ExitNoLibrary, L"", L"could not be loaded"},
        // --json writes its object whatever is missing, "available" unknown.
        {{L"blockers", L"--json"},
         windows,
         true,
         -1,
         {},
         ERROR_MOD_NOT_FOUND,
         ExitNoLibrary,
         L"",
         L"could not be loaded",
         {{L"available", L"null"}, {L"blockers", L"[]"}}},
        {{L"blockers", L"--json"},
         windows,
         true,
         -1,
         {},
         ERROR_BAD_EXE_FORMAT,
         ExitNoLibrary,
         L"",
         L"could not be loaded",
         {{L"available", L"null"}, {L"blockers", L"[]"}}},
        {{L"blockers", L"--json"},
         windows,
         true,
         -1,
         {"ShutdownBlockReasonQuery"},
         0,
         ExitNoLibrary,
         L"",
         L"ShutdownBlockReasonQuery",
         {{L"available", L"null"}, {L"blockers", L"[]"}}},
        {{L"status", L"--json"},
         {},
         true,
         -1,
         {},
         0,
         ExitSuccess,
         L"",
         L"",
         {{L"quell/version", L"7.8.9"},
          {L"quell/path", Typed(L"C:\\Program Files\\Quell\\Quell.dll")},
          {L"system/major", g_system.nt ? L"5" : L"4"},
          {L"system/minor", L"0"},
          {L"system/build", L"2195"},  // on Windows 95 the low word alone
          {L"system/platformId", g_system.nt ? L"2" : L"1"},
          {L"answers/CheckWindowsNT/result", L"-1"},
          {L"answers/CheckWindowsNT/lastError", L"0"},
          {L"answers/DllGetVersion/result", L"0"},
          {L"answers/IsPwrSuspendAllowed/result", L"255"},
          {L"answers/GetPwrCapabilities/result", L"255"},
          {L"answers/CheckMsDosModus/result", L"-1"},
          {L"capabilities/S1", L"false"},
          {L"capabilities/S3", L"true"},
          {L"capabilities/hiberFile", L"false"},
          {L"capabilities/modernStandby", L"false"},
          {L"entries/0/library", L"user32.dll"},
          {L"entries/0/entry", L"LockWorkStation"},
          {L"entries/0/offered", L"true"},
          {L"entries/4/entry", L"#59"},
          {L"entries/16/library", L"version.dll"}}},
        // A library that answers no: no version, no capabilities; E_FAIL as a number.
        {{L"status", L"--json"},
         {},
         true,
         0,
         {"CheckUserName"},
         0,
         ExitNoLibrary,
         L"",
         L"quell: Quell.dll lacks exports: CheckUserName\n",
         {{L"quell/version", L"null"},
          {L"answers/CheckUserName", L"null"},
          {L"answers/DllGetVersion/result", L"-2147467259"},
          {L"answers/GetPwrCapabilities/result", L"0"},
          {L"capabilities", L"null"},
          {L"answers/CheckWindowsNT/result", L"0"}}},
        // Without a loadable Quell.dll still one JSON object: "quell" and the answers null.
        {{L"status", L"--json"},
         {},
         true,
         -1,
         {},
         ERROR_MOD_NOT_FOUND,
         ExitNoLibrary,
         L"",
         L"could not be loaded",
         {{L"quell", L"null"},
          {L"system/build", L"2195"},
          {L"answers/CheckWindowsNT", L"null"},
          {L"answers/DllGetVersion", L"null"},
          {L"answers/GetPwrCapabilities", L"null"},
          {L"capabilities", L"null"},
          {L"entries/0/entry", L"LockWorkStation"},
          {L"entries/0/offered", L"true"}}},
        {{L"status", L"--json"},
         {},
         true,
         -1,
         {},
         ERROR_BAD_EXE_FORMAT,
         ExitNoLibrary,
         L"",
         L"not built for",
         {{L"quell", L"null"}, {L"answers/CheckMsDosModus", L"null"}, {L"entries/16/library", L"version.dll"}}},
        {{L"--version"},
         {},
         true,
         -1,
         {},
         0,
         ExitSuccess,
         L"quell.exe " + version + L"\nQuell.dll 7.8.9 (" + Typed(L"C:\\Program Files\\Quell\\Quell.dll") + L")\n",
         L""},
        {{L"--VERSION"},
         {},
         true,
         0,
         {},
         0,
         ExitFailed,
         L"quell.exe " + version + L"\n",
         L"quell: Quell.dll's version is unknown: DllGetVersion = 0x80004005\n"},
        {{L"--version"},
         {},
         true,
         -1,
         {"DllGetVersion"},
         0,
         ExitNoLibrary,
         L"quell.exe " + version + L"\n",
         L"quell: DllGetVersion missing from Quell.dll\n"},
        {{L"--version"},
         {},
         true,
         -1,
         {},
         ERROR_MOD_NOT_FOUND,
         ExitNoLibrary,
         L"quell.exe " + version + L"\n",
         L"could not be loaded"},
    };
    for (const Case &row : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.args) + " " + testing::PrintToString(row.err));
        g_system.windows = row.windows;
        g_system.keepsBlockReasons = row.keepsBlockReasons;
        g_system.lacking = row.lacking;
        g_system.quellLoadError = row.quellLoadError;
        g_result = row.result;
        int status = Run(row.args);
        EXPECT_EQ(g_system.openProcesses, 0) << "a process handle left open";
        if (!g_system.nt && _wcsicmp(row.args[0].c_str(), L"blockers") == 0 && row.exit != ExitNoLibrary) {
            // No block reasons before Vista: quell says so and asks nothing else.
            EXPECT_EQ(status, ExitFailed);
            EXPECT_NE(Err().find(L"keeps no shutdown block reasons"), std::wstring::npos);
            EXPECT_EQ(std::count(g_system.systemCalls.begin(), g_system.systemCalls.end(), "EnumWindows"), 0);
            continue;
        }
        EXPECT_EQ(status, row.exit);
        if (row.out == L"-") {
            EXPECT_EQ(Out(), L"");  // nothing at all
        } else if (!row.out.empty()) {
            EXPECT_EQ(Out(), Seen(row.out));
        }
        EXPECT_NE(Err().find(row.err), std::wstring::npos) << Encode(Err(), CP_UTF8);
        if (row.err.empty()) {
            EXPECT_EQ(Err(), L"");
        }
        if (row.json.empty()) continue;
        std::wstring out = Out();
        EXPECT_EQ(out.substr(out.size() - std::min<size_t>(out.size(), 2)), L"}\n");
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](wchar_t c) { return c >= 0x20 ? c < 0x7F : c == L'\n'; }))
            << "JSON output beyond ASCII: " << Encode(out, CP_UTF8);
        auto values = JsonReader::Read(out);
        ASSERT_FALSE(values.empty()) << Encode(out, CP_UTF8);
        for (const auto &[path, value] : row.json) {
            EXPECT_EQ(values[path], value) << Encode(path, CP_UTF8);
        }
        // The same questions as the text report, in the same order.
        if (row.args[0] == L"status") {
            std::vector<std::string> asked = {"CheckWindowsNT",        "CheckUserName",          "WindowsNTPrivilegien",
                                              "DllGetVersion",         "CheckSystemPowerStatus", "IsPwrSuspendAllowed",
                                              "IsPwrHibernateAllowed", "GetPwrCapabilities",     "CheckMsDosModus"};
            asked.erase(std::remove(asked.begin(), asked.end(), row.lacking.empty() ? "" : row.lacking[0]),
                        asked.end());
            if (row.quellLoadError) asked.clear();
            EXPECT_EQ(CalledNames(), asked);
        }
    }
    // Blockers looks its system functions up in the system directory, never by bare name.
    if (g_system.nt) {
        SetUp();
        g_system.windows = windows;
        EXPECT_EQ(Run({L"blockers"}), ExitSuccess);
        std::string directory = std::string(SystemDirectory()) + "\\";
        EXPECT_EQ(g_system.lookedUp, (std::vector<std::string>{directory + "user32.dll!EnumWindows",
                                                               directory + "user32.dll!GetWindowTextW",
                                                               directory + "user32.dll!GetWindowThreadProcessId",
                                                               directory + "kernel32.dll!OpenProcess",
                                                               directory + "kernel32.dll!QueryFullProcessImageNameW"}));
    }
}

// status reads what decides what an action will really do from the registry,
// read-only: each source of a pending reboot by name, fast startup, null where
// unreadable or absent, and under WOW64 the 64-bit view.
TEST_P(Cli, StatusReadsThePendingRebootAndFastStartupFromTheRegistry) {
    const std::wstring software = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\",
                       control = L"SYSTEM\\CurrentControlSet\\Control\\";
    const std::wstring servicing = software + L"Component Based Servicing\\RebootPending",
                       update = software + L"WindowsUpdate\\Auto Update\\RebootRequired",
                       session = control + L"Session Manager", power = control + L"Session Manager\\Power",
                       active = control + L"ComputerName\\ActiveComputerName",
                       set = control + L"ComputerName\\ComputerName";
    const std::wstring renames = std::wstring(L"\\??\\C:\\neu.dll") + L'\0' + L"!\\??\\C:\\alt.dll" + L'\0';
    // A machine with nothing pending, before Windows 8.
    const FakeRegistry calm = {{session, {{L"BootExecute", MultiSz(L"autocheck\0")}}},
                               {active, {{L"ComputerName", Sz(L"LAB01")}}},
                               {set, {{L"ComputerName", Sz(L"LAB01")}}},
                               {software + L"WindowsUpdate", {}}};
    auto with = [&](std::vector<std::pair<std::wstring, std::map<std::wstring, FakeValue>>> changes) {
        FakeRegistry registry = calm;
        for (const auto &[key, values] : changes) {
            for (const auto &[name, value] : values) registry[key][name] = value;
            registry[key];
        }
        return registry;
    };
    struct Case {
        FakeRegistry registry;
        std::wstring pending;               // "true", "false", or "null" for the whole of rebootPending
        std::vector<std::wstring> sources;  // in the order status names them
        std::wstring fastStartup;           // "true", "false", "null"
        DWORD registryError = 0;
        int wow64 = -1;       // IsWow64Process's answer; -1: absent
        bool view64 = false;  // every key asked with KEY_WOW64_64KEY (never on Windows 95/98/Me)
        FakeRegistry redirected = {};
    };
    const std::vector<Case> cases = {
        {calm, L"false", {}, L"null"},
        {with({{servicing, {}}}), L"true", {L"ComponentBasedServicing"}, L"null"},
        {with({{update, {}}}), L"true", {L"WindowsUpdate"}, L"null"},
        {with({{session, {{L"PendingFileRenameOperations", MultiSz(renames)}}}}),
         L"true",
         {L"PendingFileRenameOperations"},
         L"null"},
        {with({{session,
                {{L"PendingFileRenameOperations", MultiSz(std::wstring(1, L'\0'))},
                 {L"PendingFileRenameOperations2", MultiSz(renames)}}}}),
         L"true",
         {L"PendingFileRenameOperations"},
         L"null"},
        {with({{session, {{L"PendingFileRenameOperations", MultiSz(std::wstring(1, L'\0'))}}}}), L"false", {}, L"null"},
        {with({{set, {{L"ComputerName", Sz(L"LAB02")}}}}), L"true", {L"ComputerRename"}, L"null"},
        {with({{set, {{L"ComputerName", Sz(L"lab01")}}}}), L"false", {}, L"null"},
        {with({{servicing, {}},
               {update, {}},
               {session, {{L"PendingFileRenameOperations2", MultiSz(renames)}}},
               {active, {{L"ComputerName", Sz(L"OLD")}}}}),
         L"true",
         {L"ComponentBasedServicing", L"WindowsUpdate", L"PendingFileRenameOperations", L"ComputerRename"},
         L"null"},
        {with({{power, {{L"HiberbootEnabled", Dword(1)}}}}), L"false", {}, L"true"},
        {with({{power, {{L"HiberbootEnabled", Dword(0)}}}}), L"false", {}, L"false"},
        {with({{power, {{L"HiberbootEnabled", Sz(L"1")}}}}), L"false", {}, L"null"},
        {with({{servicing, {}}, {power, {{L"HiberbootEnabled", Dword(1)}}}}),
         L"null",
         {},
         L"null",
         ERROR_ACCESS_DENIED},
        // An x86 quell.exe under WOW64 asks for the 64-bit view, where the keys are; elsewhere it does not ask.
        {with({{servicing, {}}}), L"true", {L"ComponentBasedServicing"}, L"null", 0, 1, true, calm},
        {with({{servicing, {}}}), L"true", {L"ComponentBasedServicing"}, L"null", 0, 0, false, calm},
    };
    for (const Case &row : cases) {
        for (bool json : {true, false}) {
            SetUp();
            SCOPED_TRACE(testing::PrintToString(row.sources) + " " + testing::PrintToString(row.fastStartup) +
                         (json ? " json" : " text"));
            g_system.registry = row.registry;
            g_system.redirected = row.redirected;
            g_system.registryError = row.registryError;
            g_system.wow64 = row.wow64;
            EXPECT_EQ(
                Run(json ? std::vector<std::wstring>{L"status", L"--json"} : std::vector<std::wstring>{L"status"}),
                ExitSuccess);
            ASSERT_FALSE(g_system.opened.empty());
            for (const auto &[key, access] : g_system.opened) {
                EXPECT_EQ(access & ~REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_QUERY_VALUE)) << "more than reading";
                EXPECT_EQ((access & KEY_WOW64_64KEY) != 0, row.view64 && g_system.nt) << Encode(key, CP_UTF8);
            }
            if (!json) {
                auto answer = [](const std::wstring &line) {
                    return line.size() < 40 ? L"(no line)" : line.substr(39, line.find(L' ', 39) - 39);
                };
                const std::map<std::wstring, std::wstring> pending = {{L"true", L"yes"},
                                                                      {L"false", L"no"},
                                                                      {L"null", L"?"}},
                                                           fast = {
                                                               {L"true", L"on"}, {L"false", L"off"}, {L"null", L"?"}};
                EXPECT_EQ(answer(LineWith(L"  reboot pending ")), pending.at(row.pending));
                EXPECT_EQ(answer(LineWith(L"  fast startup ")), fast.at(row.fastStartup));
                for (const std::wstring &source : row.sources) {
                    EXPECT_NE(LineWith(L"  reboot pending ").find(source), std::wstring::npos);
                }
                // A value of the wrong type is no sign of an older Windows; no line ends in blanks.
                bool hiberboot = row.registry.count(power) && row.registry.at(power).count(L"HiberbootEnabled");
                EXPECT_EQ(LineWith(L"  fast startup ").find(L"before Windows 8") == std::wstring::npos,
                          hiberboot || row.registryError || row.fastStartup != L"null")
                    << Encode(Out(), CP_UTF8);
                EXPECT_EQ(Out().find(L" \n"), std::wstring::npos) << Encode(Out(), CP_UTF8);
                continue;
            }
            auto values = JsonReader::Read(Out());
            ASSERT_FALSE(values.empty()) << Encode(Out(), CP_UTF8);
            EXPECT_EQ(values[L"fastStartup"], row.fastStartup);
            if (row.pending == L"null") {
                EXPECT_EQ(values[L"rebootPending"], L"null");
                continue;
            }
            EXPECT_EQ(values[L"rebootPending/pending"], row.pending);
            if (row.sources.empty()) {
                EXPECT_EQ(values[L"rebootPending/sources"], L"[]");
            }
            for (size_t i = 0; i < row.sources.size(); ++i) {
                EXPECT_EQ(values[L"rebootPending/sources/" + std::to_wstring(i)], row.sources[i]);
            }
            EXPECT_EQ(values.count(L"rebootPending/sources/" + std::to_wstring(row.sources.size())), 0u);
        }
    }
}

// ---- waits --------------------------------------------------------------------

// The name of a waiting quell.exe's event ("") or record ("Record"), of the user "tester".
std::string WaitObject(const char *kind, DWORD process, const char *user = "tester") {
    return std::string(g_system.nt ? "Local\\" : "") + "Quell.Wait" + kind + "." + user + "." + std::to_string(process);
}
// A local moment as quell.exe's records keep it: seconds since 1980-01-01.
DWORD LocalMoment(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME epoch{1980, 1, 2, 1, 0, 0, 0, 0}, time{year, month, 0, day, hour, minute, 0, 0};
    FILETIME from, to;
    SystemTimeToFileTime(&epoch, &from);
    SystemTimeToFileTime(&time, &to);
    ULARGE_INTEGER a{{from.dwLowDateTime, from.dwHighDateTime}}, b{{to.dwLowDateTime, to.dwHighDateTime}};
    return static_cast<DWORD>((b.QuadPart - a.QuadPart) / 10000000ull);
}
// Another quell.exe of this user (or another) that waits: its process, event and record.
void AddWaiting(DWORD process, DWORD due, const char *action, const char *user = "tester") {
    g_system.processes.push_back({process, "quell.exe"});
    g_system.objects.emplace(WaitObject("", process, user), FakeObject{true});
    FakeObject record{false};
    memcpy(record.bytes.data(), &due, sizeof due);
    strcpy(reinterpret_cast<char *>(record.bytes.data()) + 4, action);
    g_system.objects.emplace(WaitObject("Record", process, user), record);
}

// quell.exe waits for the processes, then until the call is due, on the fake
// clock (started at 10:31:00; backup.exe ends at 30 s and BACKUP.EXE at 50 s,
// render.exe at 120 s); a console signal or quell abort's event cancels it.
TEST_P(Cli, WaitsEndInTheCallAtItsMomentOrAreCancelled) {
    constexpr DWORD None = ~DWORD(0);
    struct Case {
        std::vector<std::wstring> args;  // without --yes
        const char *exportName;          // as on NT; null: nothing is called
        DWORD calledAt;                  // seconds after the start
        DWORD delay = None;              // the warning period the system's request gets
        int exit = ExitSuccess;
        DWORD cancelAt = None, signal = None;  // signal None: through the event, as quell abort does
        std::wstring err = L"";                // a part of standard error
        bool toolhelp = true, psapi = true;
        long clockShift = 0;                 // the local clock moves so far, 600 s into the wait
        std::vector<FakeProcess> more = {};  // running besides the usual ones
        DWORD version = 0;                   // the NT family's from XP on, and the row runs on it alone
        SYSTEMTIME runStart = {2026, 12, 1, 7, 10, 31, 0, 0};
    };
    // A browser's many processes; as many --after options, each by id.
    std::vector<FakeProcess> browser;
    std::vector<std::wstring> eachById = {L"lock"};
    for (DWORD i = 0; i < 100; ++i) {
        browser.push_back({3000 + i, "browser.exe", 10 + (i * 37) % 100});
        eachById.insert(eachById.end(), {L"--after", std::to_wstring(3000 + i)});
    }
    const std::vector<Case> cases = {
        {{L"standby", L"--delay", L"60"}, "WindowsStandby", 60},
        {{L"lock", L"--at", L"10:32"}, "LockWorkStation", 60},
        {{L"logoff", L"--at", L"09:00"}, "WindowsLogOnOff", 80940},  // tomorrow
        {{L"hibernate", L"--at", L"2026-12-08T10:31"}, "WindowsHibernate", 86400},
        {{L"lock", L"--at", L"10:31"}, "LockWorkStation", 86400},  // the current minute: tomorrow
        // 2100 is no leap year: 28 February is followed by 1 March.
        {.args = {L"lock", L"--at", L"2100-03-01T10:31"},
         .exportName = "LockWorkStation",
         .calledAt = 86400,
         .runStart = {2100, 2, 0, 28, 10, 31, 0, 0}},
        {{L"force-logoff", L"--delay", L"0"}, "WindowsForceLogOnOff", 0},
        // --at keeps to the local clock when daylight saving time moves it; a delay counts seconds.
        {.args = {L"lock", L"--at", L"12:00"}, .exportName = "LockWorkStation", .calledAt = 1740, .clockShift = 3600},
        {.args = {L"lock", L"--at", L"12:00"}, .exportName = "LockWorkStation", .calledAt = 8940, .clockShift = -3600},
        // A time the clock skips is no time; one it shows twice is the first.
        {.args = {L"lock", L"--at", L"11:00"},
         .exportName = nullptr,
         .calledAt = 0,
         .exit = ExitUsage,
         .err = L"\"11:00\"",
         .clockShift = 3600,
         .version = 0x0A00},
        {.args = {L"lock", L"--at", L"10:35"},
         .exportName = "LockWorkStation",
         .calledAt = 240,
         .clockShift = -3600,
         .version = 0x0A00},
        {.args = {L"standby", L"--delay", L"5340"},
         .exportName = "WindowsStandby",
         .calledAt = 5340,
         .clockShift = 3600},
        // Every process of that name, in any case; then at once.
        // Every process of that name, in any case, and one that starts meanwhile; then once a second
        // listing finds none either.
        {{L"hibernate", L"--after", L"backup.exe"}, "WindowsHibernate", 51},
        {.args = {L"standby", L"--after", L"backup.exe"},
         .exportName = "WindowsStandby",
         .calledAt = 71,
         .more = {{1300, "backup.exe", 70, 40}}},
        // More processes than one wait takes (63 and the cancelling event).
        {.args = {L"standby", L"--after", L"browser.exe"},
         .exportName = "WindowsStandby",
         .calledAt = 110,
         .more = browser},
        {.args = eachById, .exportName = "LockWorkStation", .calledAt = 109, .more = browser},
        {{L"standby", L"--after", L"1234", L"--delay", L"10"}, "WindowsStandby", 40},
        {{L"standby", L"--after", L"1234", L"--delay", L"0"}, "WindowsStandby", 30},
        // --at and --after: whichever comes later.
        {{L"lock", L"--after", L"1234", L"--at", L"10:32"}, "LockWorkStation", 60},
        {{L"lock", L"--after", L"render.exe", L"--at", L"10:32"}, "LockWorkStation", 121},
        {{L"force-logoff", L"--after", L"1236", L"--after", L"1234"}, "WindowsForceLogOnOff", 120},
        // The display turned off by quell.exe itself waits the same way.
        {{L"display-off", L"--delay", L"30"}, "DefWindowProcA", 30},
        {{L"display-off", L"--after", L"backup.exe", L"--at", L"10:32"}, "DefWindowProcA", 60},
        // The system's request: --at is its warning period, counted when it is made.
        {{L"shutdown", L"--at", L"10:41"}, "LocalInitSystemShutdownW", 0, 600},
        {{L"reboot", L"--after", L"1234", L"--at", L"10:32"}, "LocalInitSystemRebootW", 30, 30},
        {{L"reboot", L"--after", L"render.exe", L"--at", L"10:32"}, "LocalInitSystemRebootW", 121, 0},
        {{L"timed-reboot", L"90", L"--after", L"1234"}, "LocalInitSystemRebootW", 30, 90},
        {{L"shutdown", L"--after", L"backup.exe"}, "WindowsShutdown", 51},
        // NT 4.0 lists processes through psapi.dll; without it by name is not available, by id still is.
        {{L"lock", L"--after", L"backup.exe"}, "LockWorkStation", 51, None, ExitSuccess, None, None, L"", false},
        {{L"lock", L"--after", L"backup.exe"},
         nullptr,
         0,
         None,
         ExitFailed,
         None,
         None,
         L"not available",
         false,
         false},
        {{L"lock", L"--after", L"1234"}, "LockWorkStation", 30, None, ExitSuccess, None, None, L"", false, false},
        // A typo must not act at once.
        {{L"lock", L"--after", L"nosuch.exe"}, nullptr, 0, None, ExitFailed, None, None, L"\"nosuch.exe\""},
        {{L"reboot", L"--after", L"999"}, nullptr, 0, None, ExitFailed, None, None, L"\"999\""},
        // A name as the dry run writes it: no control character reaches the console.
        {{L"lock", L"--after", L"a\x1b[2Jb.exe"}, nullptr, 0, None, ExitFailed, None, None, L"\"a\\x1B[2Jb.exe\""},
        {{L"lock", L"--after", L"4"}, nullptr, 0, None, ExitFailed, None, None, L"\"4\": last error 5"},
        {{L"lock", L"--after", L"1234", L"--after", L"quill.exe"},
         nullptr,
         0,
         None,
         ExitFailed,
         None,
         None,
         L"\"quill.exe\""},
        // Cancelled: nothing further is called.
        {{L"standby", L"--delay", L"60"}, nullptr, 0, None, ExitCancelled, 20, CTRL_C_EVENT, L"cancelled"},
        {{L"lock", L"--at", L"10:32"}, nullptr, 0, None, ExitCancelled, 5, CTRL_BREAK_EVENT, L"cancelled"},
        {{L"hibernate", L"--delay", L"60"}, nullptr, 0, None, ExitCancelled, 59, CTRL_CLOSE_EVENT, L"cancelled"},
        {{L"standby", L"--delay", L"60"}, nullptr, 0, None, ExitCancelled, 30, None, L"cancelled"},
        {{L"shutdown", L"--after", L"render.exe", L"--delay", L"30"},
         nullptr,
         0,
         None,
         ExitCancelled,
         60,
         None,
         L"cancelled"},
        {{L"logoff", L"--after", L"1236"}, nullptr, 0, None, ExitCancelled, 10, CTRL_C_EVENT, L"cancelled"},
        {{L"display-off", L"--at", L"10:32"}, nullptr, 0, None, ExitCancelled, 10, None, L"cancelled"},
    };
    for (const Case &row : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.args));
        if (row.version && !g_system.nt) continue;
        if (row.version) g_system.version = row.version;
        g_system.toolhelp = row.toolhelp;
        g_system.psapi = row.psapi;
        g_system.processes.insert(g_system.processes.end(), row.more.begin(), row.more.end());
        g_system.cancelAt = row.cancelAt == None ? None : row.cancelAt * 1000;
        g_system.signal = row.signal;
        g_system.clockShift = row.clockShift;
        g_system.clockShiftAt = 600;
        g_system.runStart = row.runStart;
        g_result = -1;
        EXPECT_EQ(Run(Confirmed(row.args)), row.exit) << testing::PrintToString(Err());
        EXPECT_NE(Err().find(row.err), std::wstring::npos) << testing::PrintToString(Err());
        // What is rewritten in place on the console fits 80 columns: a wrapped line would leave a trail.
        const std::wstring out = Out();
        for (size_t at = out.find(L'\r'); at != std::wstring::npos; at = out.find(L'\r', at + 1)) {
            EXPECT_LT(out.find_first_of(L"\r\n", at + 1) - at - 1, 80u) << Encode(out.substr(at, 100), CP_UTF8);
        }
        if (!row.exportName) {
            EXPECT_TRUE(g_calls.empty());
            continue;
        }
        ASSERT_EQ(CalledNames().size(), 1u);
        EXPECT_EQ(Wide(g_calls[0].name), Export(row.exportName));
        EXPECT_EQ(g_calls[0].at, row.calledAt * 1000);
        if (row.delay != None) {
            EXPECT_EQ(g_calls[0].args[1], row.delay);
        }
        // What pending shows of it.
        auto record = g_system.objects.find(WaitObject("Record", SelfId));
        if (row.calledAt) {
            ASSERT_NE(record, g_system.objects.end());
            EXPECT_STREQ(reinterpret_cast<const char *>(record->second.bytes.data()) + 4,
                         Encode(row.args[0], CP_ACP).c_str());
        }
    }
}

// The local abort cancels every waiting quell.exe of this user, and aborts the system's shutdown as before.
TEST_P(Cli, AbortCancelsTheWaitsOfThisUser) {
    struct Case {
        std::vector<std::wstring> args;
        std::vector<DWORD> waiting, others;  // quell.exe of this user that wait; of another user
        LONG abortResult;                    // LocalAbortSystemShutdown's answer
        int exit;
        DWORD quellLoadError = 0;
        std::wstring err = L"";  // a part of standard error: the dry run counts the waits as --yes finds them
    };
    const std::vector<Case> cases = {
        // Without Quell.dll the waits are cancelled still, and another machine's abort is advapi32's.
        {{L"abort", L"--yes"}, {77}, {79}, 0, ExitSuccess, ERROR_MOD_NOT_FOUND, L"LocalAbortSystemShutdown"},
        {{L"abort", L"--yes"}, {}, {}, 0, ExitNoLibrary, ERROR_BAD_EXE_FORMAT, L"LocalAbortSystemShutdown"},
        {{L"abort", L"--yes", L"--machine", L"lab01"}, {77}, {}, -1, ExitSuccess, ERROR_MOD_NOT_FOUND},
        {{L"abort"}, {77, 78}, {79}, -1, ExitUsage, 0, L"(2 now)"},
        {{L"abort", L"--yes"}, {}, {}, 0, ExitFailed},
        {{L"abort", L"--yes"}, {}, {}, -1, ExitSuccess},
        {{L"abort", L"--yes"}, {77}, {}, 0, ExitSuccess},
        {{L"abort", L"--yes"}, {77, 78}, {79}, -1, ExitSuccess},
        {{L"abort", L"--yes"}, {}, {79}, 0, ExitFailed},
        {{L"/a"}, {77}, {}, 0, ExitSuccess},
        {{L"abort"}, {77}, {}, -1, ExitUsage},  // a dry run cancels nothing
    };
    for (const Case &row : cases) {
        SetUp();
        SCOPED_TRACE(testing::PrintToString(row.args));
        for (DWORD process : row.waiting) AddWaiting(process, 1, "standby");
        for (DWORD process : row.others) AddWaiting(process, 1, "standby", "other");
        g_result = row.abortResult;
        g_error = row.abortResult ? 0 : 1116;
        g_system.quellLoadError = row.quellLoadError;
        g_system.version = 0x0A00;
        bool remote = row.args.size() > 2 && row.args[2] == L"--machine";
        if (remote && !g_system.nt) continue;  // Windows 95/98/Me have no AbortSystemShutdownW
        EXPECT_EQ(Run(row.args), row.exit) << testing::PrintToString(Err());
        EXPECT_NE(Err().find(row.err), std::wstring::npos) << testing::PrintToString(Err());
        if (remote) {
            EXPECT_EQ(CalledNames(), std::vector<std::string>{"AbortSystemShutdownW"});
        }
        for (DWORD process : row.waiting) {
            EXPECT_EQ(g_system.objects[WaitObject("", process)].set, row.exit == 0 && !remote);
        }
        for (DWORD process : row.others) EXPECT_FALSE(g_system.objects[WaitObject("", process, "other")].set);
    }
}

TEST_P(Cli, PendingListsTheWaitsOfThisUser) {
    struct Case {
        std::vector<std::tuple<DWORD, DWORD, const char *>> waiting;  // process, due (0: for a process), action
        std::wstring json;
    };
    DWORD at2300 = LocalMoment(2026, 12, 7, 23, 0);
    const std::vector<Case> cases = {
        {{}, L"{\"waits\": []}\n"},
        {{{1234, at2300, "standby"}},
         L"{\"waits\": [{\"processId\": 1234, \"action\": \"standby\", \"due\": \"2026-12-07T23:00:00\"}]}\n"},
        {{{77, 0, "force-logoff"}, {78, at2300 + 86400 + 59, "lock"}},
         L"{\"waits\": [{\"processId\": 77, \"action\": \"force-logoff\", \"due\": null}, {\"processId\": 78, "
         L"\"action\": \"lock\", \"due\": \"2026-12-08T23:00:59\"}]}\n"},
    };
    for (const Case &row : cases) {
        for (bool json : {true, false}) {
            SetUp();
            for (const auto &[process, due, action] : row.waiting) AddWaiting(process, due, action);
            AddWaiting(99, at2300, "lock", "other");  // another user's: not listed
            EXPECT_EQ(
                Run(json ? std::vector<std::wstring>{L"pending", L"--json"} : std::vector<std::wstring>{L"pending"}),
                ExitSuccess);
            EXPECT_TRUE(g_calls.empty());
            if (json) {
                EXPECT_EQ(Out(), row.json);
                EXPECT_FALSE(JsonReader::Read(Out()).empty());
            } else {
                for (const auto &[process, due, action] : row.waiting) {
                    EXPECT_NE(Out().find(std::to_wstring(process)), std::wstring::npos);
                }
                EXPECT_EQ(Out().find(L"99"), std::wstring::npos);
            }
        }
    }
}

}  // namespace
