// Finding and opening the MS-DOS mode shortcut on Windows 95/98/Me.
#include <gtest/gtest.h>

#include "bench/fakes_files.h"
#include "bench/test_support.h"

namespace {

constexpr DWORD InvalidName = ERROR_INVALID_NAME;  // 123
const std::string First = "MS-DOS-MODUS.PIF";
const std::string Second = "EXIT TO DOS.PIF";

using Texts = std::vector<std::string>;

std::unique_ptr<QuellImage> Start(const OsProfile &profile, const std::string &dir, std::set<std::string> names) {
    auto image = StartQuell(profile);
    g_files.windowsDirectory = dir;
    for (const std::string &name : names) g_files.existingFiles.insert(WindowsPath(name));
    return image;
}

Texts Probes() { return LoggedTexts("GetFileAttributesA"); }

Texts PathsOf(std::initializer_list<std::string> names) {
    Texts paths;
    for (const std::string &name : names) paths.push_back(WindowsPath(name));
    return paths;
}

TEST(MsDosMode, DoesNothingOutsideWindows9x) {
    for (const OsProfile &profile : AllOsProfiles) {
        if (profile.platform == 1) continue;
        SCOPED_TRACE(profile.name);
        auto image = Start(profile, "C:\\WINDOWS", {First, Second});
        for (const char *name : {"CheckMsDosModus", "WindowsMsDosModus"}) {
            SetLastError(UntouchedError);
            EXPECT_EQ(image->Call(name), 0u) << name;
            EXPECT_EQ(GetLastError(), UntouchedError) << name;
        }
        EXPECT_TRUE(g_fake.Names(true).empty());
    }
}

TEST(MsDosMode, FindsTheFirstShortcutThatExistsAndOpensIt) {
    struct Case {
        const char *dir;
        std::set<std::string> names;
        Texts probes;
        std::string opened;
    } cases[] = {
        {"C:\\WINDOWS", {First}, {"C:\\WINDOWS\\MS-DOS-MODUS.PIF"}, "C:\\WINDOWS\\MS-DOS-MODUS.PIF"},
        {"C:\\WINDOWS",
         {Second},
         {"C:\\WINDOWS\\MS-DOS-MODUS.PIF", "C:\\WINDOWS\\EXIT TO DOS.PIF"},
         "C:\\WINDOWS\\EXIT TO DOS.PIF"},
        {"C:\\WINDOWS", {First, Second}, {"C:\\WINDOWS\\MS-DOS-MODUS.PIF"}, "C:\\WINDOWS\\MS-DOS-MODUS.PIF"},
        {"C:\\WINDOWS\\", {First}, {"C:\\WINDOWS\\MS-DOS-MODUS.PIF"}, "C:\\WINDOWS\\MS-DOS-MODUS.PIF"},
        {"C:\\", {Second}, {"C:\\MS-DOS-MODUS.PIF", "C:\\EXIT TO DOS.PIF"}, "C:\\EXIT TO DOS.PIF"},
    };
    EXPECT_EQ(cases[0].opened.size(), 27u);
    EXPECT_EQ(cases[1].opened.size(), 26u);
    for (const OsProfile &profile : {os::Win95, os::Win98, os::WinMe}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(profile.name) + " " + c.dir + " " + c.opened);
            auto image = Start(profile, c.dir, c.names);
            EXPECT_EQ(image->Call("CheckMsDosModus"), QuellTrue);
            EXPECT_EQ(Probes(), c.probes);
            EXPECT_EQ(g_fake.Last("GetWindowsDirectoryA")->args[1], 260u);
            EXPECT_EQ(g_fake.Count("ShellExecuteA"), 0u);

            g_fake.log.clear();
            EXPECT_EQ(image->Call("WindowsMsDosModus"), QuellTrue);
            EXPECT_EQ(Probes(), c.probes);
            const Call *shell = g_fake.Last("ShellExecuteA");
            ASSERT_TRUE(shell);
            EXPECT_EQ(shell->text, "open|" + c.opened);
            EXPECT_EQ(shell->args[0], 0u);   // no window
            EXPECT_EQ(shell->args[3], 0u);   // no parameters
            EXPECT_EQ(shell->args[4], 0u);   // no directory
            EXPECT_EQ(shell->args[5], 10u);  // SW_SHOWDEFAULT
        }
    }
}

TEST(MsDosMode, WithoutAShortcutAnswersInvalidName) {
    auto image = Start(os::Win98, "C:\\WINDOWS", {});
    for (const char *name : {"CheckMsDosModus", "WindowsMsDosModus"}) {
        SCOPED_TRACE(name);
        g_fake.log.clear();
        SetLastError(0);
        EXPECT_EQ(image->Call(name), 0u);
        EXPECT_EQ(GetLastError(), InvalidName);
        EXPECT_EQ(Probes(), PathsOf({First, Second}));
        EXPECT_EQ(g_fake.Count("ShellExecuteA"), 0u);
    }
}

