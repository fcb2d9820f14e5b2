// Fault injection: every export on each system family, first as it succeeds,
// then once for each system call of that run with this one call failing. After
// every run the rules that hold on every path are checked. With
// QUELL_SWEEP_TABLE=path the runs are also written to that file as a table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "bench/export_table.h"
#include "bench/fakes_files.h"
#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

using NameSet = std::set<std::string>;

constexpr const char *Shortcut = "MS-DOS-MODUS.PIF";

struct Family {
    OsProfile profile;
    const char *label;
};
const Family Families[] = {{os::Win98, "Windows 98"}, {os::WinXP, "Windows XP"}, {os::Win10, "Windows 10"}};

// Requests that end the session, suspend, lock, show a dialog or open a file.
const NameSet Destructive = {"ExitWindowsEx",
                             "InitiateSystemShutdownA",
                             "InitiateSystemShutdownW",
                             "AbortSystemShutdownA",
                             "InitiateSystemShutdownExA",
                             "InitiateSystemShutdownExW",
                             "InitiateShutdownA",
                             "InitiateShutdownW",
                             "SetSuspendState",
                             "SetSystemPowerState",
                             "LockWorkStation",
                             "RestartDialog",
                             "ShutdownDialog",
                             "ShellExecuteA"};

// The calls that read the library's own version data.
const NameSet VersionReading = {"GetFileVersionInfoSizeW", "GetFileVersionInfoSizeA", "GetFileVersionInfoW",
                                "GetFileVersionInfoA", "VerQueryValueA"};

// Entries that answer a BOOLEAN: only the low byte of the result counts.
const NameSet BooleanEntries = {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "SetSuspendState",
                                "GetPwrCapabilities"};
// Entries that answer an error code; made to fail, they return the one they leave.
const NameSet ErrorCodeEntries = {"InitiateShutdownA", "InitiateShutdownW"};

NameSet Join(NameSet a, const NameSet &b) {
    a.insert(b.begin(), b.end());
    return a;
}

constexpr const char *Anything = "*";
constexpr const char *EntryLookedUp = "the entry looked up";
constexpr const char *EntriesOfTheLibrary = "the entries of the library not loaded";

// The entries that the library looks up in each system library, by the names they log under.
const std::map<std::string, NameSet> LibraryEntries = {
    {"user32.dll",
     {"LockWorkStation", "ShutdownBlockReasonCreate", "ShutdownBlockReasonDestroy", "ShutdownBlockReasonQuery"}},
    {"advapi32.dll",
     {"InitiateSystemShutdownExA", "InitiateSystemShutdownExW", "InitiateShutdownA", "InitiateShutdownW"}},
    {"shell32.dll", {"#59", "#60", "RestartDialog", "ShutdownDialog"}},
    {"powrprof.dll", {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "SetSuspendState", "GetPwrCapabilities"}},
    {"version.dll",
     {"GetFileVersionInfoSizeW", "GetFileVersionInfoW", "GetFileVersionInfoSizeA", "GetFileVersionInfoA",
      "VerQueryValueA"}},
};

// Whether a call looks up or calls an entry of this library (a file name, with or without its directory).
bool UsesEntryOf(const std::string &library, const Call &c) {
    std::string name = library.substr(library.find_last_of('\\') + 1);
    for (char &ch : name) ch = (char)tolower((unsigned char)ch);
    auto entries = LibraryEntries.find(name);
    if (entries == LibraryEntries.end()) return false;
    return entries->second.count(c.name) || (c.name == "GetProcAddress" && entries->second.count(c.text));
}

// What must not follow a failed call: the request that it guards, and the
// steps that would use what it did not deliver.
struct Consequence {
    const char *failing;  // a call as it logs: name, or "name(text)"
    NameSet forbidden;    // likewise
    const char *why;
};

