// The version report and the MS-DOS mode search against Wine itself. The shell
// stays faked: no shortcut is ever opened.
#include <gtest/gtest.h>

#include "bench/probe_run.h"
#include "bench/test_support.h"

namespace {

struct Record {
    DWORD cbSize, major, minor, build, platform;
};

TEST(WineVersion, DllGetVersionReadsTheBuiltFile) {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    ASSERT_TRUE(image);
    Record record{20, 9, 9, 9, 9};
    EXPECT_EQ(image->Call("DllGetVersion", {Arg(&record)}), 0u);
    EXPECT_EQ(record.cbSize, 20u);
    EXPECT_EQ(record.major, (DWORD)QUELL_PROJECT_VERSION_MAJOR);
    EXPECT_EQ(record.minor, (DWORD)QUELL_PROJECT_VERSION_MINOR);
    EXPECT_EQ(record.build, (DWORD)QUELL_PROJECT_VERSION_PATCH);
    EXPECT_EQ(record.platform, 1u);
    // Only the look-ups in version.dll pass through the bench, which hands out the system's entries.
    EXPECT_EQ(LoggedTexts("GetProcAddress"),
              (Names{"GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueA"}));
    EXPECT_EQ(g_fake.Names(), Names(3, "GetProcAddress")) << "a real call went to a fake";

    HMODULE quell = LoadLibraryW(BuiltQuellPath().c_str());
    ASSERT_TRUE(quell);
    auto getVersion = (HRESULT(WINAPI *)(Record *))GetProcAddress(quell, "DllGetVersion");
    Record plain{20, 9, 9, 9, 9};
    EXPECT_EQ(getVersion(&plain), S_OK);
    EXPECT_EQ(plain.major, (DWORD)QUELL_PROJECT_VERSION_MAJOR);
    EXPECT_EQ(plain.platform, 1u);
    EXPECT_TRUE(FreeLibrary(quell));
}

// Wine's own reader sees the same strings as the resource compiler was given.
TEST(WineVersion, SystemReaderSeesTheGermanStringTable) {
    HMODULE version = LoadLibraryA("version.dll");
    ASSERT_TRUE(version);
    auto sizeOf = (DWORD(WINAPI *)(LPCWSTR, LPDWORD))GetProcAddress(version, "GetFileVersionInfoSizeW");
    auto read = (BOOL(WINAPI *)(LPCWSTR, DWORD, DWORD, LPVOID))GetProcAddress(version, "GetFileVersionInfoW");
    auto query = (BOOL(WINAPI *)(LPCVOID, LPCWSTR, LPVOID *, PUINT))GetProcAddress(version, "VerQueryValueW");
    ASSERT_TRUE(sizeOf && read && query);
    DWORD unused;
    std::vector<BYTE> block(sizeOf(BuiltQuellPath().c_str(), &unused));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(read(BuiltQuellPath().c_str(), 0, (DWORD)block.size(), block.data()));
    const std::string projectVersion = ProjectVersion(4);
    const std::wstring productVersion(projectVersion.begin(), projectVersion.end());
    const std::pair<const wchar_t *, const wchar_t *> strings[] = {
        {L"FileDescription", L"DLL f\u00fcr das Beenden von Windows"},
        {L"FileVersion", L"1.0.0.0"},
        {L"ProductVersion", productVersion.c_str()},
        {L"OriginalFilename", L"quell.dll"},
    };
    for (auto [key, expected] : strings) {
        void *value = nullptr;
        UINT length = 0;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040704E4\\") + key;
        ASSERT_TRUE(query(block.data(), path.c_str(), &value, &length)) << Narrow(key);
        EXPECT_EQ(std::wstring((const wchar_t *)value), expected) << Narrow(key);
    }
    WORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(query(block.data(), L"\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0407);
    EXPECT_EQ(translation[1], 1252);
    FreeLibrary(version);
}

// Shortcut files in the prefix's Windows directory, removed with this object.
struct Shortcuts {
    std::vector<std::string> files;
    ~Shortcuts() { RemoveAll(); }
    void Place(const std::string &name) {
        char dir[MAX_PATH];
        UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        std::string path = std::string(dir) + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " exists already or cannot be made";
        CloseHandle(file);
        files.push_back(path);
    }
    void RemoveAll() {
        for (const std::string &file : files) EXPECT_TRUE(DeleteFileA(file.c_str())) << file;
        files.clear();
    }
};

TEST(WineMsDos, CheckMsDosModusFindsTheShortcutOnlyOnWindows98) {
    Shortcuts shortcuts;
    shortcuts.Place("MS-DOS-MODUS.PIF");

    // This process is on the NT family: a shortcut changes nothing.
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    ASSERT_TRUE(image);
    SetLastError(0);
    EXPECT_EQ(image->Call("CheckMsDosModus"), 0u);
    EXPECT_EQ(GetLastError(), 0u);

    ProbeAnswers first = RunProbe("quell_probe_msdos", "win98");
    ASSERT_EQ(first["platform"], "1") << "Wine did not act as Windows 98 for the probe";
    EXPECT_EQ(first["CheckMsDosModus"].substr(0, 3), "-1 ");
    EXPECT_EQ(first["fakeCalls"], "0");

    shortcuts.RemoveAll();
    EXPECT_EQ(RunProbe("quell_probe_msdos", "win98")["CheckMsDosModus"], "0 123");

    shortcuts.Place("EXIT TO DOS.PIF");
    EXPECT_EQ(RunProbe("quell_probe_msdos", "win98")["CheckMsDosModus"].substr(0, 3), "-1 ");
    EXPECT_EQ(RunProbe("quell_probe_msdos", "")["CheckMsDosModus"], "0 " + std::to_string(UntouchedError))
        << "the NT family must not look";
}

}  // namespace
