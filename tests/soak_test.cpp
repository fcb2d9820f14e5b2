// Soak: a million calls of the queries and harmless forwarders from four
// threads at once, over 200 fresh images attached and detached in turn as
// Windows 98, XP and 10, with the fake platform's log switched off. No token
// handle, heap block or loaded system library piles up or is left behind, and
// every answer is the one a single caller gets from the same system.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "bench/export_table.h"
#include "bench/fakes_files.h"
#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

constexpr int Images = 200;
constexpr int Threads = 4;
constexpr int TotalCalls = 1'000'000;
constexpr int CallsPerThread = TotalCalls / (Images * Threads);

const OsProfile Families[] = {os::Win98, os::WinXP, os::Win10};

const char *const SoakExports[] = {
    "CheckWindowsNT",        "CheckUserName",      "CheckSystemPowerStatus", "IsPwrSuspendAllowed",
    "IsPwrHibernateAllowed", "GetPwrCapabilities", "LockWorkStation",        "ShutdownBlockReasonQuery",
    "DllGetVersion",         "CheckMsDosModus",    "WindowsNTPrivilegien"};
constexpr size_t SoakExportCount = std::size(SoakExports);

using Answers = std::vector<uint32_t>;

// Everything present and answering yes, one MS-DOS mode shortcut; no log.
std::unique_ptr<QuellImage> Start(const OsProfile &profile) {
    auto image = StartQuell(profile);
    g_files.existingFiles.insert(WindowsPath("MS-DOS-MODUS.PIF"));
    g_fake.recording = false;
    return image;
}

// One thread's calls: each export with arguments that point into its own records.
struct Caller {
    struct Prepared {
        void *fn;
        Args args;
    };
    ExportScratch scratch;
    std::vector<Prepared> calls;
    const Answers *expected = nullptr;
    size_t first = 0;  // where in the row of exports this thread starts
    const std::atomic<bool> *go = nullptr;
    int wrongAnswers = 0;
    int stackErrors = 0;

    Caller(const QuellImage &image, const Answers *answers, size_t start) : expected(answers), first(start) {
        for (const char *name : SoakExports)
            calls.push_back({(void *)image.Export(name), HarmlessArguments(ExportNamed(name), scratch)});
    }
    Caller(const Caller &) = delete;  // the arguments point into scratch

    uint32_t Call(size_t k) {
        int stackError = 0;
        uint32_t result = CallChecked(calls[k].fn, calls[k].args, &stackError);
        if (stackError) ++stackErrors;
        return result;
    }
};

DWORD WINAPI RunCaller(void *param) {
    auto *caller = static_cast<Caller *>(param);
    while (!caller->go->load()) __builtin_ia32_pause();  // all threads make their first calls at once
    for (int i = 0; i < CallsPerThread; ++i) {
        size_t k = (caller->first + i) % SoakExportCount;
        if (caller->Call(k) != (*caller->expected)[k]) ++caller->wrongAnswers;
    }
    return 0;
}

// What a single caller gets from each export on a fresh image of this system.
Answers SingleCallerAnswers(const OsProfile &profile) {
    auto image = Start(profile);
    Caller caller(*image, nullptr, 0);
    Answers answers;
    for (size_t k = 0; k < SoakExportCount; ++k) answers.push_back(caller.Call(k));
    return answers;
}

// What the fake platform holds for the library at this moment.
struct Held {
    size_t tokens = 0;  // opened, not yet closed
    size_t blocks = 0;  // allocated, not yet freed
    int mostLoadsOfOneLibrary = 0;
    int loadedLibraries = 0;
};

Held HeldNow() {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    Held held;
    for (const auto &[token, closes] : g_fake.tokenCloses)
        if (closes == 0) ++held.tokens;
    held.blocks = g_files.liveBlocks.size();
    for (const auto &[name, library] : g_lateBound.libraries) {
        held.mostLoadsOfOneLibrary = std::max(held.mostLoadsOfOneLibrary, library.references);
        held.loadedLibraries += library.references;
    }
    return held;
}

void KeepMost(Held &most, const Held &now) {
    most.tokens = std::max(most.tokens, now.tokens);
    most.blocks = std::max(most.blocks, now.blocks);
    most.mostLoadsOfOneLibrary = std::max(most.mostLoadsOfOneLibrary, now.mostLoadsOfOneLibrary);
}

TEST(Soak, AMillionCallsFromFourThreadsOverTwoHundredImagesLeaveNothingBehind) {
    Answers expected[std::size(Families)];
    for (size_t f = 0; f < std::size(Families); ++f) expected[f] = SingleCallerAnswers(Families[f]);

    Held most;
    size_t systemCalls = 0;
    for (int round = 0; round < Images; ++round) {
        SCOPED_TRACE("image " + std::to_string(round) + " as " + Families[round % 3].name);
        auto image = Start(Families[round % 3]);
        ASSERT_TRUE(image);
        std::vector<std::unique_ptr<Caller>> callers;
        std::vector<HANDLE> threads;
        std::atomic<bool> go{false};
        for (int t = 0; t < Threads; ++t) {
            callers.push_back(std::make_unique<Caller>(*image, &expected[round % 3], (size_t)t * 3));
            callers.back()->go = &go;
            threads.push_back(CreateThread(nullptr, 0, RunCaller, callers.back().get(), 0, nullptr));
        }
        go = true;
        // While the threads run, what is held stays within one call per thread.
        while (WaitForMultipleObjects(Threads, threads.data(), TRUE, 1) == WAIT_TIMEOUT) KeepMost(most, HeldNow());
        for (HANDLE h : threads) CloseHandle(h);
        for (const auto &caller : callers) {
            EXPECT_EQ(caller->wrongAnswers, 0);
            EXPECT_EQ(caller->stackErrors, 0);
        }

        Held after = HeldNow();
        KeepMost(most, after);
        // Threads that made a first call at once may each have loaded a library; one reference stays.
        EXPECT_EQ(after.mostLoadsOfOneLibrary, 1) << "a group kept its library twice, or not at all";
        EXPECT_EQ(after.tokens, 0u);
        EXPECT_EQ(after.blocks, 0u);
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
        EXPECT_EQ(g_fake.tokenUsesWhileNotOpen, 0);
        EXPECT_EQ(g_files.foreignFrees, 0);
        EXPECT_TRUE(g_fake.log.empty()) << "recorded with the log switched off";
        systemCalls += g_fake.calls;
        image.reset();
        EXPECT_EQ(HeldNow().loadedLibraries, 0) << "a system library still loaded after detach";
        if (HasFailure()) break;
    }
    EXPECT_LE(most.tokens, (size_t)Threads);
    EXPECT_LE(most.blocks, 2u * Threads);
    EXPECT_LE(most.mostLoadsOfOneLibrary, Threads) << "more loads of a library than threads";
    std::printf("%d export calls on %d images, %zu system calls; at most %zu tokens and %zu heap blocks held\n",
                TotalCalls, Images, systemCalls, most.tokens, most.blocks);
}

}  // namespace
