// The late-bound groups and the timed shutdown against Wine itself: real
// libraries, real entries where they are harmless, the real process token.
// Every entry that could end the session, lock it or show a dialog is the
// bench's fake, and each test first proves that it is.
#include <gtest/gtest.h>

#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

template <typename Function> Function SystemEntry(HMODULE module, const char *name) {
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// The block-reason exports reach Wine's own user32 and answer for a window of
// the test exactly as user32 answers when called directly; an entry that this
// user32 lacks is answered "not available".
TEST(WineLateBound, BlockReasonsAnswerLikeUser32ForAWindowOfTheTest) {
    auto image = StartQuell(os::WinXP, Binding::Real);
    ASSERT_TRUE(image);
    ASSERT_TRUE(BoundToSystem(*image, "LoadLibraryA"));
    ASSERT_TRUE(BoundToFake(*image, "GetProcAddress")) << "GetProcAddress must stay the bench's";
    // Message-only: it needs no display.
    HWND window = CreateWindowExW(0, L"STATIC", L"Quell", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(window);
    const wchar_t reason[] = L"Quell test";
    wchar_t viaQuell[64] = {}, direct[64] = {};
    DWORD viaQuellLength = 64, directLength = 64;
    HMODULE user32 = GetModuleHandleA("user32.dll");

    auto create = SystemEntry<BOOL(WINAPI *)(HWND, LPCWSTR)>(user32, "ShutdownBlockReasonCreate");
    Answer quell = Ask([&] { return image->Call("ShutdownBlockReasonCreate", {Arg(window), Arg(reason)}); });
    EXPECT_EQ(quell, create ? Ask([&] { return (uint32_t)create(window, reason); }) : NotAvailableAnswer) << "create";

    auto query = SystemEntry<BOOL(WINAPI *)(HWND, LPWSTR, DWORD *)>(user32, "ShutdownBlockReasonQuery");
    quell = Ask([&] {
        return image->Call("ShutdownBlockReasonQuery", {Arg(window), Arg(viaQuell), Arg(&viaQuellLength)});
    });
    EXPECT_EQ(quell, query ? Ask([&] { return (uint32_t)query(window, direct, &directLength); }) : NotAvailableAnswer)
        << "query";
    EXPECT_EQ(std::wstring(viaQuell), std::wstring(direct));
    EXPECT_EQ(viaQuellLength, directLength);

    auto destroy = SystemEntry<BOOL(WINAPI *)(HWND)>(user32, "ShutdownBlockReasonDestroy");
    quell = Ask([&] { return image->Call("ShutdownBlockReasonDestroy", {Arg(window)}); });
    EXPECT_EQ(quell, destroy ? Ask([&] { return (uint32_t)destroy(window); }) : NotAvailableAnswer) << "destroy";

    for (const char *entry : {"ShutdownBlockReasonCreate", "ShutdownBlockReasonQuery", "ShutdownBlockReasonDestroy"})
        EXPECT_EQ(g_fake.Count(entry), 0u) << entry << " went to a fake";
    EXPECT_EQ(g_fake.Count("GetProcAddress"), 4u);
    image->Detach();
    DestroyWindow(window);
}

// Wine's libraries load for real; every entry that would act on the session is
// handed out as the bench's fake, in the form the running version needs.
TEST(WineLateBound, DestructiveEntriesAreTheBenchsFakes) {
    auto image = StartQuell(os::WinXP, Binding::Real);
    ASSERT_TRUE(image);
    ASSERT_TRUE(BoundToFake(*image, "GetProcAddress")) << "GetProcAddress must stay the bench's";
    struct Case {
        const char *exportName;
        Args args;
        uint32_t expected;
    } cases[] = {
        {"LockWorkStation", {}, 1},
        {"InitiateSystemShutdownExA", {0, 0, 0, 0, 0, 0}, 1},
        {"InitiateSystemShutdownExW", {0, 0, 0, 0, 0, 0}, 1},
        {"InitiateShutdownA", {0, 0, 0, 0, 0}, 0},
        {"InitiateShutdownW", {0, 0, 0, 0, 0}, 0},
        {"RestartDialog", {0, 0, 0}, 1},
        {"ShutdownDialog", {0}, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.exportName);
        EXPECT_EQ(image->Call(c.exportName, c.args), c.expected);
        EXPECT_EQ(g_fake.Count(c.exportName), 1u) << "not the bench's fake";
    }
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    bool twoArguments = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
    EXPECT_EQ(g_fake.Last("ShutdownDialog")->args.size(), twoArguments ? 2u : 1u);
    image->Detach();
}

// The timed shutdown runs under the real process token; the request itself
// goes to the bench's fake, which the test checks before anything is called.
TEST(WineLateBound, TimedShutdownEndsTheRealPrivilegeAsTheResultSays) {
    auto image = StartQuell(os::WinXP, Binding::Real);
    ASSERT_TRUE(image);
    for (const char *request : {"InitiateSystemShutdownA", "InitiateSystemShutdownW", "AbortSystemShutdownA"})
        ASSERT_TRUE(BoundToFake(*image, request)) << request << " would reach the session";
    ASSERT_TRUE(BoundToSystem(*image, "AdjustTokenPrivileges"));
    wchar_t message[] = L"Quell test";

    EXPECT_EQ(image->Call("LocalInitSystemRebootW", {Arg(message), 30, 0}), QuellTrue);
    EXPECT_FALSE(ProcessShutdownPrivilegeEnabled()) << "an accepted request disables the privilege";
    ASSERT_EQ(g_fake.Names(), std::vector<std::string>{"InitiateSystemShutdownW"});
    EXPECT_EQ(g_fake.Last("InitiateSystemShutdownW")->args,
              (std::vector<uintptr_t>{0, Arg(message), 30, 0, 0xFFFFFFFF}));

    g_fake.shutdownResult = FALSE;
    EXPECT_EQ(image->Call("LocalInitSystemShutdownA", {0, 0, 0}), 0u);
    EXPECT_EQ(GetLastError(), FakeShutdownError);
    EXPECT_TRUE(ProcessShutdownPrivilegeEnabled()) << "a refused request leaves the privilege enabled";

    g_fake.shutdownResult = TRUE;
    EXPECT_EQ(image->Call("LocalAbortSystemShutdown"), QuellTrue);
    EXPECT_FALSE(ProcessShutdownPrivilegeEnabled());
    EXPECT_EQ(g_fake.Count("AbortSystemShutdownA"), 1u);
}

}  // namespace
