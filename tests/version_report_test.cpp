// DllGetVersion: argument checks, the growing path buffer, the version block and
// the release of both buffers on every path.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/fakes_files.h"
#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

// DllGetVersion's results, as the unsigned values that Call returns.
constexpr uint32_t S_Ok = S_OK, InvalidArg = (uint32_t)E_INVALIDARG, OutOfMemory = (uint32_t)E_OUTOFMEMORY,
                   Fail = (uint32_t)E_FAIL, Pointer = (uint32_t)E_POINTER;

// DLLVERSIONINFO followed by room that a larger record would have.
struct Record {
    DWORD cbSize, major, minor, build, platform;
    DWORD beyond[3];
};

Record Untouched(DWORD cbSize) {
    Record r;
    memset(&r, 0xA5, sizeof r);
    r.cbSize = cbSize;
    return r;
}

bool Same(const Record &a, const Record &b) { return memcmp(&a, &b, sizeof a) == 0; }

void ExpectNothingLeftAllocated() {
    EXPECT_TRUE(g_files.liveBlocks.empty()) << g_files.liveBlocks.size() << " blocks left allocated";
    EXPECT_EQ(g_files.foreignFrees, 0);
}

// The system calls of a call, without the loading of version.dll.
Names ReadingCalls() {
    Names calls;
    for (const std::string &name : g_fake.Names())
        if (!IsAmong(name, {"GetProcessHeap", "GetSystemDirectoryA", "LoadLibraryA", "GetProcAddress"}))
            calls.push_back(name);
    return calls;
}

// A name in the character set of this system: Windows 95/98/Me read file names in ANSI.
std::string InCharacterSet(const std::string &name, const OsProfile &profile) {
    bool wide = IsAmong(name, {"GetModuleFileNameW", "GetFileVersionInfoSizeW", "GetFileVersionInfoW"});
    return wide && profile.platform == VER_PLATFORM_WIN32_WINDOWS ? name.substr(0, name.size() - 1) + "A" : name;
}

Names InCharacterSet(Names names, const OsProfile &profile) {
    for (std::string &name : names) name = InCharacterSet(name, profile);
    return names;
}

std::wstring ModuleNameOfLength(size_t length) {
    std::wstring name = L"C:\\" + std::wstring(length - 13, L'd') + L"\\Quell.dll";
    EXPECT_EQ(name.size(), length);
    return name;
}

TEST(DllGetVersion, RejectsNullAndWrongSizeWithoutAnyCall) {
    auto image = StartQuell();
    SetLastError(UntouchedError);
    EXPECT_EQ(image->Call("DllGetVersion", {0}), InvalidArg);
    for (DWORD cbSize : {0u, 16u, 19u, 21u, 24u, 32u, 0x80000014u}) {
        SCOPED_TRACE(cbSize);
        Record record = Untouched(cbSize);
        EXPECT_EQ(image->Call("DllGetVersion", {Arg(&record)}), InvalidArg);
        EXPECT_TRUE(Same(record, Untouched(cbSize)));
    }
    EXPECT_TRUE(g_fake.log.empty());
    EXPECT_EQ(GetLastError(), UntouchedError);
}

TEST(DllGetVersion, ReportsMajorMinorBuildOfTheFixedVersionAndPlatformOne) {
    struct Case {
        DWORD ms, ls;
        DWORD major, minor, build;
    } cases[] = {
        {0x00020000, 0x00000000, 2, 0, 0},
        {0x00011234, 0x00050007, 1, 4660, 5},  // the fourth part is never reported
        {0xFFFFFFFF, 0xFFFFFFFF, 65535, 65535, 65535},
        {0x00000000, 0x0000FFFF, 0, 0, 0},
    };
    // Windows 95/98/Me read the file through the ANSI functions: their W functions fail.
    for (const OsProfile &profile : {os::Win95, os::Win98, os::WinMe, os::NT4, os::WinXP, os::Win10, os::QueryFails}) {
        auto image = StartQuell(profile);
        // One image for all cases: each call reads the version data afresh.
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(profile.name) + " " + std::to_string(c.ms) + "." + std::to_string(c.ls));
            g_files.fileVersionMS = c.ms;
            g_files.fileVersionLS = c.ls;
            Record record = Untouched(20);
            ASSERT_EQ(image->Call("DllGetVersion", {Arg(&record)}), S_Ok);
            EXPECT_EQ(record.cbSize, 20u);
            EXPECT_EQ(record.major, c.major);
            EXPECT_EQ(record.minor, c.minor);
            EXPECT_EQ(record.build, c.build);
            EXPECT_EQ(record.platform, 1u);
            EXPECT_EQ(record.beyond[0], Untouched(20).beyond[0]) << "written past the record";
            ExpectNothingLeftAllocated();
        }
        EXPECT_EQ(g_fake.Count(InCharacterSet("GetFileVersionInfoW", profile)), std::size(cases));
    }
}

