// Fakes of the file system, the module's own file, its version data, the shell
// and the process heap.
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

std::string SystemPath(const std::string &name) { return g_files.systemDirectory + "\\" + name; }

// Never a real heap's handle.
HANDLE FakeProcessHeap() { return (HANDLE)FakeHandle(0x4EA70010); }

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

// kernel32: the process heap. Blocks come from the test's own heap; the
// library must name the process heap that GetProcessHeap gave it.

HANDLE WINAPI FakeGetProcessHeap() {
    if (LogCall("GetProcessHeap", {})) return nullptr;
    return FakeProcessHeap();
}

bool IsProcessHeap(HANDLE heap, const char *caller) {
    if (heap == FakeProcessHeap()) return true;
    ADD_FAILURE() << caller << " on heap " << heap << ", not the process heap";
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
}

LPVOID WINAPI FakeHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    bool fail = LogCall("HeapAlloc", {Raw(heap), flags, size});
    if (NextAllocationFails() || fail || !IsProcessHeap(heap, "HeapAlloc")) return nullptr;
    void *block = malloc(size ? size : 1);
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (block) g_files.liveBlocks[block] = size;
    return block;
}

// A failed HeapReAlloc leaves the old block allocated and unchanged.
LPVOID WINAPI FakeHeapReAlloc(HANDLE heap, DWORD flags, LPVOID old, SIZE_T size) {
    bool fail = LogCall("HeapReAlloc", {Raw(heap), flags, Raw(old), size});
    if (NextAllocationFails() || fail || !IsProcessHeap(heap, "HeapReAlloc")) return nullptr;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (!old || !g_files.liveBlocks.count(old)) {
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

BOOL WINAPI FakeHeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    LogCall("HeapFree", {Raw(heap), flags, Raw(block)});
    if (!IsProcessHeap(heap, "HeapFree")) return FALSE;
    if (!block) return TRUE;
    std::lock_guard<std::recursive_mutex> guard(g_fakeLock);
    if (!g_files.liveBlocks.erase(block)) {
        ++g_files.foreignFrees;  // never handed to the real free: a double free would corrupt the heap
        return FALSE;
    }
    free(block);
    return TRUE;
}

// kernel32: the module's own file

// Like Windows: a name that does not fit is cut to size - 1 characters and
// the size is returned.
template <typename Char> DWORD ModuleFileName(const char *fn, HMODULE module, Char *buffer, DWORD size) {
    if (LogCall(fn, {Raw(module), Raw(buffer), size})) return 0;
    if (sizeof(Char) == 2 && UnicodeMissing()) return 0;
    if (g_files.moduleFileNameFails) {
        SetLastError(FakeModuleNameError);
        return 0;
    }
    if (!buffer || size == 0 || !IsLiveBlock(buffer, size * sizeof(Char), fn)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring &name = g_files.moduleFileName;
    DWORD copied = (DWORD)std::min<size_t>(name.size(), size - 1);
    for (DWORD i = 0; i < copied; ++i) buffer[i] = (Char)name[i];
    buffer[copied] = 0;
    if (name.size() < size) return copied;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

DWORD WINAPI FakeGetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
    return ModuleFileName("GetModuleFileNameW", module, buffer, size);
}

DWORD WINAPI FakeGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    return ModuleFileName("GetModuleFileNameA", module, buffer, size);
}

// version: a cut or wrong name names no file

std::string Text(const char *name) { return name ? name : ""; }
std::string Text(const wchar_t *name) { return Narrow(name); }

template <typename Char> bool IsModuleFile(const Char *name) {
    if (name &&
        std::equal(g_files.moduleFileName.begin(), g_files.moduleFileName.end(), name,
                   [](wchar_t a, Char b) { return (Char)a == b; }) &&
        !name[g_files.moduleFileName.size()])
        return true;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

template <typename Char> DWORD VersionInfoSize(const char *fn, const Char *name, LPDWORD handle) {
    bool fail = LogCall(fn, {Raw(name), Raw(handle)}, Text(name));
    if (handle) *handle = 0;
    if (fail) return 0;
    if (sizeof(Char) == 2 && UnicodeMissing()) return 0;
    if (!IsModuleFile(name)) return 0;
    if (g_files.versionDataSize == 0) SetLastError(FakeNoVersionError);
    return g_files.versionDataSize;
}

DWORD WINAPI FakeGetFileVersionInfoSizeW(LPCWSTR name, LPDWORD handle) {
    return VersionInfoSize("GetFileVersionInfoSizeW", name, handle);
}

DWORD WINAPI FakeGetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle) {
    return VersionInfoSize("GetFileVersionInfoSizeA", name, handle);
}

// Lays the block out as the system does: a VS_VERSIONINFO header, the key, then
// the fixed part at offset 40. Whatever does not fit in length is left out.
template <typename Char> BOOL VersionInfo(const char *fn, const Char *name, DWORD handle, DWORD length, LPVOID data) {
    if (LogCall(fn, {Raw(name), handle, length, Raw(data)}, Text(name))) return FALSE;
    if (sizeof(Char) == 2 && UnicodeMissing()) return FALSE;
    if (!IsModuleFile(name)) return FALSE;
    if (g_files.versionReadFails) {
        SetLastError(FakeVersionReadError);
        return FALSE;
    }
    if (!data || !IsLiveBlock(data, length, fn)) {
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

BOOL WINAPI FakeGetFileVersionInfoW(LPCWSTR name, DWORD handle, DWORD length, LPVOID data) {
    return VersionInfo("GetFileVersionInfoW", name, handle, length, data);
}

BOOL WINAPI FakeGetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD length, LPVOID data) {
    return VersionInfo("GetFileVersionInfoA", name, handle, length, data);
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

UINT WINAPI FakeGetSystemDirectoryA(LPSTR buffer, UINT size) {
    if (LogCall("GetSystemDirectoryA", {Raw(buffer), size})) return 0;
    const std::string &dir = g_files.systemDirectory;
    if (dir.empty()) {
        SetLastError(FakeDirectoryError);
        return 0;
    }
    if (!buffer || size <= dir.size()) return (UINT)dir.size() + 1;
    memcpy(buffer, dir.c_str(), dir.size() + 1);
    return (UINT)dir.size();
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

HINSTANCE WINAPI FakeShellExecuteA(HWND window, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                   INT show) {
    // Made to fail, it answers 32 (SE_ERR_DLLNOTFOUND): the highest failure value.
    if (LogCall("ShellExecuteA", {Raw(window), Raw(operation), Raw(file), Raw(parameters), Raw(directory), Raw(show)},
                std::string(operation ? operation : "<null>") + "|" + (file ? file : "<null>")))
        return (HINSTANCE)SE_ERR_DLLNOTFOUND;
    if (g_files.shellResult <= 32) SetLastError(FakeShellError);
    return (HINSTANCE)g_files.shellResult;
}

}  // namespace

const std::vector<FakeFunction> FileFakes = {
    {"kernel32.dll", "GetProcessHeap", (void *)FakeGetProcessHeap},
    {"kernel32.dll", "HeapAlloc", (void *)FakeHeapAlloc},
    {"kernel32.dll", "HeapReAlloc", (void *)FakeHeapReAlloc},
    {"kernel32.dll", "HeapFree", (void *)FakeHeapFree},
    {"kernel32.dll", "GetModuleFileNameA", (void *)FakeGetModuleFileNameA},
    {"kernel32.dll", "GetSystemDirectoryA", (void *)FakeGetSystemDirectoryA},
    {"kernel32.dll", "GetModuleFileNameW", (void *)FakeGetModuleFileNameW},
    {"kernel32.dll", "GetWindowsDirectoryA", (void *)FakeGetWindowsDirectoryA},
    {"kernel32.dll", "GetFileAttributesA", (void *)FakeGetFileAttributesA},
    {"version.dll", "GetFileVersionInfoSizeW", (void *)FakeGetFileVersionInfoSizeW},
    {"version.dll", "GetFileVersionInfoW", (void *)FakeGetFileVersionInfoW},
    {"version.dll", "GetFileVersionInfoSizeA", (void *)FakeGetFileVersionInfoSizeA},
    {"version.dll", "GetFileVersionInfoA", (void *)FakeGetFileVersionInfoA},
    {"version.dll", "VerQueryValueA", (void *)FakeVerQueryValueA},
    {"shell32.dll", "ShellExecuteA", (void *)FakeShellExecuteA},
};
