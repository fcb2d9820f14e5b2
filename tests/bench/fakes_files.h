// The scenario of the file-related fakes: the module's own file and its version
// data, the process heap, the Windows and system directories, and the shell.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

constexpr DWORD FakeModuleNameError = ERROR_MOD_NOT_FOUND;           // 126
constexpr DWORD FakeNoVersionError = ERROR_RESOURCE_TYPE_NOT_FOUND;  // 1813
constexpr DWORD FakeVersionReadError = ERROR_ACCESS_DENIED;          // 5
constexpr DWORD FakeDirectoryError = ERROR_PATH_NOT_FOUND;           // 3
constexpr DWORD FakeShellError = ERROR_NO_ASSOCIATION;               // 1155
// Where the fake GetFileVersionInfoW puts the fixed part, as the system does.
constexpr DWORD FakeFixedInfoOffset = 40;

struct FileScenario {
    // GetModuleFileNameW
    std::wstring moduleFileName = L"C:\\Program Files\\Quell\\Quell.dll";
    bool moduleFileNameFails = false;

    // GetFileVersionInfoSizeW / GetFileVersionInfoW / VerQueryValueA
    DWORD versionDataSize = 0x2F4;  // 0: the file has no version data
    bool versionReadFails = false;
    bool versionQueryFails = false;
    // The built file's version: the project's (QUELL_PROJECT_VERSION_*, set by the build).
    DWORD fileVersionMS = QUELL_PROJECT_VERSION_MAJOR << 16 | QUELL_PROJECT_VERSION_MINOR;
    DWORD fileVersionLS = QUELL_PROJECT_VERSION_PATCH << 16 | QUELL_PROJECT_VERSION_TWEAK;

    // HeapAlloc/HeapReAlloc/HeapFree on the process heap: allocation number
    // failAllocation (1-based, HeapAlloc and HeapReAlloc counted together)
    // returns null; 0 fails none.
    int failAllocation = 0;

    // GetSystemDirectoryA: where the system's own libraries are; empty: the call fails.
    std::string systemDirectory = "C:\\WINDOWS\\system32";

    // GetWindowsDirectoryA: the directory, or a failure; reportedLength
    // replaces the length the fake would return.
    std::string windowsDirectory = "C:\\WINDOWS";
    bool windowsDirectoryFails = false;
    std::optional<UINT> reportedLength;

    // GetFileAttributesA: the files that exist (full paths, any case).
    std::set<std::string> existingFiles;

    // ShellExecuteA never reaches the system; its log text is "operation|file".
    uintptr_t shellResult = 42;

    // Observed state.
    int allocations = 0;                  // HeapAlloc and HeapReAlloc calls
    std::map<void *, size_t> liveBlocks;  // allocated through the fakes, not yet freed
    int foreignFrees = 0;                 // free of a block the fakes did not hand out
};

extern FileScenario g_files;

// A path of the fake Windows directory and name, joined with one backslash.
std::string WindowsPath(const std::string &name);
// The full path of a library in the fake system directory.
std::string SystemPath(const std::string &name);
// The handle that the fake GetProcessHeap gives.
HANDLE FakeProcessHeap();
