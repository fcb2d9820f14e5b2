/* Loaded by loading_host's second thread while the first thread is about to
 * make the first call of Quell.dll's powrprof.dll group. Its attach step runs
 * under the loader lock and makes a first call of the same group too: the
 * first thread's load of the group's library then waits for this lock, and
 * this call must not wait for that thread. The two sides meet on the host's
 * events "QuellLoaderLock-<process id>-held" and "-calling". */
#include <windows.h>

/* How long either side waits for the other before giving up the arrangement. */
#define HandshakeMilliseconds 5000
/* The host's next step after "calling" is the export's LoadLibraryA, which
 * then waits for this lock: this gives it time to get there. */
#define CallerHeadStartMilliseconds 50

static LONG Answer = -1;

/* What the export answered inside the attach step; -1: it was not called. */
__declspec(dllexport) LONG WINAPI LoaderLockHelperAnswer(void) { return Answer; }

static HANDLE OpenHostEvent(const char *suffix) {
    char name[64];
    wsprintfA(name, "QuellLoaderLock-%lu-%s", GetCurrentProcessId(), suffix); /* no C runtime on arm64 */
    return OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance, (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    HANDLE held = OpenHostEvent("held"), calling = OpenHostEvent("calling");
    if (held && calling) {
        SetEvent(held);
        if (WaitForSingleObject(calling, HandshakeMilliseconds) == WAIT_OBJECT_0) {
            Sleep(CallerHeadStartMilliseconds);
            FARPROC entry = GetProcAddress(GetModuleHandleA("Quell.dll"), "IsPwrHibernateAllowed");
            if (entry) Answer = ((BOOLEAN(WINAPI *)(void))(void *)entry)();
        }
    }
    if (held) CloseHandle(held);
    if (calling) CloseHandle(calling);
    return TRUE;
}
