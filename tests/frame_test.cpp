// The built image: its tables, its entry point and the stack discipline of every export.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "bench/export_table.h"
#include "bench/test_support.h"

namespace {

template <typename T> const T *At(HMODULE base, DWORD rva) { return reinterpret_cast<const T *>((BYTE *)base + rva); }

// The headers of the test's own architecture: PE32 on x86, PE32+ on x64.
const IMAGE_NT_HEADERS *Headers(HMODULE base) {
    return At<IMAGE_NT_HEADERS>(base, At<IMAGE_DOS_HEADER>(base, 0)->e_lfanew);
}

class Frame : public ::testing::Test {
  protected:
    void SetUp() override { ResetFakePlatform(os::WinXP); }
};

// PE32 for the i386 on x86; PE32+ for the AMD64 on x64, with ASLR over the
// whole 64-bit address space.
TEST_F(Frame, ImageIsAStrippedRelocatableDllOfTheBuildsArchitecture) {
    auto image = LoadQuell(Binding::Fake, false);
    ASSERT_TRUE(image);
    const IMAGE_NT_HEADERS *nt = Headers(image->module);
    EXPECT_EQ(nt->FileHeader.Machine, BuiltMachine);
    EXPECT_TRUE(nt->FileHeader.Characteristics & IMAGE_FILE_DLL);
    EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR_MAGIC);
    EXPECT_EQ(nt->FileHeader.PointerToSymbolTable, 0u) << "not stripped";
    EXPECT_EQ(nt->FileHeader.NumberOfSymbols, 0u) << "not stripped";
    WORD flags = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_EQ((flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) != 0, sizeof(void *) == 8);
    EXPECT_NE(nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC].Size, 0u);
}