TEST(DllGetVersion, ReadsItsOwnFileIntoABlockOfExactlyTheReportedSize) {
    for (const OsProfile &profile : {os::WinXP, os::Win98}) {
        SCOPED_TRACE(profile.name);
        auto image = StartQuell(profile);
        g_files.versionDataSize = 0x35A;
        Record record = Untouched(20);
        ASSERT_EQ(image->Call("DllGetVersion", {Arg(&record)}), S_Ok);
        // version.dll is loaded on the first call, by its full path in the system directory.
        EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names{SystemPath("version.dll")});
        EXPECT_EQ(LoggedTexts("GetProcAddress"),
                  InCharacterSet({"GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueA"}, profile));
        EXPECT_EQ(ReadingCalls(),
                  InCharacterSet({"HeapAlloc", "GetModuleFileNameW", "GetFileVersionInfoSizeW", "HeapAlloc",
                                  "GetFileVersionInfoW", "VerQueryValueA", "HeapFree", "HeapFree"},
                                 profile));
        const uintptr_t heap = Raw(FakeProcessHeap());
        EXPECT_EQ(LoggedArgs("HeapAlloc", 0), (Args{heap, heap}));
        EXPECT_EQ(LoggedArgs("HeapAlloc", 2), (Args{profile.platform == VER_PLATFORM_WIN32_NT ? 520u : 260u, 0x35A}));
        const Call *name = g_fake.Last(InCharacterSet("GetModuleFileNameW", profile));
        EXPECT_EQ(name->args[0], (uintptr_t)image->module);
        EXPECT_EQ(name->args[2], 260u);
        uintptr_t path = name->args[1];
        const Call *size = g_fake.Last(InCharacterSet("GetFileVersionInfoSizeW", profile));
        EXPECT_EQ(size->args[0], path);
        EXPECT_NE(size->args[1], 0u);
        const Call *read = g_fake.Last(InCharacterSet("GetFileVersionInfoW", profile));
        EXPECT_EQ(read->args[0], path);
        EXPECT_EQ(read->args[1], 0u);
        EXPECT_EQ(read->args[2], 0x35Au);
        uintptr_t block = read->args[3];
        const Call *query = g_fake.Last("VerQueryValueA");
        EXPECT_EQ(query->args[0], block);
        EXPECT_EQ(query->args[1], 0u) << "the root block is asked for with a null name";
        EXPECT_EQ(LoggedArgs("HeapFree", 2), (Args{block, path}));
        ExpectNothingLeftAllocated();

        g_fake.log.clear();
        ASSERT_EQ(image->Call("DllGetVersion", {Arg(&record)}), S_Ok);
        EXPECT_EQ(CallsAmong({"LoadLibraryA", "GetProcAddress"}), Names{}) << "version.dll stays loaded";
    }
}

// The capacity grows by 260 characters until the name fits: a result equal to
// the capacity means the name was cut.
TEST(DllGetVersion, GrowsThePathBufferUntilTheWholeNameFits) {
    struct Case {
        size_t length;
        Args capacities;
    } cases[] = {
        {259, {260}}, {260, {260, 520}}, {519, {260, 520}}, {520, {260, 520, 780}}, {1000, {260, 520, 780, 1040}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.length);
        auto image = StartQuell();
        g_files.moduleFileName = ModuleNameOfLength(c.length);
        Record record = Untouched(20);
        ASSERT_EQ(image->Call("DllGetVersion", {Arg(&record)}), S_Ok);
        EXPECT_EQ(record.major, (DWORD)QUELL_PROJECT_VERSION_MAJOR);
        EXPECT_EQ(LoggedArgs("GetModuleFileNameW", 2), c.capacities);
        EXPECT_EQ(LoggedArgs("HeapAlloc", 2).front(), 520u);
        Args resized = LoggedArgs("HeapReAlloc", 3);
        EXPECT_EQ(resized.size(), c.capacities.size() - 1);
        for (size_t i = 0; i < resized.size(); ++i) EXPECT_EQ(resized[i], 2 * c.capacities[i + 1]);
        EXPECT_EQ(g_fake.Last("GetFileVersionInfoSizeW")->text, Narrow(g_files.moduleFileName.c_str()))
            << "the name was cut";
        ExpectNothingLeftAllocated();
    }
}

