// DllGetVersion: the fixed file version of the library's own file on disk.
#include "latebound/groups.h"

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

// Windows 95/98/Me implement the ANSI forms only; the NT family reads every
// file name in Unicode. A system of neither family takes the Unicode path.
bool AnsiOnly() { return OsVersion.dwPlatformId == PlatformWin9x; }

using QueryValueEntry = BOOL(WINAPI *)(LPCVOID, LPCSTR, LPVOID *, PUINT);

// How the file name and its version data are read, in one character set: the
// kernel32 function, and the slots of the version.dll functions.
template <typename Char> struct FileVersionReading {
    DWORD(WINAPI *moduleFileName)(HMODULE, Char *, DWORD);
    unsigned infoSizeSlot, infoSlot;
};

// Both buffers come from the process heap, which serves every thread.
struct VersionBuffers {
    HANDLE heap;
    void *path;
    void *block;
};

// Reads the library's full file name into buffers.path, growing it until the
// name fits: a result equal to the capacity means the name was cut.
template <typename Char> HRESULT ReadOwnFileName(const FileVersionReading<Char> &reading, VersionBuffers &buffers) {
    DWORD capacity = 0;
    for (;;) {
        capacity += PathGrowth;
        // On failure HeapReAlloc leaves the old block in place; it stays in buffers.path to be freed.
        void *grown = buffers.path ? HeapReAlloc(buffers.heap, 0, buffers.path, capacity * sizeof(Char))
                                   : HeapAlloc(buffers.heap, 0, capacity * sizeof(Char));
        if (!grown) return E_OUTOFMEMORY;
        buffers.path = grown;
        DWORD length = reading.moduleFileName(LibraryInstance, static_cast<Char *>(buffers.path), capacity);
        // No name at all: the buffer must not be passed on as one.
        if (length == 0) return E_FAIL;
        if (length < capacity) return S_OK;
    }
}

template <typename Char> HRESULT ReadFixedFileVersion(const FileVersionReading<Char> &reading, VersionBuffers &buffers,
                                                      DWORD &versionMS, DWORD &versionLS) {
    HRESULT result = ReadOwnFileName(reading, buffers);
    if (result != S_OK) return result;
    // version.dll is loaded only now, from the system directory.
    if (!Load(VersionGroup)) return E_FAIL;
    auto infoSize = EntryPoint<DWORD(WINAPI *)(const Char *, LPDWORD)>(VersionGroup, reading.infoSizeSlot);
    auto info = EntryPoint<BOOL(WINAPI *)(const Char *, DWORD, DWORD, LPVOID)>(VersionGroup, reading.infoSlot);
    auto queryValue = EntryPoint<QueryValueEntry>(VersionGroup, QueryValueSlot);
    if (!infoSize || !info || !queryValue) return E_FAIL;

    const Char *path = static_cast<const Char *>(buffers.path);
    DWORD unused;
    DWORD size = infoSize(path, &unused);
    if (size == 0) return E_FAIL;
    buffers.block = HeapAlloc(buffers.heap, 0, size);
    if (!buffers.block) return E_OUTOFMEMORY;
    if (!info(path, 0, size, buffers.block)) return E_FAIL;
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length;
    if (!queryValue(buffers.block, nullptr, reinterpret_cast<void **>(&fixed), &length) || !fixed) return E_POINTER;
    versionMS = fixed->dwFileVersionMS;
    versionLS = fixed->dwFileVersionLS;
    return S_OK;
}
}  // namespace

// Reads the version resource afresh on every call; nothing is cached.
HRESULT WINAPI DllGetVersion(_DLLVERSIONINFO *info) {
    if (!info || info->cbSize != sizeof *info) return E_INVALIDARG;
    VersionBuffers buffers = {GetProcessHeap(), nullptr, nullptr};
    if (!buffers.heap) return E_OUTOFMEMORY;
    DWORD versionMS = 0, versionLS = 0;
    HRESULT result = AnsiOnly()
                         ? ReadFixedFileVersion(FileVersionReading<char>{GetModuleFileNameA, InfoSizeASlot, InfoASlot},
                                                buffers, versionMS, versionLS)
                         : ReadFixedFileVersion(FileVersionReading<WCHAR>{GetModuleFileNameW, InfoSizeWSlot, InfoWSlot},
                                                buffers, versionMS, versionLS);
    if (buffers.block) HeapFree(buffers.heap, 0, buffers.block);
    if (buffers.path) HeapFree(buffers.heap, 0, buffers.path);
    // The caller's record is written last, once nothing is left to release.
    if (result == S_OK) {
        info->dwMajorVersion = versionMS >> 16;
        info->dwMinorVersion = versionMS & 0xFFFF;
        info->dwBuildNumber = versionLS >> 16;
        info->dwPlatformID = DllVerPlatformWindows;
    }
    return result;
}