const Consequence Consequences[] = {
    {"OpenProcessToken",
     Join(Destructive, {"LookupPrivilegeValueA", "LookupPrivilegeValueW", "AdjustTokenPrivileges", "CloseHandle"}),
     "no token: nothing to adjust or close, no request"},
    {"LookupPrivilegeValueA", Join(Destructive, {"AdjustTokenPrivileges(disable)"}),
     "no identifier: the privilege is refused, no request"},
    {"LookupPrivilegeValueW", Join(Destructive, {"AdjustTokenPrivileges(disable)"}),
     "no identifier: the privilege is refused, no request"},
    {"AdjustTokenPrivileges(enable)", Join(Destructive, {"AdjustTokenPrivileges"}),
     "privilege not enabled: no request, nothing to disable"},
    {"IsPwrSuspendAllowed", Join(Destructive, {"OpenProcessToken"}), "standby refused: no privilege, no request"},
    {"IsPwrHibernateAllowed", Join(Destructive, {"OpenProcessToken"}), "hibernation refused: no privilege, no request"},
    {"GetUserNameA", {"ExitWindowsEx"}, "no user: no log-off"},
    {"GetWindowsDirectoryA", {Anything}, "no Windows directory: nothing more"},
    {"GetFileAttributesA", {"ShellExecuteA"}, "the one shortcut present was not seen: nothing is opened"},
    {"GetProcessHeap", Join(VersionReading, {"HeapAlloc", "GetModuleFileNameW", "GetModuleFileNameA"}),
     "no heap: nothing allocated or read"},
    {"HeapAlloc", {"GetFileVersionInfoW", "GetFileVersionInfoA", "VerQueryValueA"}, "no buffer: nothing to fill"},
    {"HeapReAlloc", VersionReading, "no path buffer: nothing to read"},
    {"GetModuleFileNameW", VersionReading, "no file name: nothing to read"},
    {"GetModuleFileNameA", VersionReading, "no file name: nothing to read"},
    {"GetSystemDirectoryA",
     Join(Join(VersionReading, LibraryEntries.at("powrprof.dll")),
          {"LoadLibraryA(powrprof.dll)", "LoadLibraryA(version.dll)"}),
     "no system directory: no library loaded by a bare name instead, nothing looked up"},
    {"GetFileVersionInfoSizeW", {"GetFileVersionInfoW", "VerQueryValueA"}, "no version data"},
    {"GetFileVersionInfoSizeA", {"GetFileVersionInfoA", "VerQueryValueA"}, "no version data"},
    {"GetFileVersionInfoW", {"VerQueryValueA"}, "no version block to query"},
    {"GetFileVersionInfoA", {"VerQueryValueA"}, "no version block to query"},
    {"LoadLibraryA", {EntriesOfTheLibrary}, "library not loaded: nothing in it to look up or call"},
    {"GetProcAddress", {EntryLookedUp}, "entry not found: never called"},
};

// The last-error values that an export sets of its own: 120 where an entry or
// an operation is not available, 50 where the system says a sleep state is not
// there, 123 where no MS-DOS mode shortcut exists.
std::set<DWORD> OwnErrors(const ExportRow &row) {
    static const NameSet NotAvailable = {"CheckSystemPowerStatus",   "LocalAbortSystemShutdown",
                                         "LocalInitSystemRebootW",   "LocalInitSystemRebootA",
                                         "LocalInitSystemShutdownW", "LocalInitSystemShutdownA"};
    static const NameSet NoShortcut = {"CheckMsDosModus", "WindowsMsDosModus"};
    if (row.kind == ResultKind::Forwarded || NotAvailable.count(row.name)) return {ERROR_CALL_NOT_IMPLEMENTED};
    if (NoShortcut.count(row.name)) return {ERROR_INVALID_NAME};
    if (row.name == std::string("WindowsStandby") || row.name == std::string("WindowsHibernate"))
        return {ERROR_CALL_NOT_IMPLEMENTED, ERROR_NOT_SUPPORTED};
    return {};
}

// Failures whose own last-error value rightly does not reach the caller. The
// error-code forwarders, the dialogs and DllGetVersion need no entry: where
// their result reports a failure, the failing call's value stands.
struct ErrorException {
    const char *failing;  // a call as it logs
    DWORD error;          // what the caller reads instead
    const char *why;
};

const ErrorException ErrorExceptions[] = {
    {"LookupPrivilegeValueA", ERROR_NOT_ALL_ASSIGNED,
     "the lookup is not tested; the adjustment then refuses the identifier, and its value decides"},
    {"LookupPrivilegeValueW", ERROR_NOT_ALL_ASSIGNED,
     "the lookup is not tested; the adjustment then refuses the identifier, and its value decides"},
};

struct Outcome {
    size_t failed = 0;  // the call made to fail, 1-based; 0 for none
    uint32_t result = 0;
    DWORD error = 0;
    std::vector<Call> log;
};

