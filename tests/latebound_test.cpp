// The late-bound groups of user32, advapi32 and shell32: loading on first use,
// the forwarders and dialogs, release at detach, and a first use on many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

constexpr uint32_t Window = 0x000A0B2C;

// How an export answers when its entry is not available.
enum class Kind {
    Forwarded,  // 0, last-error 120
    ErrorCode,  // 1, last-error not set
    Dialog,     // 0, last-error not set
};

wchar_t Reason[] = L"Speichert gerade";
char MachineA[] = "\\\\SERVER";
wchar_t MachineW[] = L"\\\\SERVER";
char MessageA[] = "Wartung";
wchar_t MessageW[] = L"Wartung";
wchar_t Prompt[] = L"Neu starten?";
DWORD Length = 64;

struct Forwarder {
    const char *exportName;
    const char *library;
    const char *entry;  // the name or "#ordinal" it is looked up by; the fake logs exportName
    Args args;
    Kind kind;
};

// Distinctive arguments, null pointers among them; the system's own values
// (a reboot flag of -1, reason codes with high bits) must arrive unchanged.
const Forwarder Forwarders[] = {
    {"LockWorkStation", "user32.dll", "LockWorkStation", {}, Kind::Forwarded},
    {"ShutdownBlockReasonCreate", "user32.dll", "ShutdownBlockReasonCreate", {Window, Arg(Reason)}, Kind::Forwarded},
    {"ShutdownBlockReasonDestroy", "user32.dll", "ShutdownBlockReasonDestroy", {Window}, Kind::Forwarded},
    {"ShutdownBlockReasonQuery", "user32.dll", "ShutdownBlockReasonQuery", {Window, 0, Arg(&Length)}, Kind::Forwarded},
    {"InitiateSystemShutdownExA",
     "advapi32.dll",
     "InitiateSystemShutdownExA",
     {0, Arg(MessageA), 45, 2, 0xFFFFFFFF, 0x80020003},
     Kind::Forwarded},
    {"InitiateSystemShutdownExW",
     "advapi32.dll",
     "InitiateSystemShutdownExW",
     {Arg(MachineW), 0, 90, 3, 1, 0x40000000},
     Kind::Forwarded},
    {"InitiateShutdownA",
     "advapi32.dll",
     "InitiateShutdownA",
     {Arg(MachineA), Arg(MessageA), 60, 0x84, 0x80000000},
     Kind::ErrorCode},
    {"InitiateShutdownW", "advapi32.dll", "InitiateShutdownW", {0, Arg(MessageW), 0xFFFFFFFF, 0x1, 2}, Kind::ErrorCode},
    {"RestartDialog", "shell32.dll", "#59", {0, Arg(Prompt), 4}, Kind::Dialog},
    {"ShutdownDialog", "shell32.dll", "#60", {Window}, Kind::Dialog},  // one-argument form
};

Names LoadCalls() { return CallsAmong({"LoadLibraryA", "GetProcAddress", "FreeLibrary"}); }

std::vector<const Forwarder *> GroupOf(const char *library) {
    std::vector<const Forwarder *> group;
    for (const Forwarder &f : Forwarders)
        if (std::string(f.library) == library) group.push_back(&f);
    return group;
}

void PrintTo(const Forwarder &f, std::ostream *out) { *out << f.exportName; }

class Forwarding : public ::testing::TestWithParam<Forwarder> {};

TEST_P(Forwarding, PassesArgumentsAndResultThroughUnchanged) {
    const Forwarder &f = GetParam();
    // A system TRUE of 1 stays 1; error codes and odd values come back as given;
    // a failure keeps the system's own last-error value.
    for (uint32_t systemResult : {1u, 0x2Au, 0x80004005u, 0u}) {
        SCOPED_TRACE(systemResult);
        auto image = StartQuell();
        g_lateBound.results[f.exportName] = systemResult;
        g_lateBound.entryError = systemResult ? 0 : FakeShutdownError;
        SetLastError(UntouchedError);
        EXPECT_EQ(image->Call(f.exportName, f.args), systemResult);
        EXPECT_EQ(GetLastError(), systemResult ? UntouchedError : FakeShutdownError);
        ASSERT_EQ(g_fake.Count(f.exportName), 1u);
        EXPECT_EQ(g_fake.Last(f.exportName)->args, f.args);
        EXPECT_EQ(g_fake.Count("SetLastError"), 0u);
    }
}

