/*
 * Quell.dll: end the Windows session and change the machine's power state.
 *
 * Every export is stdcall and exported under its plain name at a fixed ordinal.
 * Result kinds:
 *   boolean    -1 (all bits set) for true, 0 for false, never 1.
 *   forwarded  the system function's own result, unchanged; 0 with last-error
 *              120 (ERROR_CALL_NOT_IMPLEMENTED) when the running system lacks it.
 * The library sets only two last-error values of its own: 120 when an operation
 * is not available on the running system, 123 (ERROR_INVALID_NAME) when no
 * MS-DOS mode shortcut exists. Otherwise the failing system call's value stands.
 */
#ifndef QUELL_H
#define QUELL_H

#include <windef.h>

#ifndef QUELL_API
#  ifdef QUELL_BUILD
#    define QUELL_API
#  else
#    define QUELL_API __declspec(dllimport)
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct _DLLVERSIONINFO;

/* 1: fills cbSize-20 DLLVERSIONINFO from the file's version resource. S_OK,
 * E_INVALIDARG, E_OUTOFMEMORY, E_FAIL, E_POINTER. */
QUELL_API HRESULT WINAPI DllGetVersion(struct _DLLVERSIONINFO *pdvi);

/* 2-3: boolean. Hibernate needs NT 5 or later (else 120); standby runs everywhere. */
QUELL_API BOOL WINAPI WindowsHibernate(void);
QUELL_API BOOL WINAPI WindowsStandby(void);

/* 4: can the machine go to standby? -1/0, or IsPwrSuspendAllowed's own result. */
QUELL_API BOOL WINAPI CheckSystemPowerStatus(void);

/* 5-8: forwarded to powrprof.dll. */
QUELL_API BOOLEAN WINAPI GetPwrCapabilities(PSYSTEM_POWER_CAPABILITIES lpspc);
QUELL_API BOOLEAN WINAPI SetSuspendState(BOOLEAN bHibernate, BOOLEAN bForce, BOOLEAN bWakeupEventsDisabled);
QUELL_API BOOLEAN WINAPI IsPwrHibernateAllowed(void);
QUELL_API BOOLEAN WINAPI IsPwrSuspendAllowed(void);

/* 9-10: the shell's dialogs (shell32 ordinals 60 and 59); 0 when not available,
 * last-error never set. */
QUELL_API int WINAPI ShutdownDialog(HWND hwnd);
QUELL_API int WINAPI RestartDialog(HWND hwnd, LPCWSTR pszPrompt, DWORD dwFlags);

/* 11-12: forwarded error code; 1 (ERROR_INVALID_FUNCTION) when not available. */
QUELL_API DWORD WINAPI InitiateShutdownW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwGracePeriod,
                                         DWORD dwShutdownFlags, DWORD dwReason);
QUELL_API DWORD WINAPI InitiateShutdownA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwGracePeriod,
                                         DWORD dwShutdownFlags, DWORD dwReason);

/* 13-18: forwarded to advapi32.dll and user32.dll. */
QUELL_API BOOL WINAPI InitiateSystemShutdownExW(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                                                BOOL bForceAppsClosed, BOOL bRebootAfterShutdown, DWORD dwReason);
QUELL_API BOOL WINAPI InitiateSystemShutdownExA(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                                BOOL bForceAppsClosed, BOOL bRebootAfterShutdown, DWORD dwReason);
QUELL_API BOOL WINAPI ShutdownBlockReasonQuery(HWND hWnd, LPWSTR pwszBuff, DWORD *pcchBuff);
QUELL_API BOOL WINAPI ShutdownBlockReasonDestroy(HWND hWnd);
QUELL_API BOOL WINAPI ShutdownBlockReasonCreate(HWND hWnd, LPCWSTR pwszReason);
QUELL_API BOOL WINAPI LockWorkStation(void);

/* 19-23: boolean; timed shutdown or reboot of the local machine and its abort.
 * NT family only (else 120). */
QUELL_API BOOL WINAPI LocalAbortSystemShutdown(void);
QUELL_API BOOL WINAPI LocalInitSystemRebootW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemRebootA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemShutdownW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemShutdownA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);

/* 24-31: boolean; end the session through ExitWindowsEx, with the shutdown
 * privilege on the NT family. */
QUELL_API BOOL WINAPI WindowsHybridShutdown(void);
QUELL_API BOOL WINAPI WindowsRestartApps(void);
QUELL_API BOOL WINAPI WindowsForceLogOnOff(void);
QUELL_API BOOL WINAPI WindowsForceShutdown(void);
QUELL_API BOOL WINAPI WindowsForceReboot(void);
QUELL_API BOOL WINAPI WindowsLogOnOff(void);
QUELL_API BOOL WINAPI WindowsShutdown(void);
QUELL_API BOOL WINAPI WindowsReboot(void);

/* 32-34: boolean; enable the shutdown privilege, is this the NT family, can the
 * user name be read. */
QUELL_API BOOL WINAPI WindowsNTPrivilegien(void);
QUELL_API BOOL WINAPI CheckWindowsNT(void);
QUELL_API BOOL WINAPI CheckUserName(void);

/* 35-36: boolean; Windows 95/98/Me only: open / find the MS-DOS mode shortcut
 * (123 when there is none). */
QUELL_API BOOL WINAPI WindowsMsDosModus(void);
QUELL_API BOOL WINAPI CheckMsDosModus(void);

#ifdef __cplusplus
}
#endif

#endif /* QUELL_H */
