// Restarting Windows 95/98/Me into MS-DOS mode by opening the shortcut that
// the system keeps for it in the Windows directory.
#include "frame/library.h"

namespace {
// Tried in this order; the second is written over the first.
constexpr char MsDosModeName[] = "MS-DOS-MODUS.PIF";
constexpr char ExitToDosName[] = "EXIT TO DOS.PIF";
constexpr DWORD MsDosModeLength = sizeof MsDosModeName - 1;  // 16
constexpr DWORD ExitToDosLength = sizeof ExitToDosName - 1;  // 15
constexpr INT ShowDefault = 10;                              // SW_SHOWDEFAULT

void CopyName(char *to, const char *name) {
    while ((*to++ = *name++) != '\0') {
    }
}

bool Exists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

// The length of the first shortcut path found, 0 when there is none or the
// Windows directory cannot be read. The path and its NUL are copied to out
// only when they fit; the length is returned either way.
DWORD FindMsDosModeShortcut(char *out, DWORD outSize) {
    // A directory of up to MAX_PATH - 1 characters, a backslash, the longer
    // name and its NUL.
    char path[MAX_PATH + sizeof MsDosModeName];
    DWORD n = GetWindowsDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return 0;
    if (path[n - 1] != '\\') path[n++] = '\\';
    path[n] = '\0';

    DWORD length = 0;
    if (n <= MAX_PATH - MsDosModeLength) {
        CopyName(path + n, MsDosModeName);
        if (Exists(path)) length = n + MsDosModeLength;
    }
    if (length == 0 && n <= MAX_PATH - ExitToDosLength) {
        CopyName(path + n, ExitToDosName);
        if (Exists(path)) length = n + ExitToDosLength;
    }
    if (length == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    if (out && outSize >= length + 1)
        for (DWORD i = 0; i <= length; ++i) out[i] = path[i];
    return length;
}
}  // namespace

BOOL WINAPI CheckMsDosModus() {
    if (OsVersion.dwPlatformId != PlatformWin9x) return 0;
    return AsBoolean(FindMsDosModeShortcut(nullptr, 0) > 0);
}

BOOL WINAPI WindowsMsDosModus() {
    if (OsVersion.dwPlatformId != PlatformWin9x) return 0;
    char path[MAX_PATH];
    path[0] = '\0';  // stays empty unless the whole path and its NUL were delivered
    if (FindMsDosModeShortcut(path, sizeof path) == 0) return 0;
    // A path of MAX_PATH characters does not fit, and no system call could take it anyway.
    if (path[0] == '\0') {
        SetLastError(ERROR_INVALID_NAME);
        return 0;
    }
    HINSTANCE shell = ShellExecuteA(nullptr, "open", path, nullptr, nullptr, ShowDefault);
    return AsBoolean(reinterpret_cast<UINT_PTR>(shell) > 32);
}