// Only the missing entry answers "not available"; its group's other entries work.
TEST_P(Forwarding, EntryMissingFromAPresentLibrary) {
    const Forwarder &f = GetParam();
    auto image = StartQuell();
    g_lateBound.libraries[f.library].missing = {f.entry};
    SetLastError(UntouchedError);
    uint32_t first = image->Call(f.exportName, f.args);
    DWORD firstError = GetLastError();
    g_fake.log.clear();
    SetLastError(UntouchedError);
    uint32_t again = image->Call(f.exportName, f.args);
    DWORD againError = GetLastError();
    EXPECT_EQ(LoadCalls(), Names{}) << "looked up again";
    switch (f.kind) {
    case Kind::Forwarded:
        EXPECT_EQ(first, 0u);
        EXPECT_EQ(firstError, (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
        EXPECT_EQ(again, 0u);
        EXPECT_EQ(againError, (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
        break;
    case Kind::ErrorCode:  // the look-up's error stands, then nothing is set
        EXPECT_EQ(first, 1u);
        EXPECT_EQ(firstError, FakeLookupError);
        EXPECT_EQ(again, 1u);
        EXPECT_EQ(againError, UntouchedError);
        break;
    case Kind::Dialog:
        EXPECT_EQ(first, 0u);
        EXPECT_EQ(firstError, FakeLookupError);
        EXPECT_EQ(again, 0u);
        EXPECT_EQ(againError, UntouchedError);
        break;
    }
    EXPECT_EQ(g_fake.Count(f.exportName), 0u);
    for (const Forwarder *sibling : GroupOf(f.library)) {
        if (std::string(sibling->exportName) == f.exportName) continue;
        SCOPED_TRACE(sibling->exportName);
        g_lateBound.results[sibling->exportName] = 0x2A;
        EXPECT_EQ(image->Call(sibling->exportName, sibling->args), 0x2Au);
    }
}

// An absent library is tried again on every call, and used once it is there.
TEST_P(Forwarding, LibraryAbsentIsTriedAgainOnTheNextCall) {
    const Forwarder &f = GetParam();
    auto image = StartQuell();
    g_lateBound.libraries[f.library].present = false;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        SCOPED_TRACE(attempt);
        SetLastError(UntouchedError);
        uint32_t result = image->Call(f.exportName, f.args);
        EXPECT_EQ(result, f.kind == Kind::ErrorCode ? 1u : 0u);
        EXPECT_EQ(GetLastError(), f.kind == Kind::Forwarded ? (DWORD)ERROR_CALL_NOT_IMPLEMENTED : FakeLoadError);
        EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names(attempt, f.library));
        EXPECT_EQ(g_fake.Count("GetProcAddress"), 0u);
        EXPECT_EQ(g_fake.Count("SetLastError"), f.kind == Kind::Forwarded ? (size_t)attempt : 0u);
    }
    g_lateBound.libraries[f.library].present = true;
    g_lateBound.results[f.exportName] = 0x2A;
    EXPECT_EQ(image->Call(f.exportName, f.args), 0x2Au);
    EXPECT_EQ(g_fake.Count("LoadLibraryA"), 3u);
    EXPECT_EQ(g_fake.Count(f.exportName), 1u);
}

INSTANTIATE_TEST_SUITE_P(Exports, Forwarding, ::testing::ValuesIn(Forwarders),
                         [](const auto &info) { return std::string(info.param.exportName); });

struct GroupCase {
    const char *library;
    Names lookups;  // in table order; "#59" is ordinal 59 with the high word zero
};

const GroupCase Groups[] = {
    {"user32.dll",
     {"LockWorkStation", "ShutdownBlockReasonCreate", "ShutdownBlockReasonDestroy", "ShutdownBlockReasonQuery"}},
    {"advapi32.dll",
     {"InitiateSystemShutdownExA", "InitiateSystemShutdownExW", "InitiateShutdownA", "InitiateShutdownW"}},
    {"shell32.dll", {"#59", "#60"}},
};

// Whichever export comes first loads the library once and looks every entry up
// in the table's order; after that no export of the group loads or looks up.
TEST(LateBoundGroup, FirstCallLooksEveryEntryUpInOrderAndLaterCallsNone) {
    for (const GroupCase &g : Groups) {
        for (const Forwarder *first : GroupOf(g.library)) {
            SCOPED_TRACE(first->exportName);
            auto image = StartQuell();
            image->Call(first->exportName, first->args);
            Names expected = {"LoadLibraryA"};
            expected.insert(expected.end(), g.lookups.size(), "GetProcAddress");
            EXPECT_EQ(LoadCalls(), expected);
            EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names{g.library});
            EXPECT_EQ(LoggedTexts("GetProcAddress"), g.lookups);
            for (const Call &c : g_fake.log) {
                if (c.name != "GetProcAddress") continue;
                EXPECT_EQ(c.args[0], (uintptr_t)FakeModuleHandle(g.library)) << c.text;
            }
            g_fake.log.clear();
            for (const Forwarder *f : GroupOf(g.library)) image->Call(f->exportName, f->args);
            EXPECT_EQ(LoadCalls(), Names{});
        }
    }
}

// From NT 6.0 on the shut-down dialog takes (window, 0); before, and outside the
// NT family, (window) alone. The fake entry removes the arguments of the form
// this table expects, so the other form leaves the stack off.
TEST(ShellDialogs, ShutdownDialogFormFollowsTheSystemVersionAtLoad) {
    struct Case {
        OsProfile profile;
        int arguments;
    } cases[] = {
        {os::Win95, 1}, {os::Win98, 1},   {os::WinMe, 1},      {os::NT4, 1},  {os::Win2000, 1},
        {os::WinXP, 1}, {os::Win2003, 1}, {os::Vista, 2},      {os::Win7, 2}, {os::Win8, 2},
        {os::Win81, 2}, {os::Win10, 2},   {os::QueryFails, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.profile.name);
        auto image = StartQuell(c.profile);
        g_lateBound.shutdownDialogArguments = c.arguments;
        g_lateBound.results["ShutdownDialog"] = 0x55;
        EXPECT_EQ(image->Call("ShutdownDialog", {Window}), 0x55u);
        ASSERT_EQ(g_fake.Count("ShutdownDialog"), 1u);
        EXPECT_EQ(g_fake.Last("ShutdownDialog")->args, c.arguments == 2 ? (Args{Window, 0}) : (Args{Window}));
        EXPECT_EQ(LoggedTexts("GetProcAddress"), (Names{"#59", "#60"}));
        EXPECT_EQ(g_fake.Count("SetLastError"), 0u);
    }
}

TEST(ShellDialogs, RestartDialogPassesNullsAndValuesThrough) {
    for (const Args &args :
         std::vector<Args>{{0, 0, 0}, {Window, 0, 0xFFFFFFFF}, {0, Arg(Prompt), 2}, {Window, Arg(Prompt), 4}}) {
        auto image = StartQuell();
        g_lateBound.results["RestartDialog"] = 6;
        EXPECT_EQ(image->Call("RestartDialog", {args[0], args[1], args[2]}), 6u);
        EXPECT_EQ(g_fake.Last("RestartDialog")->args, args);
    }
}

struct DetachCase {
    const char *name;
    std::vector<const char *> used;  // exports called before detach, in order
    std::set<std::string> absent;    // libraries the loader cannot find
    Names freed;
};

TEST(LateBoundGroup, DetachReleasesUser32Shell32Advapi32InThisOrder) {
    const DetachCase cases[] = {
        {"all three, loaded in the opposite order",
         {"InitiateShutdownW", "RestartDialog", "LockWorkStation"},
         {},
         {"user32.dll", "shell32.dll", "advapi32.dll"}},
        {"each export of a group once",
         {"LockWorkStation", "ShutdownBlockReasonQuery", "ShutdownDialog"},
         {},
         {"user32.dll", "shell32.dll"}},
        {"advapi32 alone", {"InitiateSystemShutdownExA"}, {}, {"advapi32.dll"}},
        {"nothing used", {}, {}, {}},
        {"only absent libraries tried", {"LockWorkStation", "RestartDialog"}, {"user32.dll", "shell32.dll"}, {}},
    };
    for (const DetachCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto image = StartQuell();
        for (const std::string &library : c.absent) g_lateBound.libraries[library].present = false;
        for (const char *name : c.used)
            for (const Forwarder &f : Forwarders)
                if (std::string(f.exportName) == name) image->Call(f.exportName, f.args);
        g_fake.log.clear();
        image->Detach();
        EXPECT_EQ(LoggedTexts("FreeLibrary"), c.freed);
        Args handles;
        for (const std::string &library : c.freed) handles.push_back((uintptr_t)FakeModuleHandle(library));
        EXPECT_EQ(LoggedArgs("FreeLibrary", 0), handles);
        for (auto &[name, library] : g_lateBound.libraries) EXPECT_EQ(library.references, 0) << name;
    }
}

// A failed release leaves the handle and clears the slots: the group's exports
// then answer "not available" without loading again. The groups after it are
// still released, and a released group loads afresh.
TEST(LateBoundGroup, FailedReleaseLeavesTheGroupClearedAndDetachGoesOn) {
    auto image = StartQuell();
    g_lateBound.libraries["user32.dll"].freeFails = true;
    for (const char *name : {"LockWorkStation", "ShutdownDialog", "InitiateShutdownA"})
        for (const Forwarder &f : Forwarders)
            if (std::string(f.exportName) == name) image->Call(f.exportName, f.args);
    g_fake.log.clear();
    image->Detach();
    EXPECT_EQ(LoggedTexts("FreeLibrary"), (Names{"user32.dll", "shell32.dll", "advapi32.dll"}));

    g_fake.log.clear();
    for (const Forwarder *f : GroupOf("user32.dll")) {
        SetLastError(UntouchedError);
        EXPECT_EQ(image->Call(f->exportName, f->args), 0u) << f->exportName;
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
    }
    EXPECT_EQ(LoadCalls(), Names{}) << "a cleared group must not load again";
    EXPECT_EQ(g_fake.Count("LockWorkStation"), 0u);

    EXPECT_EQ(image->Call("InitiateShutdownA", {0, 0, 0, 0, 0}), 0u);
    EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names{"advapi32.dll"});
    EXPECT_EQ(g_fake.Count("InitiateShutdownA"), 1u);
}

