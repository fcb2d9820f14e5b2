// The image's entry routine, the system version record and the detach step.
#include "frame/library.h"

constinit OSVERSIONINFOA OsVersion = {};
constinit HINSTANCE LibraryInstance = nullptr;

static void LibraryEntryHandler(int reason) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // The numbers stay zero when the query fails: then no family matches.
        // Field by field: a whole-record reset becomes a memset call, and no
        // C runtime is linked to provide one.
        OsVersion.dwMajorVersion = OsVersion.dwMinorVersion = OsVersion.dwBuildNumber = OsVersion.dwPlatformId = 0;
        OsVersion.dwOSVersionInfoSize = sizeof OsVersion;
        GetVersionExA(&OsVersion);
        break;
    case DLL_PROCESS_DETACH: UnloadLateBoundGroups(); break;
    default: break;
    }
}

// The image's entry point. The library has no static constructors or
// destructors (every global is constinit), so starting and finalising the
// runtime comes down to recording the module handle.
extern "C" BOOL WINAPI LibraryMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) LibraryInstance = instance;
    LibraryEntryHandler(static_cast<int>(reason));
    return TRUE;
}