// A directory that cannot be read or does not fit: 0 with the system's own
// last-error value, and no file is looked for.
TEST(MsDosMode, UnusableWindowsDirectoryEndsTheSearchSilently) {
    struct Case {
        const char *what;
        std::string dir;
        bool fails;
        std::optional<UINT> reported;
        DWORD error;
    } cases[] = {
        {"unreadable", "C:\\WINDOWS", true, {}, FakeDirectoryError},
        {"260 characters", "C:\\" + std::string(257, 'W'), false, {}, UntouchedError},
        {"300 characters", "C:\\" + std::string(297, 'W'), false, {}, UntouchedError},
        {"reported as 260", "C:\\" + std::string(256, 'W'), false, 260, UntouchedError},
    };
    for (const char *name : {"CheckMsDosModus", "WindowsMsDosModus"}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(name) + ": " + c.what);
            auto image = Start(os::Win98, c.dir, {First, Second});
            g_files.windowsDirectoryFails = c.fails;
            g_files.reportedLength = c.reported;
            SetLastError(UntouchedError);
            EXPECT_EQ(image->Call(name), 0u);
            EXPECT_EQ(GetLastError(), c.error);
            EXPECT_EQ(g_fake.Names(true), Names{"GetWindowsDirectoryA"});
        }
    }
}

// n is the directory's length with its closing backslash. A 16-character name
// fits up to n = 244, a 15-character one up to 245; the caller's buffer of 260
// takes paths of up to 259 characters.
TEST(MsDosMode, LengthBoundsOfTheTwoNames) {
    struct Case {
        size_t n;
        std::set<std::string> names;
        Texts probed;  // names tried, in order
        bool found;
        std::string opened;  // empty: nothing is opened
    } cases[] = {
        {243, {First}, {First}, true, First},
        {244, {First}, {First}, true, ""},  // 260 characters: found but never opened
        {244, {Second}, {First, Second}, true, Second},
        {245, {First, Second}, {Second}, true, ""},
        {245, {First}, {Second}, false, ""},
        {246, {First, Second}, {}, false, ""},
        {260, {First, Second}, {}, false, ""},  // a directory of 259 characters
    };
    for (bool closingBackslash : {false, true}) {
        for (const Case &c : cases) {
            if (closingBackslash && c.n >= 260) continue;  // a directory too long to read
            std::string dir = "C:\\" + std::string(c.n - 4, 'D') + (closingBackslash ? "\\" : "");
            SCOPED_TRACE("n = " + std::to_string(c.n) + (closingBackslash ? ", given with its backslash" : ""));
            auto image = Start(os::Win98, dir, c.names);
            Texts probes;
            for (const std::string &name : c.probed) probes.push_back(WindowsPath(name));
            for (const std::string &path : probes) EXPECT_LE(path.size(), 260u);

            SetLastError(0);
            EXPECT_EQ(image->Call("CheckMsDosModus"), c.found ? QuellTrue : 0u);
            if (!c.found) {
                EXPECT_EQ(GetLastError(), InvalidName);
            }
            EXPECT_EQ(Probes(), probes);

            g_fake.log.clear();
            SetLastError(0);
            EXPECT_EQ(image->Call("WindowsMsDosModus"), c.opened.empty() ? 0u : QuellTrue);
            if (c.opened.empty()) {
                EXPECT_EQ(g_fake.Count("ShellExecuteA"), 0u);
                EXPECT_EQ(GetLastError(), InvalidName);
            } else {
                ASSERT_TRUE(g_fake.Last("ShellExecuteA"));
                EXPECT_EQ(g_fake.Last("ShellExecuteA")->text, "open|" + WindowsPath(c.opened));
            }
        }
    }
}

// The shell's result counts as success above 32, taken as unsigned and whole:
// on x64 a result whose low 32 bits are 0 is still above 32 (on x86 that row is 0).
TEST(MsDosMode, ShellResultAbove32IsSuccess) {
    constexpr uintptr_t HighBitsAlone = UINTPTR_MAX ^ 0xFFFFFFFFu;
    const std::pair<uintptr_t, uint32_t> cases[] = {
        {0, 0},
        {2, 0},
        {31, 0},
        {32, 0},
        {33, QuellTrue},
        {42, QuellTrue},
        {0x7FFFFFFF, QuellTrue},
        {0x80000000, QuellTrue},
        {0xFFFFFFFF, QuellTrue},
        {HighBitsAlone, HighBitsAlone ? QuellTrue : 0},
    };
    for (auto [shellResult, expected] : cases) {
        SCOPED_TRACE(shellResult);
        auto image = Start(os::Win98, "C:\\WINDOWS", {Second});
        g_files.shellResult = shellResult;
        EXPECT_EQ(image->Call("WindowsMsDosModus"), expected);
        EXPECT_EQ(g_fake.Count("ShellExecuteA"), 1u);
    }
}

}  // namespace
