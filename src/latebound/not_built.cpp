// Exports whose operations are not built yet: each gives the not-available
// answer of its result kind.
#include "frame/library.h"

int WINAPI ShutdownDialog(HWND) { return 0; }
int WINAPI RestartDialog(HWND, LPCWSTR, DWORD) { return 0; }

DWORD WINAPI InitiateShutdownW(LPWSTR, LPWSTR, DWORD, DWORD, DWORD) { return ERROR_INVALID_FUNCTION; }
DWORD WINAPI InitiateShutdownA(LPSTR, LPSTR, DWORD, DWORD, DWORD) { return ERROR_INVALID_FUNCTION; }
BOOL WINAPI InitiateSystemShutdownExW(LPWSTR, LPWSTR, DWORD, BOOL, BOOL, DWORD) { return NotAvailable(); }
BOOL WINAPI InitiateSystemShutdownExA(LPSTR, LPSTR, DWORD, BOOL, BOOL, DWORD) { return NotAvailable(); }
BOOL WINAPI ShutdownBlockReasonQuery(HWND, LPWSTR, DWORD *) { return NotAvailable(); }
BOOL WINAPI ShutdownBlockReasonDestroy(HWND) { return NotAvailable(); }
BOOL WINAPI ShutdownBlockReasonCreate(HWND, LPCWSTR) { return NotAvailable(); }
BOOL WINAPI LockWorkStation() { return NotAvailable(); }

BOOL WINAPI LocalAbortSystemShutdown() { return NotAvailable(); }
BOOL WINAPI LocalInitSystemRebootW(LPWSTR, DWORD, BOOL) { return NotAvailable(); }
BOOL WINAPI LocalInitSystemRebootA(LPSTR, DWORD, BOOL) { return NotAvailable(); }
BOOL WINAPI LocalInitSystemShutdownW(LPWSTR, DWORD, BOOL) { return NotAvailable(); }
BOOL WINAPI LocalInitSystemShutdownA(LPSTR, DWORD, BOOL) { return NotAvailable(); }

// No late-bound group exists yet.
void UnloadLateBoundGroups() {}