std::string Described(const Call &c) { return c.text.empty() ? c.name : c.name + "(" + c.text + ")"; }

bool Matches(const std::string &pattern, const Call &c) { return pattern == c.name || pattern == Described(c); }
bool AnyMatches(const NameSet &patterns, const Call &c) {
    return patterns.count(c.name) || patterns.count(Described(c));
}

// One run on a fresh image in the success scenario: everything present and
// answering yes, the version data and one MS-DOS mode shortcut present.
Outcome RunExport(const ExportRow &row, const OsProfile &profile, size_t failCall) {
    auto image = StartQuell(profile);
    g_files.existingFiles.insert(WindowsPath(Shortcut));
    Outcome run;
    if (!image) return run;
    g_fake.calls = 0;
    g_fake.failCall = run.failed = failCall;
    ExportScratch scratch;
    Args args = HarmlessArguments(row, scratch);
    SetLastError(UntouchedError);
    run.result = image->Call(row.name, args);
    run.error = GetLastError();
    run.log = g_fake.log;
    g_fake.failCall = 0;

    EXPECT_TRUE(g_fake.TokensClosedExactlyOnce()) << "a token left open or closed twice";
    EXPECT_EQ(g_fake.tokenUsesWhileNotOpen, 0) << "a token used after it was closed";
    EXPECT_TRUE(g_files.liveBlocks.empty()) << g_files.liveBlocks.size() << " heap blocks left allocated";
    EXPECT_EQ(g_files.foreignFrees, 0);
    image.reset();
    for (const auto &[name, library] : g_lateBound.libraries)
        EXPECT_EQ(library.references, 0) << name << " still loaded after detach";
    return run;
}

// What a fake entry answered in a run, if it was called.
std::optional<uint32_t> Answered(const Outcome &run, const std::string &entry) {
    std::optional<uint32_t> answer;
    for (size_t i = 0; i < run.log.size(); ++i) {
        if (run.log[i].name != entry) continue;
        if (i + 1 != run.failed)
            answer = g_lateBound.results[entry];
        else
            answer = ErrorCodeEntries.count(entry) ? InjectedError(run.failed) : 0;
    }
    return answer;
}

void ExpectResultOfItsKind(const ExportRow &row, const Outcome &run) {
    uint32_t r = run.result;
    switch (row.kind) {
    case ResultKind::Boolean: EXPECT_TRUE(r == 0 || r == QuellTrue) << "not a boolean: " << r; break;
    case ResultKind::PowerStatus:
        EXPECT_TRUE(r == 0 || r == QuellTrue || r == Answered(run, "IsPwrSuspendAllowed")) << r;
        break;
    case ResultKind::HResult:
        EXPECT_TRUE(r == S_OK || r == (uint32_t)E_OUTOFMEMORY || r == (uint32_t)E_FAIL || r == (uint32_t)E_POINTER)
            << std::hex << r;
        break;
    default: {  // forwarders: the entry's answer, or the not-available answer when it was not called
        uint32_t notAvailable = row.kind == ResultKind::ErrorCode ? ERROR_INVALID_FUNCTION : 0;
        uint32_t mask = BooleanEntries.count(row.name) ? 0xFF : 0xFFFFFFFF;
        EXPECT_EQ(r & mask, Answered(run, row.name).value_or(notAvailable) & mask);
    }
    }
}

// The run up to the failed call is the success run's; after it, nothing that
// the failure rules out.
void ExpectPathAfterTheFailure(const Outcome &run, const Outcome &success) {
    size_t at = run.failed - 1;
    for (size_t i = 0; i <= at; ++i)
        ASSERT_EQ(Described(run.log[i]), Described(success.log[i])) << "call " << i + 1 << " differs";
    const Call &failed = run.log[at];
    std::string entry = failed.text == "#59" ? "RestartDialog" : failed.text == "#60" ? "ShutdownDialog" : failed.text;
    for (const Consequence &c : Consequences) {
        if (!Matches(c.failing, failed)) continue;
        for (size_t i = at + 1; i < run.log.size(); ++i) {
            bool forbidden = c.forbidden.count(Anything) || AnyMatches(c.forbidden, run.log[i]) ||
                             (c.forbidden.count(EntryLookedUp) && run.log[i].name == entry) ||
                             (c.forbidden.count(EntriesOfTheLibrary) && UsesEntryOf(failed.text, run.log[i]));
            EXPECT_FALSE(forbidden) << Described(run.log[i]) << " after a failed " << Described(failed) << ": "
                                    << c.why;
        }
    }
}

