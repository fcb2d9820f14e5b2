// DllGetVersion: the fixed file version of the library's own file on disk.
#include <stdlib.h>

#include "frame/library.h"

struct _DLLVERSIONINFO {
    DWORD cbSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformID;
};

namespace {
constexpr DWORD PathGrowth = MAX_PATH;  // characters added per attempt
constexpr DWORD DllVerPlatformWindows = 1;

// Both buffers come from msvcrt's heap, which serves every thread.
struct VersionBuffers {
    WCHAR *path;
    void *block;
};

// Reads the library's full file name into buffers.path, growing it until the
// name fits: a result equal to the capacity means the name was cut.
HRESULT ReadOwnFileName(VersionBuffers &buffers) {
    DWORD capacity = 0;
    for (;;) {
        capacity += PathGrowth;
        // On failure realloc leaves the old block in place; it stays in buffers.path to be freed.
        void *grown = buffers.path ? realloc(buffers.path, capacity * sizeof(WCHAR)) : malloc(capacity * sizeof(WCHAR));
        if (!grown) return E_OUTOFMEMORY;
        buffers.path = static_cast<WCHAR *>(grown);
        DWORD length = GetModuleFileNameW(LibraryInstance, buffers.path, capacity);
        // No name at all: the buffer must not be passed on as one.
        if (length == 0) return E_FAIL;
        if (length < capacity) return S_OK;
    }
}

HRESULT ReadFixedFileVersion(VersionBuffers &buffers, DWORD &versionMS, DWORD &versionLS) {
    HRESULT result = ReadOwnFileName(buffers);
    if (result != S_OK) return result;
    DWORD unused;
    DWORD size = GetFileVersionInfoSizeW(buffers.path, &unused);
    if (size == 0) return E_FAIL;
    buffers.block = malloc(size);
    if (!buffers.block) return E_OUTOFMEMORY;
    if (!GetFileVersionInfoW(buffers.path, 0, size, buffers.block)) return E_FAIL;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length;
    if (!VerQueryValueA(buffers.block, nullptr, reinterpret_cast<void **>(&fixed), &length) || !fixed)
        return E_POINTER;
    versionMS = fixed->dwFileVersionMS;
    versionLS = fixed->dwFileVersionLS;
    return S_OK;
}
}  // namespace

// Reads the version resource afresh on every call; nothing is cached.
HRESULT WINAPI DllGetVersion(_DLLVERSIONINFO *info) {
    if (!info || info->cbSize != sizeof *info) return E_INVALIDARG;
    VersionBuffers buffers = {nullptr, nullptr};
    DWORD versionMS = 0, versionLS = 0;
    HRESULT result = ReadFixedFileVersion(buffers, versionMS, versionLS);
    if (buffers.block) free(buffers.block);
    if (buffers.path) free(buffers.path);
    // The caller's record is written last, once nothing is left to release.
    if (result == S_OK) {
        info->dwMajorVersion = versionMS >> 16;
        info->dwMinorVersion = versionMS & 0xFFFF;
        info->dwBuildNumber = versionLS >> 16;
        info->dwPlatformID = DllVerPlatformWindows;
    }
    return result;
}