// Several threads make the first call into one group at once, while loading is
// slow. None waits for another: each that finds the group unpublished loads and
// looks up for itself, one reference is kept, and no thread reads the slots
// half-filled.
struct RaceThread {
    FARPROC fn;
    Args args;
    std::atomic<int> *ready;
    std::atomic<bool> *go;
    uint32_t result = 0;
    DWORD error = 0;
    int stackError = 0;
};

DWORD WINAPI RunRaceThread(void *param) {
    auto *t = static_cast<RaceThread *>(param);
    ++*t->ready;
    while (!t->go->load()) __builtin_ia32_pause();
    SetLastError(UntouchedError);
    t->result = CallChecked((void *)t->fn, t->args, &t->stackError);
    t->error = GetLastError();
    return 0;
}

// Runs each thread's call at the same moment; a hang ends the test process.
void RunTogether(std::vector<RaceThread> &threads) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<HANDLE> handles;
    for (RaceThread &t : threads) {
        t.ready = &ready;
        t.go = &go;
        handles.push_back(CreateThread(nullptr, 0, RunRaceThread, &t, 0, nullptr));
    }
    while (ready.load() < (int)threads.size()) SwitchToThread();
    go = true;
    if (WaitForMultipleObjects((DWORD)handles.size(), handles.data(), TRUE, 30000) != WAIT_OBJECT_0) {
        fprintf(stderr, "FAILED: threads still inside the library after 30 s\n");
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
    for (HANDLE h : handles) CloseHandle(h);
}

