// The late-bound groups and the timed shutdown against Wine itself: real
// libraries, real entries where they are harmless, the real process token.
// Every entry that could end the session, lock it or show a dialog is the
// bench's fake, and each test first proves that it is.
#include <gtest/gtest.h>

#include <algorithm>

#include "bench/fake_platform.h"
#include "bench/fakes_latebound.h"
#include "bench/image.h"

namespace {

constexpr uint32_t True = 0xFFFFFFFF;

bool Imported(const QuellImage &image, const char *name, bool faked) {
    return std::any_of(image.imports.begin(), image.imports.end(),
                       [&](const ImportedFunction &f) { return f.name == name && f.faked == faked; });
}

std::unique_ptr<QuellImage> StartReal() {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    g_fake.log.clear();
    return image;
}

template <typename Function> Function SystemEntry(HMODULE module, const char *name) {
    return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

bool ShutdownPrivilegeEnabled() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    LUID luid{};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &luid);
    BYTE buffer[4096];
    DWORD size = 0;
    bool enabled = false;
    if (GetTokenInformation(token, TokenPrivileges, buffer, sizeof buffer, &size)) {
        auto *privileges = reinterpret_cast<TOKEN_PRIVILEGES *>(buffer);
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES &p = privileges->Privileges[i];
            if (p.Luid.LowPart == luid.LowPart && p.Luid.HighPart == luid.HighPart)
                enabled = (p.Attributes & SE_PRIVILEGE_ENABLED) != 0;
        }
    }
    CloseHandle(token);
    return enabled;
}

struct Answer {
    uint32_t result;
    DWORD error;
    bool operator==(const Answer &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Answer &a) { return out << a.result << " (error " << a.error << ")"; }

template <typename Call> Answer Ask(Call call) {
    SetLastError(0xBEEF);
    uint32_t result = call();
    return {result, GetLastError()};
}

// The block-reason exports reach Wine's own user32 and answer for a window of
// the test exactly as user32 answers when called directly; an entry that this
// user32 lacks is answered "not available".
TEST(WineLateBound, BlockReasonsAnswerLikeUser32ForAWindowOfTheTest) {
    auto image = StartReal();
    ASSERT_TRUE(image);
    ASSERT_TRUE(Imported(*image, "LoadLibraryA", false));
    ASSERT_TRUE(Imported(*image, "GetProcAddress", true)) << "GetProcAddress must stay the bench's";
    // Message-only: it needs no display.
    HWND window = CreateWindowExW(0, L"STATIC", L"Quell", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(window);
    const wchar_t reason[] = L"Quell test";
    wchar_t viaQuell[64] = {}, direct[64] = {};
    DWORD viaQuellLength = 64, directLength = 64;
    HMODULE user32 = GetModuleHandleA("user32.dll");
    const Answer notAvailable{0, ERROR_CALL_NOT_IMPLEMENTED};

    auto create = SystemEntry<BOOL(WINAPI *)(HWND, LPCWSTR)>(user32, "ShutdownBlockReasonCreate");
    Answer quell = Ask([&] { return image->Call("ShutdownBlockReasonCreate", {Arg(window), Arg(reason)}); });
    EXPECT_EQ(quell, create ? Ask([&] { return (uint32_t)create(window, reason); }) : notAvailable) << "create";

    auto query = SystemEntry<BOOL(WINAPI *)(HWND, LPWSTR, DWORD *)>(user32, "ShutdownBlockReasonQuery");
    quell = Ask([&] {
        return image->Call("ShutdownBlockReasonQuery", {Arg(window), Arg(viaQuell), Arg(&viaQuellLength)});
    });
    EXPECT_EQ(quell, query ? Ask([&] { return (uint32_t)query(window, direct, &directLength); }) : notAvailable)
        << "query";
    EXPECT_EQ(std::wstring(viaQuell), std::wstring(direct));
    EXPECT_EQ(viaQuellLength, directLength);

    auto destroy = SystemEntry<BOOL(WINAPI *)(HWND)>(user32, "ShutdownBlockReasonDestroy");
    quell = Ask([&] { return image->Call("ShutdownBlockReasonDestroy", {Arg(window)}); });
    EXPECT_EQ(quell, destroy ? Ask([&] { return (uint32_t)destroy(window); }) : notAvailable) << "destroy";

    for (const char *entry : {"ShutdownBlockReasonCreate", "ShutdownBlockReasonQuery", "ShutdownBlockReasonDestroy"})
        EXPECT_EQ(g_fake.Count(entry), 0u) << entry << " went to a fake";
    EXPECT_EQ(g_fake.Count("GetProcAddress"), 4u);
    image->Detach();
    DestroyWindow(window);
}

// Wine's libraries load for real; every entry that would act on the session is
// handed out as the bench's fake, in the form the running version needs.
TEST(WineLateBound, DestructiveEntriesAreTheBenchsFakes) {
    auto image = StartReal();
    ASSERT_TRUE(image);
    ASSERT_TRUE(Imported(*image, "GetProcAddress", true)) << "GetProcAddress must stay the bench's";
    struct Case {
        const char *exportName;
        std::vector<uint32_t> args;
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
        std::vector<uint32_t> args = c.args;
        int stackError = 0;
        EXPECT_EQ(CallStdcallChecked((void *)image->Export(c.exportName), args.data(), (int)args.size(), &stackError),
                  c.expected);
        EXPECT_EQ(stackError, 0);
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
    auto image = StartReal();
    ASSERT_TRUE(image);
    for (const char *request : {"InitiateSystemShutdownA", "InitiateSystemShutdownW", "AbortSystemShutdownA"})
        ASSERT_TRUE(Imported(*image, request, true)) << request << " would reach the session";
    ASSERT_TRUE(Imported(*image, "AdjustTokenPrivileges", false));
    wchar_t message[] = L"Quell test";

    EXPECT_EQ(image->Call("LocalInitSystemRebootW", {Arg(message), 30, 0}), True);
    EXPECT_FALSE(ShutdownPrivilegeEnabled()) << "an accepted request disables the privilege";
    ASSERT_EQ(g_fake.Names(), std::vector<std::string>{"InitiateSystemShutdownW"});
    EXPECT_EQ(g_fake.Last("InitiateSystemShutdownW")->args,
              (std::vector<uintptr_t>{0, Arg(message), 30, 0, 0xFFFFFFFF}));

    g_fake.shutdownResult = FALSE;
    EXPECT_EQ(image->Call("LocalInitSystemShutdownA", {0, 0, 0}), 0u);
    EXPECT_EQ(GetLastError(), FakeShutdownError);
    EXPECT_TRUE(ShutdownPrivilegeEnabled()) << "a refused request leaves the privilege enabled";

    g_fake.shutdownResult = TRUE;
    EXPECT_EQ(image->Call("LocalAbortSystemShutdown"), True);
    EXPECT_FALSE(ShutdownPrivilegeEnabled());
    EXPECT_EQ(g_fake.Count("AbortSystemShutdownA"), 1u);
}

}  // namespace
