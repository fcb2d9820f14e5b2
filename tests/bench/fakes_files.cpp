// Fakes of the file system, the module's own file, its version data, the shell
// and the C runtime's heap.
#include "bench/fakes_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench/fake_platform.h"

FileScenario g_files;

void ResetFileScenario() {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    g_files = FileScenario{};
}

std::string WindowsPath(const std::string &name) {
    std::string dir = g_files.windowsDirectory;
    if (dir.empty() || dir.back() != '\\') dir += '\\';
    return dir + name;
}

namespace {

// The library must hand the system only live blocks of the size it claims.
bool IsLiveBlock(const void *block, size_t bytes, const char *caller) {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    auto live = g_files.liveBlocks.find(const_cast<void *>(block));
    if (live == g_files.liveBlocks.end()) {
        ADD_FAILURE() << caller << " got " << block << ", not a live heap block";
        return false;
    }
    if (live->second < bytes) {
        ADD_FAILURE() << caller << " was told of " << bytes << " bytes in a block of " << live->second;
        return false;
    }
    return true;
}

bool NextAllocationFails() {
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    return ++g_files.allocations == g_files.failAllocation;
}

// msvcrt

void *__cdecl FakeMalloc(size_t size) {
    bool fail = LogCall("malloc", {size});
    if (NextAllocationFails() || fail) return nullptr;
    void *block = malloc(size ? size : 1);
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (block) g_files.liveBlocks[block] = size;
    return block;
}

// A failed realloc leaves the old block allocated and unchanged.
void *__cdecl FakeRealloc(void *old, size_t size) {
    bool fail = LogCall("realloc", {Raw(old), size});
    if (NextAllocationFails() || fail) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (old && !g_files.liveBlocks.count(old)) {
        ++g_files.foreignFrees;
        return nullptr;
    }
    void *block = realloc(old, size ? size : 1);
    if (block) {
        g_files.liveBlocks.erase(old);
        g_files.liveBlocks[block] = size;
    }
    return block;
}

void __cdecl FakeFree(void *block) {
    LogCall("free", {Raw(block)});
    if (!block) return;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (!g_files.liveBlocks.erase(block)) {
        ++g_files.foreignFrees;  // never handed to the real free: a double free would corrupt the heap
        return;
    }
    free(block);
}

// kernel32: the module's own file

// Like Windows: a name that does not fit is cut to size - 1 characters and
// the size is returned.
DWORD WINAPI FakeGetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    if (LogCall("GetModuleFileNameW", {Raw(module), Raw(buffer), size})) return 0;
    if (g_files.moduleFileNameFails) {
        SetLastError(FakeModuleNameError);
        return 0;
    }
    if (!buffer || size == 0 || !IsLiveBlock(buffer, size * sizeof(WCHAR), "GetModuleFileNameW")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring &name = g_files.moduleFileName;
    if (name.size() < size) {
        wmemcpy(buffer, name.c_str(), name.size() + 1);
        return (DWORD)name.size();
    }
    wmemcpy(buffer, name.c_str(), size - 1);
    buffer[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

// version: a cut or wrong name names no file

bool IsModuleFile(LPCWSTR name) {
    if (name && g_files.moduleFileName == name) return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

DWORD WINAPI FakeGetFileVersionInfoSizeW(LPCWSTR name, LPDWORD handle) {
    bool fail = LogCall("GetFileVersionInfoSizeW", {Raw(name), Raw(handle)}, Narrow(name));
    if (handle) *handle = 0;
    if (fail) return 0;
    if (!IsModuleFile(name)) return 0;
    if (g_files.versionDataSize == 0) SetLastError(FakeNoVersionError);
    return g_files.versionDataSize;
}

// Lays the block out as the system does: a VS_VERSIONINFO header, the key, then
// the fixed part at offset 40. Whatever does not fit in length is left out.
BOOL WINAPI FakeGetFileVersionInfoW(LPCWSTR name, DWORD handle, DWORD length, LPVOID data) {
    if (LogCall("GetFileVersionInfoW", {Raw(name), handle, length, Raw(data)}, Narrow(name))) return FALSE;
    if (!IsModuleFile(name)) return FALSE;
    if (g_files.versionReadFails) {
        SetLastError(FakeVersionReadError);
        return FALSE;
    }
    if (!data || !IsLiveBlock(data, length, "GetFileVersionInfoW")) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<BYTE> image(std::max<DWORD>(length, FakeFixedInfoOffset + sizeof(VS_FIXEDFILEINFO)), 0xCD);
    const WORD header[3] = {(WORD)length, sizeof(VS_FIXEDFILEINFO), 0};
    memcpy(image.data(), header, sizeof header);
    memcpy(image.data() + 6, L"VS_VERSION_INFO", 32);
    VS_FIXEDFILEINFO fixed{};
    fixed.dwSignature = VS_FFI_SIGNATURE;
    fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    fixed.dwFileVersionMS = g_files.fileVersionMS;
    fixed.dwFileVersionLS = g_files.fileVersionLS;
    memcpy(image.data() + FakeFixedInfoOffset, &fixed, sizeof fixed);
    memcpy(data, image.data(), length);
    return TRUE;
}

// Answers the root block of a block that GetFileVersionInfoW filled.
BOOL WINAPI FakeVerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *value, PUINT length) {
    if (LogCall("VerQueryValueA", {Raw(block), Raw(subBlock), Raw(value), Raw(length)}, subBlock ? subBlock : ""))
        return FALSE;
    if (g_files.versionQueryFails || !block) return FALSE;
    const bool root = !subBlock || !*subBlock || strcmp(subBlock, "\\") == 0;
    auto *bytes = static_cast<const BYTE *>(block);
    if (!root || ((const WORD *)bytes)[0] < FakeFixedInfoOffset + sizeof(VS_FIXEDFILEINFO) ||
        memcmp(bytes + 6, L"VS_VERSION_INFO", 32) != 0)
        return FALSE;
    if (value) *value = const_cast<BYTE *>(bytes + FakeFixedInfoOffset);
    if (length) *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}

// kernel32: the Windows directory and its files

// Like Windows: the length without the NUL when it fits, else the size needed.
UINT WINAPI FakeGetWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (LogCall("GetWindowsDirectoryA", {Raw(buffer), size})) return 0;
    if (g_files.windowsDirectoryFails) {
        SetLastError(FakeDirectoryError);
        return 0;
    }
    const std::string &dir = g_files.windowsDirectory;
    UINT result = (UINT)dir.size() + 1;
    if (buffer && size > dir.size()) {
        memcpy(buffer, dir.c_str(), dir.size() + 1);
        result = (UINT)dir.size();
    }
    return g_files.reportedLength.value_or(result);
}

DWORD WINAPI FakeGetFileAttributesA(LPCSTR path) {
    if (LogCall("GetFileAttributesA", {Raw(path)}, path ? path : "")) return INVALID_FILE_ATTRIBUTES;
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    for (const std::string &file : g_files.existingFiles)
        if (_stricmp(file.c_str(), path) == 0) return FILE_ATTRIBUTE_ARCHIVE;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

// shell32: records the request and answers as configured

HINSTANCE WINAPI FakeShellExecuteA(HWND window, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                                   LPCSTR directory, INT show) {
    // Made to fail, it answers 32 (SE_ERR_DLLNOTFOUND): the highest failure value.
    if (LogCall("ShellExecuteA", {Raw(window), Raw(operation), Raw(file), Raw(parameters), Raw(directory), Raw(show)},
                std::string(operation ? operation : "<null>") + "|" + (file ? file : "<null>")))
        return (HINSTANCE)SE_ERR_DLLNOTFOUND;
    if (g_files.shellResult <= 32) SetLastError(FakeShellError);
    return (HINSTANCE)g_files.shellResult;
}

}  // namespace

const std::vector<FakeFunction> FileFakes = {
    {"msvcrt.dll", "malloc", (void *)FakeMalloc},
    {"msvcrt.dll", "realloc", (void *)FakeRealloc},
    {"msvcrt.dll", "free", (void *)FakeFree},
    {"kernel32.dll", "GetModuleFileNameW", (void *)FakeGetModuleFileNameW},
    {"kernel32.dll", "GetWindowsDirectoryA", (void *)FakeGetWindowsDirectoryA},
    {"kernel32.dll", "GetFileAttributesA", (void *)FakeGetFileAttributesA},
    {"version.dll", "GetFileVersionInfoSizeW", (void *)FakeGetFileVersionInfoSizeW},
    {"version.dll", "GetFileVersionInfoW", (void *)FakeGetFileVersionInfoW},
    {"version.dll", "VerQueryValueA", (void *)FakeVerQueryValueA},
    {"shell32.dll", "ShellExecuteA", (void *)FakeShellExecuteA},
};