TEST(DllGetVersion, EveryFailureReleasesBothBuffersAndLeavesTheRecord) {
    enum Freed { None, Path, BlockThenPath };
    struct Case {
        const char *what;
        void (*setup)();
        uint32_t result;
        DWORD error;  // the failing call's last-error value; 0: not checked
        Names calls;
        Freed freed;
    } cases[] = {
        {"path buffer not allocated", [] { g_files.failAllocation = 1; }, OutOfMemory, 0, {"HeapAlloc"}, None},
        {"path buffer not enlarged",
         [] {
             g_files.moduleFileName = ModuleNameOfLength(300);
             g_files.failAllocation = 2;
         },
         OutOfMemory,
         0,
         {"HeapAlloc", "GetModuleFileNameW", "HeapReAlloc", "HeapFree"},
         Path},
        {"no module file name",
         [] { g_files.moduleFileNameFails = true; },
         Fail,
         FakeModuleNameError,
         {"HeapAlloc", "GetModuleFileNameW", "HeapFree"},
         Path},
        {"no system directory",
         [] { g_files.systemDirectory.clear(); },
         Fail,
         FakeDirectoryError,
         {"HeapAlloc", "GetModuleFileNameW", "HeapFree"},
         Path},
        {"version.dll not loaded",
         [] { g_lateBound.libraries["version.dll"].present = false; },
         Fail,
         FakeLoadError,
         {"HeapAlloc", "GetModuleFileNameW", "HeapFree"},
         Path},
        {"version.dll lacks an entry",
         [] {
             g_lateBound.libraries["version.dll"].missing = {"GetFileVersionInfoW", "GetFileVersionInfoA"};
         },
         Fail,
         FakeLookupError,
         {"HeapAlloc", "GetModuleFileNameW", "HeapFree"},
         Path},
        {"no version data",
         [] { g_files.versionDataSize = 0; },
         Fail,
         FakeNoVersionError,
         {"HeapAlloc", "GetModuleFileNameW", "GetFileVersionInfoSizeW", "HeapFree"},
         Path},
        {"version block not allocated",
         [] { g_files.failAllocation = 2; },
         OutOfMemory,
         0,
         {"HeapAlloc", "GetModuleFileNameW", "GetFileVersionInfoSizeW", "HeapAlloc", "HeapFree"},
         Path},
        {"version data unreadable",
         [] { g_files.versionReadFails = true; },
         Fail,
         FakeVersionReadError,
         {"HeapAlloc", "GetModuleFileNameW", "GetFileVersionInfoSizeW", "HeapAlloc", "GetFileVersionInfoW", "HeapFree",
          "HeapFree"},
         BlockThenPath},
        {"no root block",
         [] { g_files.versionQueryFails = true; },
         Pointer,
         0,
         {"HeapAlloc", "GetModuleFileNameW", "GetFileVersionInfoSizeW", "HeapAlloc", "GetFileVersionInfoW",
          "VerQueryValueA", "HeapFree", "HeapFree"},
         BlockThenPath},
    };
    for (const OsProfile &profile : {os::WinXP, os::Win98}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.what) + " on " + profile.name);
            auto image = StartQuell(profile);
            c.setup();
            Record record = Untouched(20);
            EXPECT_EQ(image->Call("DllGetVersion", {Arg(&record)}), c.result);
            if (c.error) {
                EXPECT_EQ(GetLastError(), c.error);
            }
            EXPECT_TRUE(Same(record, Untouched(20))) << "the record was written on failure";
            EXPECT_EQ(ReadingCalls(), InCharacterSet(c.calls, profile));
            Args expectedFrees;
            if (c.freed == BlockThenPath)
                expectedFrees.push_back(g_fake.Last(InCharacterSet("GetFileVersionInfoW", profile))->args[3]);
            if (c.freed != None)
                expectedFrees.push_back(LoggedArgs(InCharacterSet("GetModuleFileNameW", profile), 1).front());
            EXPECT_EQ(LoggedArgs("HeapFree", 2), expectedFrees);
            ExpectNothingLeftAllocated();
        }
    }
}

}  // namespace
