// The system functions that the library binds through its import table.
// <windows.h> is not used: its headers declare system functions under the very
// names that this library exports as forwarders (LockWorkStation, ...).
#pragma once

#include <windef.h>
#include <winbase.h>
#include <winver.h>

extern "C" {
// user32
DECLSPEC_IMPORT BOOL WINAPI ExitWindowsEx(UINT uFlags, DWORD dwReason);
// advapi32, timed shutdown
DECLSPEC_IMPORT BOOL WINAPI InitiateSystemShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                                    BOOL bForceAppsClosed, BOOL bRebootAfterShutdown);
DECLSPEC_IMPORT BOOL WINAPI InitiateSystemShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                                                    BOOL bForceAppsClosed, BOOL bRebootAfterShutdown);
DECLSPEC_IMPORT BOOL WINAPI AbortSystemShutdownA(LPSTR lpMachineName);
// shell32
DECLSPEC_IMPORT HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                                               LPCSTR lpDirectory, INT nShowCmd);
}
