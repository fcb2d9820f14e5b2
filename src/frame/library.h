// Process-wide state and conventions shared by every export.
#pragma once

#include "frame/system.h"

#define QUELL_BUILD
#include "Quell.h"

// Filled once at process attach, read-only afterwards.
extern OSVERSIONINFOA OsVersion;
extern HINSTANCE LibraryInstance;

constexpr DWORD PlatformWin9x = VER_PLATFORM_WIN32_WINDOWS;  // 1
constexpr DWORD PlatformNT = VER_PLATFORM_WIN32_NT;          // 2

inline bool IsNtFamily() { return OsVersion.dwPlatformId == PlatformNT; }

// The library's own boolean: -1 for true, never 1.
inline BOOL AsBoolean(bool value) { return value ? -1 : 0; }

// The answer of an operation that the running system does not offer.
inline BOOL NotAvailable() {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

// The answer of a request that the system says its machine cannot serve.
inline BOOL NotSupported() {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

// Process detach releases the late-bound groups.
void UnloadLateBoundGroups();
