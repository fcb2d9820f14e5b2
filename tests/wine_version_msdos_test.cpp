// The version report and the MS-DOS mode search against Wine itself. The shell
// stays faked: no shortcut is ever opened.
#include <gtest/gtest.h>

#include "bench/fake_platform.h"
#include "bench/image.h"
#include "bench/msdos_probe.h"

namespace {

constexpr uint32_t True = 0xFFFFFFFF;

struct Record {
    DWORD cbSize, major, minor, build, platform;
};

std::wstring BesideTheTests(const std::wstring &name) {
    std::wstring path = BuiltQuellPath();
    return path.substr(0, path.size() - wcslen(L"Quell.dll")) + name;
}

TEST(WineVersion, DllGetVersionReadsTheBuiltFile) {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    ASSERT_TRUE(image);
    Record record{20, 9, 9, 9, 9};
    EXPECT_EQ(image->Call("DllGetVersion", {Arg(&record)}), 0u);
    EXPECT_EQ(record.cbSize, 20u);
    EXPECT_EQ(record.major, 2u);
    EXPECT_EQ(record.minor, 0u);
    EXPECT_EQ(record.build, 0u);
    EXPECT_EQ(record.platform, 1u);
    EXPECT_TRUE(g_fake.log.empty()) << "a real call went to a fake";

    HMODULE quell = LoadLibraryW(BuiltQuellPath().c_str());
    ASSERT_TRUE(quell);
    auto getVersion = (HRESULT(WINAPI *)(Record *))GetProcAddress(quell, "DllGetVersion");
    Record plain{20, 9, 9, 9, 9};
    EXPECT_EQ(getVersion(&plain), S_OK);
    EXPECT_EQ(plain.major, 2u);
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
    const std::pair<const wchar_t *, const wchar_t *> strings[] = {
        {L"FileDescription", L"DLL f\u00fcr das Beenden von Windows"},
        {L"FileVersion", L"1.0.0.0"},
        {L"ProductVersion", L"2.0.0.0"},
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

// Runs the probe program under its own name and returns its report.
ProbeReport RunProbe() {
    std::wstring exe = BesideTheTests(L"quell_msdos_probe.exe");
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        ADD_FAILURE() << "cannot start the probe, error " << GetLastError();
        return ProbeReport{0, 0, 0, false, false};
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return DecodeProbeReport(code);
}

// Wine acts as Windows 98 for the probe while this object lives; the shortcut
// files it created go with it.
struct Windows98ForTheProbe {
    static constexpr const char *Parent = "Software\\Wine\\AppDefaults";
    static constexpr const char *Key = "Software\\Wine\\AppDefaults\\quell_msdos_probe.exe";
    std::vector<std::string> files;
    bool parentExisted = false;

    Windows98ForTheProbe() {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Parent, 0, KEY_READ, &key) == 0) {
            parentExisted = true;
            RegCloseKey(key);
        }
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), 0);
        EXPECT_EQ(RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)"win98", 6), 0);
        RegCloseKey(key);
    }
    ~Windows98ForTheProbe() {
        for (const std::string &file : files) EXPECT_TRUE(DeleteFileA(file.c_str())) << file;
        EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, Key), 0);
        // Only when empty: another program may have its own entry by now.
        if (!parentExisted) RegDeleteKeyA(HKEY_CURRENT_USER, Parent);
    }
    void PlaceShortcut(const std::string &name) {
        char dir[MAX_PATH];
        UINT n = GetWindowsDirectoryA(dir, MAX_PATH);
        ASSERT_TRUE(n > 0 && n < MAX_PATH);
        std::string path = std::string(dir) + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " exists already or cannot be made";
        CloseHandle(file);
        files.push_back(path);
    }
    void RemoveShortcuts() {
        for (const std::string &file : files) EXPECT_TRUE(DeleteFileA(file.c_str())) << file;
        files.clear();
    }
};

TEST(WineMsDos, CheckMsDosModusFindsTheShortcutOnlyOnWindows98) {
    {
        // This process is on the NT family: a shortcut changes nothing.
        Windows98ForTheProbe windows98;
        windows98.PlaceShortcut("MS-DOS-MODUS.PIF");
        ResetFakePlatform();
        auto image = LoadQuell(Binding::Real);
        ASSERT_TRUE(image);
        SetLastError(0);
        EXPECT_EQ(image->Call("CheckMsDosModus"), 0u);
        EXPECT_EQ(GetLastError(), 0u);

        ProbeReport first = RunProbe();
        windows98.RemoveShortcuts();
        ASSERT_TRUE(first.loaded);
        EXPECT_EQ(first.platform, 1u) << "Wine did not act as Windows 98 for the probe";
        EXPECT_EQ(first.check, True);
        EXPECT_FALSE(first.fakeCalled);

        ProbeReport missing = RunProbe();
        EXPECT_EQ(missing.platform, 1u);
        EXPECT_EQ(missing.check, 0u);
        EXPECT_EQ(missing.error, (uint32_t)ERROR_INVALID_NAME);

        windows98.PlaceShortcut("EXIT TO DOS.PIF");
        ProbeReport second = RunProbe();
        EXPECT_EQ(second.platform, 1u);
        EXPECT_EQ(second.check, True);
    }
    // Key and files are gone again: the probe is back on the NT family.
    ProbeReport after = RunProbe();
    ASSERT_TRUE(after.loaded);
    EXPECT_EQ(after.platform, 2u);
    EXPECT_EQ(after.check, 0u);
    HKEY key;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, Windows98ForTheProbe::Key, 0, KEY_READ, &key), 0);
}

}  // namespace