constexpr int RaceThreads = 8;
constexpr int RaceImages = 50;

// Nobody waits: each thread that finds the group unpublished loads the library
// itself; all but one release their reference again.
TEST(LateBoundGroup, FirstLoadOnManyThreadsKeepsOneLoadAndNeverReadsAHalfFilledGroup) {
    std::vector<const Forwarder *> group = GroupOf("user32.dll");
    for (int round = 0; round < RaceImages; ++round) {
        SCOPED_TRACE(round);
        auto Expected = [&](int i) { return (uint32_t)(100 + i % group.size()); };
        auto image = StartQuell(os::Win7);
        ASSERT_TRUE(image);
        g_lateBound.loadDelayMs = 5;
        g_lateBound.lookupDelayMs = 1;
        std::vector<RaceThread> threads(RaceThreads);
        for (int i = 0; i < RaceThreads; ++i) {
            const Forwarder &f = *group[i % group.size()];
            g_lateBound.results[f.exportName] = Expected(i);
            threads[i].fn = image->Export(f.exportName);
            threads[i].args = f.args;
        }
        RunTogether(threads);
        size_t loads = g_fake.Count("LoadLibraryA");
        EXPECT_GE(loads, 1u);
        EXPECT_LE(loads, (size_t)RaceThreads);
        EXPECT_EQ(g_fake.Count("GetProcAddress"), loads * group.size());
        EXPECT_EQ(g_fake.Count("FreeLibrary"), loads - 1);
        EXPECT_EQ(g_lateBound.libraries["user32.dll"].references, 1);
        for (int i = 0; i < RaceThreads; ++i) {
            EXPECT_EQ(threads[i].result, Expected(i)) << "thread " << i << ", last-error " << threads[i].error;
            EXPECT_EQ(threads[i].stackError, 0);
        }
        if (HasFailure()) break;
    }
}

