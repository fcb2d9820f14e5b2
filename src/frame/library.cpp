// The image's entry routine, the system version record and the detach step.
#include "frame/library.h"

constinit OSVERSIONINFOA OsVersion = {};
constinit HINSTANCE LibraryInstance = nullptr;

static void LibraryEntryHandler(int reason) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Zero but for its size when the query fails: then no family matches.
        OsVersion = OSVERSIONINFOA{};
        OsVersion.dwOSVersionInfoSize = sizeof OsVersion;
        GetVersionExA(&OsVersion);
        break;
    case DLL_PROCESS_DETACH:
        UnloadLateBoundGroups();
        break;
    default:
        break;
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