// Where the failure decides the result, its last-error value reaches the
// caller, or the export's own; where the result is the success run's, the
// success run's value may stand.
void ExpectTheFailuresLastError(const ExportRow &row, const Outcome &run, const Outcome &success) {
    std::set<DWORD> allowed = OwnErrors(row);
    allowed.insert(InjectedError(run.failed));
    if (run.result == success.result) allowed.insert(success.error);
    for (const ErrorException &e : ErrorExceptions)
        if (Matches(e.failing, run.log[run.failed - 1])) allowed.insert(e.error);
    EXPECT_TRUE(allowed.count(run.error)) << "last-error " << run.error << " after result " << run.result;
}

std::string ResultText(uint32_t r) {
    if (r == QuellTrue) return "-1";
    std::ostringstream out;
    if (r > 0xFF) out << "0x" << std::hex << std::uppercase;
    out << r;
    return out.str();
}

std::string ErrorText(const Outcome &run) {
    if (run.error == UntouchedError) return "untouched";
    std::ostringstream out;
    if (run.failed && run.error == InjectedError(run.failed))
        out << "0x" << std::hex << std::uppercase << run.error << " (injected)";
    else
        out << run.error;
    return out.str();
}

std::string TableRow(const ExportRow &row, const Family &family, const Outcome &run) {
    std::string failing = "none";
    if (run.failed) failing = std::to_string(run.failed) + " " + Described(run.log[run.failed - 1]);
    std::string cell;
    for (char c : failing) cell += c == '|' ? std::string("\\|") : std::string(1, c);
    return "| `" + std::string(row.name) + "` | " + family.label + " | `" + cell + "` | " + ResultText(run.result) +
           " | " + ErrorText(run) + " |";
}

void WriteTable(const char *path, const std::vector<std::string> &rows) {
    std::ofstream out(path, std::ios::binary);
    out << "# Fault sweep\n\n"
           "Generated by `make sweep-table` from `tests/fault_sweep_test.cpp`; do not edit.\n\n"
           "Each export runs on the fake platform as Windows 98, Windows XP and Windows 10 with everything\n"
           "present and answering yes (the version data and the shortcut \"MS-DOS-MODUS.PIF\" included):\n"
           "first with no call failing (\"none\"), then once for each system call of that run, numbered in\n"
           "order, with that call failing: it returns its failure value and leaves the last-error value\n"
           "0x5A00 + its number (\"injected\"). GetLastError, SetLastError, GetCurrentProcess and free never\n"
           "fail. \"untouched\" is the caller's own last-error value from before the call. Results: booleans\n"
           "as -1 and 0, others as the export returned them.\n\n"
           "| Export | System | Failing call | Result | Last-error |\n"
           "|---|---|---|---|---|\n";
    for (const std::string &row : rows) out << row << "\n";
}

TEST(FaultSweep, EveryExportOnEveryFamilyWithEachOfItsCallsFailing) {
    std::vector<std::string> table;
    for (const ExportRow &row : ExportTable()) {
        for (const Family &family : Families) {
            SCOPED_TRACE(std::string(row.name) + " on " + family.label);
            Outcome success = RunExport(row, family.profile, 0);
            ExpectResultOfItsKind(row, success);
            table.push_back(TableRow(row, family, success));
            for (size_t call = 1; call <= success.log.size(); ++call) {
                if (!CanFail(success.log[call - 1].name)) continue;
                SCOPED_TRACE("call " + std::to_string(call) + " " + Described(success.log[call - 1]) + " fails");
                Outcome run = RunExport(row, family.profile, call);
                if (run.log.size() < call) {
                    ADD_FAILURE() << "the run ended before the call made to fail";
                    continue;
                }
                ExpectResultOfItsKind(row, run);
                ExpectPathAfterTheFailure(run, success);
                ExpectTheFailuresLastError(row, run, success);
                table.push_back(TableRow(row, family, run));
            }
        }
    }
    if (const char *path = getenv("QUELL_SWEEP_TABLE")) WriteTable(path, table);
}

}  // namespace
