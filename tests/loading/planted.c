/* A stand-in for a system library, planted beside a program to see whether
 * anything loads it. It only writes down what happened to it, one line each,
 * in "<its own file name>.log": "attach" when it is loaded, then the name of
 * every function called. Each function then fails without doing anything.
 * Built once as powrprof.dll (PLANTED_POWRPROF) and once as version.dll
 * (PLANTED_VERSION), with the exports a caller of that library looks up. */
#include <windows.h>

static HINSTANCE Self;

static void Record(const char *line) {
    char path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(Self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    lstrcatA(path, ".log");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(log, line, lstrlenA(line), &written, NULL);
    WriteFile(log, "\n", 1, &written, NULL);
    CloseHandle(log);
}

static BOOL Refuse(const char *function) {
    Record(function);
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        Self = instance;
        Record("attach");
    }
    return TRUE;
}

#ifdef PLANTED_POWRPROF
__declspec(dllexport) BOOLEAN WINAPI IsPwrSuspendAllowed(void) { return (BOOLEAN)Refuse("IsPwrSuspendAllowed"); }
__declspec(dllexport) BOOLEAN WINAPI IsPwrHibernateAllowed(void) { return (BOOLEAN)Refuse("IsPwrHibernateAllowed"); }
__declspec(dllexport) BOOLEAN WINAPI SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
    (void)hibernate, (void)force, (void)wakeupEventsDisabled;
    return (BOOLEAN)Refuse("SetSuspendState");
}
__declspec(dllexport) BOOLEAN WINAPI GetPwrCapabilities(void *capabilities) {
    (void)capabilities;
    return (BOOLEAN)Refuse("GetPwrCapabilities");
}
#endif

#ifdef PLANTED_VERSION
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle) {
    (void)file, (void)handle;
    return Refuse("GetFileVersionInfoSizeA");
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle) {
    (void)file, (void)handle;
    return Refuse("GetFileVersionInfoSizeW");
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data) {
    (void)file, (void)handle, (void)size, (void)data;
    return Refuse("GetFileVersionInfoA");
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data) {
    (void)file, (void)handle, (void)size, (void)data;
    return Refuse("GetFileVersionInfoW");
}
__declspec(dllexport) BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, PUINT length) {
    (void)block, (void)subBlock, (void)buffer, (void)length;
    return Refuse("VerQueryValueA");
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID *buffer, PUINT length) {
    (void)block, (void)subBlock, (void)buffer, (void)length;
    return Refuse("VerQueryValueW");
}
#endif