// A failed load publishes nothing: every thread answers "not available", and
// the group loads on the next call.
TEST(LateBoundGroup, FailedFirstLoadOnManyThreadsLeavesTheGroupEmpty) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        auto image = StartQuell(os::Win7);
        ASSERT_TRUE(image);
        g_lateBound.loadDelayMs = 5;
        g_lateBound.libraries["advapi32.dll"].present = false;
        std::vector<RaceThread> threads(RaceThreads);
        for (RaceThread &t : threads) {
            t.fn = image->Export("InitiateSystemShutdownExW");
            t.args = {0, 0, 0, 0, 0, 0};
        }
        RunTogether(threads);
        size_t loads = g_fake.Count("LoadLibraryA");
        EXPECT_GE(loads, 1u);
        EXPECT_LE(loads, (size_t)RaceThreads);
        for (const RaceThread &t : threads) {
            EXPECT_EQ(t.result, 0u);
            EXPECT_EQ(t.error, (DWORD)ERROR_CALL_NOT_IMPLEMENTED);
        }
        g_lateBound.libraries["advapi32.dll"].present = true;
        g_fake.log.clear();
        EXPECT_EQ(image->Call("InitiateSystemShutdownExW", {0, 0, 0, 0, 0, 0}), 1u);
        EXPECT_EQ(g_fake.Count("LoadLibraryA"), 1u);
        if (HasFailure()) break;
    }
}

}  // namespace