TEST_F(Frame, ExportTableHoldsExactlyTheNamesAtTheirOrdinals) {
    auto image = LoadQuell(Binding::Fake, false);
    ASSERT_TRUE(image);
    const IMAGE_NT_HEADERS *nt = Headers(image->module);
    auto *dir = At<IMAGE_EXPORT_DIRECTORY>(
        image->module, nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    EXPECT_STREQ(At<char>(image->module, dir->Name), "Quell.dll");
    EXPECT_EQ(dir->Base, 1u);
    ASSERT_EQ(dir->NumberOfFunctions, 36u);
    ASSERT_EQ(dir->NumberOfNames, 36u);
    auto *names = At<DWORD>(image->module, dir->AddressOfNames);
    auto *ordinals = At<WORD>(image->module, dir->AddressOfNameOrdinals);
    std::set<std::string> exported;
    for (DWORD i = 0; i < dir->NumberOfNames; ++i) {
        std::string name = At<char>(image->module, names[i]);
        EXPECT_EQ(name.find_first_of("@_"), name.npos) << "decorated name " << name;
        exported.insert(name);
        auto row = std::find_if(ExportTable().begin(), ExportTable().end(),
                                [&](const ExportRow &r) { return name == r.name; });
        ASSERT_NE(row, ExportTable().end()) << "unexpected export " << name;
        EXPECT_EQ(ordinals[i] + dir->Base, (DWORD)row->ordinal) << name;
    }
    EXPECT_EQ(exported.size(), 36u);
    for (const ExportRow &row : ExportTable())
        EXPECT_EQ(image->Export(row.name), image->Export(row.ordinal)) << row.name;
}

TEST_F(Frame, ImportsOnlySystemLibrariesAndNoLateBoundFunction) {
    auto image = LoadQuell(Binding::Fake, false);
    ASSERT_TRUE(image);
    // Known to every system; version.dll and powrprof.dll are loaded from the system directory.
    const std::set<std::string> systemDlls = {"kernel32.dll", "advapi32.dll", "user32.dll", "shell32.dll"};
    const std::set<std::string> lateBound = {"LockWorkStation",
                                             "ShutdownBlockReasonCreate",
                                             "ShutdownBlockReasonDestroy",
                                             "ShutdownBlockReasonQuery",
                                             "InitiateSystemShutdownExA",
                                             "InitiateSystemShutdownExW",
                                             "InitiateShutdownA",
                                             "InitiateShutdownW",
                                             "IsPwrSuspendAllowed",
                                             "IsPwrHibernateAllowed",
                                             "SetSuspendState",
                                             "GetPwrCapabilities",
                                             "RestartDialog",
                                             "InitOnceExecuteOnce",
                                             "AcquireSRWLockExclusive",
                                             "GetFileVersionInfoSizeW",
                                             "GetFileVersionInfoW",
                                             "VerQueryValueA"};
    ASSERT_FALSE(image->imports.empty());
    for (const ImportedFunction &f : image->imports) {
        EXPECT_TRUE(systemDlls.count(f.dll)) << f.dll << "!" << f.name;
        EXPECT_FALSE(lateBound.count(f.name)) << f.name << " must be late-bound";
    }
}

// Everything else is late-bound, so that the image loads on every system; a
// lock or one-time initialisation that older systems lack would show up here.
TEST_F(Frame, ImportsNothingBeyondTheLoadTimeTable) {
    auto image = LoadQuell(Binding::Fake, false);
    ASSERT_TRUE(image);
    const std::set<std::pair<std::string, std::string>> loadTime = {
        {"kernel32.dll", "GetVersionExA"},
        {"kernel32.dll", "GetModuleFileNameW"},
        {"kernel32.dll", "GetCurrentProcess"},
        {"kernel32.dll", "GetLastError"},
        {"kernel32.dll", "CloseHandle"},
        {"kernel32.dll", "SetLastError"},
        {"kernel32.dll", "LoadLibraryA"},
        {"kernel32.dll", "GetProcAddress"},
        {"kernel32.dll", "FreeLibrary"},
        {"kernel32.dll", "GetSystemPowerStatus"},
        {"kernel32.dll", "SetSystemPowerState"},
        {"kernel32.dll", "GetWindowsDirectoryA"},
        {"kernel32.dll", "GetFileAttributesA"},
        {"kernel32.dll", "GetModuleFileNameA"},
        {"kernel32.dll", "GetSystemDirectoryA"},
        {"kernel32.dll", "GetProcessHeap"},
        {"kernel32.dll", "HeapAlloc"},
        {"kernel32.dll", "HeapReAlloc"},
        {"kernel32.dll", "HeapFree"},
        {"advapi32.dll", "OpenProcessToken"},
        {"advapi32.dll", "LookupPrivilegeValueA"},
        {"advapi32.dll", "AdjustTokenPrivileges"},
        {"advapi32.dll", "LookupPrivilegeValueW"},
        {"advapi32.dll", "InitiateSystemShutdownA"},
        {"advapi32.dll", "InitiateSystemShutdownW"},
        {"advapi32.dll", "AbortSystemShutdownA"},
        {"advapi32.dll", "GetUserNameA"},
        {"user32.dll", "ExitWindowsEx"},
        {"shell32.dll", "ShellExecuteA"},
    };
    for (const ImportedFunction &f : image->imports)
        EXPECT_TRUE(loadTime.count({f.dll, f.name})) << f.dll << "!" << f.name;
}

// The preferred base as the built file gives it; 0 when it cannot be read.
uintptr_t PreferredBase() {
    HANDLE file =
        CreateFileW(BuiltQuellPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BYTE headers[4096];
    DWORD n = 0;
    ReadFile(file, headers, sizeof headers, &n, nullptr);
    CloseHandle(file);
    if (n < sizeof(IMAGE_DOS_HEADER)) return 0;
    DWORD at = reinterpret_cast<const IMAGE_DOS_HEADER *>(headers)->e_lfanew;
    if (at + sizeof(IMAGE_NT_HEADERS) > n) return 0;
    return reinterpret_cast<const IMAGE_NT_HEADERS *>(headers + at)->OptionalHeader.ImageBase;
}

// Two copies cannot both have the preferred base: a moved one is relocated by
// the mapping (HIGHLOW entries on x86, DIR64 on x64), so the names it hands
// the system lie in its own mapping, not where the linker put them.
TEST_F(Frame, ACopyMovedFromThePreferredBaseIsRelocated) {
    uintptr_t preferred = PreferredBase();
    ASSERT_NE(preferred, 0u);
    std::unique_ptr<QuellImage> copies[] = {LoadQuell(), LoadQuell()};
    int moved = 0;
    for (const auto &image : copies) {
        ASSERT_TRUE(image);
        uintptr_t base = Raw(image->module);
        if (base == preferred) continue;
        ++moved;
        g_fake.log.clear();
        EXPECT_EQ(image->Call("LockWorkStation"), 1u);
        uintptr_t end = base + Headers(image->module)->OptionalHeader.SizeOfImage;
        for (const char *name : {"LoadLibraryA", "GetProcAddress"}) {
            ASSERT_NE(g_fake.Count(name), 0u) << name;
            for (uintptr_t text : LoggedArgs(name, name == std::string("LoadLibraryA") ? 0 : 1))
                EXPECT_TRUE(text >= base && text < end)
                    << name << " got " << std::hex << text << ", outside " << base << " to " << end;
        }
    }
    EXPECT_GE(moved, 1);
}

TEST_F(Frame, AttachMakesOneVersionQueryWith148Bytes) {
    auto image = LoadQuell();
    ASSERT_TRUE(image);
    ASSERT_EQ(g_fake.Names(true), std::vector<std::string>{"GetVersionExA"});
    EXPECT_EQ(g_fake.log[0].args[1], 148u);
}

TEST_F(Frame, ThreadNotificationsAndUnknownReasonsCallNothing) {
    auto image = LoadQuell();
    ASSERT_TRUE(image);
    g_fake.log.clear();
    for (DWORD reason : {(DWORD)DLL_THREAD_ATTACH, (DWORD)DLL_THREAD_DETACH, 7ul, 0xFFFFFFFFul})
        EXPECT_EQ(image->Notify(reason), TRUE);
    EXPECT_TRUE(g_fake.log.empty());
    EXPECT_EQ(image->Call("CheckWindowsNT"), QuellTrue);
}

TEST_F(Frame, DetachWithNothingLoadedFreesNothing) {
    auto image = LoadQuell();
    ASSERT_TRUE(image);
    image->Call("CheckWindowsNT");
    image->Detach();
    EXPECT_EQ(g_fake.Count("FreeLibrary"), 0u);
}

TEST_F(Frame, FailedVersionQueryStillLoadsAndMatchesNoFamily) {
    ResetFakePlatform(os::QueryFails);
    auto image = LoadQuell();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Call("CheckWindowsNT"), 0u);
    EXPECT_EQ(image->Call("CheckMsDosModus"), 0u);
    // Neither family: the session-end commands take the path without the token.
    EXPECT_EQ(image->Call("WindowsShutdown"), QuellTrue);
    EXPECT_EQ(g_fake.Count("OpenProcessToken"), 0u);
}

// Every export removes exactly its own arguments, on every system family.
TEST_F(Frame, EveryExportRemovesExactlyItsArguments) {
    if (!StackDisciplineChecked) GTEST_SKIP() << "x64 has one calling convention: the caller removes the arguments";
    for (const OsProfile &profile : {os::Win98, os::WinXP, os::Win10}) {
        ResetFakePlatform(profile);
        g_fake.exitWindowsResult = FALSE;  // nothing pretends to end the session
        auto image = LoadQuell();
        ASSERT_TRUE(image);
        for (const ExportRow &row : ExportTable()) {
            SCOPED_TRACE(std::string(row.name) + " on " + profile.name);
            int stackError = 0;
            CallChecked((void *)image->Export(row.ordinal), Args(row.arguments, 0), &stackError);
            EXPECT_EQ(stackError, 0);
        }
    }
}

}  // namespace
