/*
 * Quell.h: end the Windows session and change the machine's power state
 * through Quell.dll. One header for both builds: the x86 Quell.dll serves 32-bit
 * programs on Windows 95 to Windows 11, the x64 Quell.dll 64-bit programs on
 * 64-bit Windows, with the same exports and the same behaviour.
 *
 * Every export is WINAPI (stdcall on x86; x64 has a single calling convention)
 * and exported under its plain name at a fixed ordinal, given before each
 * declaration.
 *
 * Result kinds:
 *   boolean    -1 (all bits set) for true, 0 for false; never 1.
 *   forwarded  the system function's own result, unchanged (a system TRUE of 1
 *              stays 1); 0 with last-error 120 (ERROR_CALL_NOT_IMPLEMENTED) when
 *              the running system lacks the function.
 * An operation that the running system lacks answers 0 with last-error 120,
 * except in four exports that set no last-error value: InitiateShutdownA/W
 * return error code 1, ShutdownDialog and RestartDialog return 0. On the NT
 * family WindowsMsDosModus and CheckMsDosModus return 0 and set nothing.
 * The library sets three last-error values of its own: 120 as above, 50
 * (ERROR_NOT_SUPPORTED) when WindowsStandby or WindowsHibernate refuses because
 * the system says that state is not there, 123 (ERROR_INVALID_NAME) when no
 * MS-DOS mode shortcut exists. Otherwise a failure leaves the value of the system
 * call that failed, for instance 1300 (ERROR_NOT_ALL_ASSIGNED) when the account
 * does not hold the shutdown privilege.
 *
 * Names shared with system functions. Fourteen exports carry the name of a
 * system function (LockWorkStation, SetSuspendState, ...) or of a function that
 * many DLLs define (DllGetVersion). Callers see them as Quell_<name>
 * (Quell_LockWorkStation, ...): the import libraries bind each of these names
 * to the export's fixed ordinal, so they never meet the system's declarations in
 * <windows.h> and a program can use both. At run time,
 * GetProcAddress(quell, "LockWorkStation") with QuellProc_LockWorkStation reaches
 * the same function.
 *
 * For callers this header includes <windows.h>. Building the library itself
 * (QUELL_BUILD) it needs only <windef.h>, and declares the plain names.
 */
#ifndef QUELL_H
#define QUELL_H

/* The version of Quell.dll that this header declares: its fixed file version
 * (DllGetVersion's major, minor and build numbers). */
#define QUELL_VERSION_MAJOR 2
#define QUELL_VERSION_MINOR 0
#define QUELL_VERSION_PATCH 0

#ifdef QUELL_BUILD
#  include <windef.h>
#else
#  include <windows.h>
#endif

#ifndef QUELL_API
#  ifdef QUELL_BUILD
#    define QUELL_API
#  else
#    define QUELL_API __declspec(dllimport)
#  endif
#endif

/* The name under which an export that shares its name with a system function
 * is declared: the plain name inside the library, Quell_<name> for callers. */
#ifdef QUELL_BUILD
#  define QUELL_SHARED_NAME(name) name
#else
#  define QUELL_SHARED_NAME(name) Quell_##name
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* DLLVERSIONINFO of <shlwapi.h>: cbSize, dwMajorVersion, dwMinorVersion,
 * dwBuildNumber, dwPlatformID, five DWORDs. */
struct _DLLVERSIONINFO;

/* ---- Version report ------------------------------------------------------ */

/* 1 DllGetVersion: reports the file version of Quell.dll (major, minor, build;
 * platform 1) into a DLLVERSIONINFO whose cbSize is 20; the record must be
 * writable, as for any Win32 function that fills one. HRESULT: S_OK;
 * E_INVALIDARG for a null pointer or another cbSize; E_OUTOFMEMORY; E_FAIL when
 * the version resource cannot be read or version.dll cannot be loaded from the
 * system directory; E_POINTER. The caller's record changes
 * only on S_OK. Sets no last-error value of its own. All systems. */
QUELL_API HRESULT WINAPI QUELL_SHARED_NAME(DllGetVersion)(struct _DLLVERSIONINFO *pdvi);

/* ---- Standby and hibernate ----------------------------------------------- */

/* 2 WindowsHibernate: hibernates the machine after checking that it supports
 * it: S4 or a hibernation file in the power capabilities (NT 6 and later), else
 * IsPwrHibernateAllowed, else, without powrprof.dll, a known AC line status.
 * Boolean. 120 outside the NT family and below Windows 2000 (NT 5), and when
 * powrprof.dll lacks the query; 50 (ERROR_NOT_SUPPORTED) when the system says
 * there is no hibernation; without powrprof.dll and with the AC line status
 * unknown, what its failed load left (126); 1300 without the shutdown
 * privilege; else what the failed query, GetSystemPowerStatus or the request
 * left. NT 5 and later. */
QUELL_API BOOL WINAPI WindowsHibernate(void);

/* 3 WindowsStandby: puts the machine into standby after checking that it
 * supports it: any one of S1, S2, S3 in the power capabilities (NT 6 and
 * later), else IsPwrSuspendAllowed, else, without powrprof.dll, a known AC line
 * status. Boolean. 120 when powrprof.dll lacks the query; 50
 * (ERROR_NOT_SUPPORTED) when the system says there is no standby; without
 * powrprof.dll and with the AC line status unknown, what its failed load left
 * (126); 1300 without the shutdown privilege; else what the failed query,
 * GetSystemPowerStatus or the request left. All systems. */
QUELL_API BOOL WINAPI WindowsStandby(void);

/* ---- Power capability queries -------------------------------------------- */

/* 4 CheckSystemPowerStatus: can the machine go into standby? Boolean from the
 * power capabilities (any one of S1, S2, S3) or the AC line status; below NT 6,
 * and where GetPwrCapabilities fails, IsPwrSuspendAllowed's own result
 * unchanged. Last-error: 120 when GetPwrCapabilities is missing; else, without
 * powrprof.dll, what its failed load left (126) or what GetSystemPowerStatus
 * left. All systems. */
QUELL_API BOOL WINAPI CheckSystemPowerStatus(void);

/* 5 GetPwrCapabilities: forwarded to powrprof.dll; fills the caller's record.
 * BOOLEAN, unchanged; 0 with 120 when powrprof.dll or the entry is missing.
 * Systems whose powrprof.dll has it (Windows 98, 2000 and later). */
QUELL_API BOOLEAN WINAPI QUELL_SHARED_NAME(GetPwrCapabilities)(PSYSTEM_POWER_CAPABILITIES lpspc);

/* 6 SetSuspendState: forwarded to powrprof.dll; suspends or hibernates at once.
 * Only the low byte of each argument counts. BOOLEAN, unchanged; 0 with 120
 * when not available. Systems whose powrprof.dll has it. */
QUELL_API BOOLEAN WINAPI QUELL_SHARED_NAME(SetSuspendState)(BOOLEAN bHibernate, BOOLEAN bForce,
                                                            BOOLEAN bWakeupEventsDisabled);

/* 7 IsPwrHibernateAllowed, 8 IsPwrSuspendAllowed: forwarded to powrprof.dll;
 * does the system support hibernation / standby? BOOLEAN, unchanged; 0 with 120
 * when not available. Systems whose powrprof.dll has them. */
QUELL_API BOOLEAN WINAPI QUELL_SHARED_NAME(IsPwrHibernateAllowed)(void);
QUELL_API BOOLEAN WINAPI QUELL_SHARED_NAME(IsPwrSuspendAllowed)(void);

/* ---- Shell dialogs ------------------------------------------------------- */

/* 9 ShutdownDialog: shows the shell's shut-down dialog (shell32 ordinal 60).
 * The shell's result unchanged; 0 when not available, with no last-error value
 * of its own (a first call that finds no entry leaves the loader's 127).
 * All systems. */
QUELL_API int WINAPI ShutdownDialog(HWND hwnd);

/* 10 RestartDialog: shows the shell's dialog that asks to restart (shell32
 * ordinal 59); dwFlags as ExitWindowsEx. The shell's result unchanged (IDYES,
 * IDNO); 0 when not available, with no last-error value of its own (a first
 * call that finds no entry leaves the loader's 127). All systems. */
QUELL_API int WINAPI QUELL_SHARED_NAME(RestartDialog)(HWND hwnd, LPCWSTR pszPrompt, DWORD dwFlags);

/* ---- Late-bound shutdown calls (advapi32) -------------------------------- */

/* 11 InitiateShutdownW, 12 InitiateShutdownA: forwarded to advapi32.dll.
 * A Win32 error code, unchanged (0 on success); 1 (ERROR_INVALID_FUNCTION)
 * when not available, with no last-error value of its own (a first call that
 * finds no entry leaves the loader's 127). Windows Vista (NT 6) and later. */
QUELL_API DWORD WINAPI QUELL_SHARED_NAME(InitiateShutdownW)(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwGracePeriod,
                                                            DWORD dwShutdownFlags, DWORD dwReason);
QUELL_API DWORD WINAPI QUELL_SHARED_NAME(InitiateShutdownA)(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwGracePeriod,
                                                            DWORD dwShutdownFlags, DWORD dwReason);

/* 13 InitiateSystemShutdownExW, 14 InitiateSystemShutdownExA: forwarded to
 * advapi32.dll. BOOL, unchanged; 0 with the system's last-error, or 0 with 120
 * when not available. Windows XP and later. */
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(InitiateSystemShutdownExW)(LPWSTR lpMachineName, LPWSTR lpMessage,
                                                                   DWORD dwTimeout, BOOL bForceAppsClosed,
                                                                   BOOL bRebootAfterShutdown, DWORD dwReason);
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(InitiateSystemShutdownExA)(LPSTR lpMachineName, LPSTR lpMessage,
                                                                   DWORD dwTimeout, BOOL bForceAppsClosed,
                                                                   BOOL bRebootAfterShutdown, DWORD dwReason);

/* ---- Late-bound session calls (user32) ----------------------------------- */

/* 15 ShutdownBlockReasonQuery, 16 ShutdownBlockReasonDestroy,
 * 17 ShutdownBlockReasonCreate: forwarded to user32.dll; the reason that keeps
 * a window's application from being shut down. BOOL, unchanged; 0 with 120 when
 * not available. Windows Vista (NT 6) and later. */
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(ShutdownBlockReasonQuery)(HWND hWnd, LPWSTR pwszBuff, DWORD *pcchBuff);
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(ShutdownBlockReasonDestroy)(HWND hWnd);
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(ShutdownBlockReasonCreate)(HWND hWnd, LPCWSTR pwszReason);

/* 18 LockWorkStation: forwarded to user32.dll; locks the workstation. BOOL,
 * unchanged; 0 with 120 when not available. Windows 2000 and later. */
QUELL_API BOOL WINAPI QUELL_SHARED_NAME(LockWorkStation)(void);

/* ---- Timed shutdown of the local machine --------------------------------- */

/* 19 LocalAbortSystemShutdown: aborts a timed shutdown or reboot. Boolean.
 * 120 outside the NT family; 1300 without the shutdown privilege; 1116
 * (ERROR_NO_SHUTDOWN_IN_PROGRESS) and other values of AbortSystemShutdown.
 * NT family. */
QUELL_API BOOL WINAPI LocalAbortSystemShutdown(void);

/* 20 LocalInitSystemRebootW, 21 LocalInitSystemRebootA,
 * 22 LocalInitSystemShutdownW, 23 LocalInitSystemShutdownA: reboot or shut down
 * the local machine after dwTimeout seconds, showing lpMessage (may be null)
 * meanwhile; bForceAppsClosed closes applications without asking. Boolean.
 * 120 outside the NT family; 1300 without the shutdown privilege; else the
 * values of InitiateSystemShutdown (1115 when a shutdown is already in
 * progress). NT family. */
QUELL_API BOOL WINAPI LocalInitSystemRebootW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemRebootA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemShutdownW(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
QUELL_API BOOL WINAPI LocalInitSystemShutdownA(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);

/* ---- Session end (ExitWindowsEx) ----------------------------------------- */

/* 24-31: end the session at once. Boolean. Last-error: 1300 without the
 * shutdown privilege, else what ExitWindowsEx or the user-name query left.
 * All systems; the shutdown privilege is enabled on the NT family.
 *   24 WindowsHybridShutdown  hybrid shutdown from Windows 8 (NT 6.2); power off
 *                             before
 *   25 WindowsRestartApps     end the session with EWX_RESTARTAPPS: registered
 *                             applications restart (Vista, NT 6, and later);
 *                             a plain log-off before
 *   26 WindowsForceLogOnOff   log off, closing applications without asking
 *   27 WindowsForceShutdown   shut down and power off, closing applications
 *   28 WindowsForceReboot     reboot, closing applications
 *   29 WindowsLogOnOff        log off
 *   30 WindowsShutdown        shut down and power off
 *   31 WindowsReboot          reboot */
QUELL_API BOOL WINAPI WindowsHybridShutdown(void);
QUELL_API BOOL WINAPI WindowsRestartApps(void);
QUELL_API BOOL WINAPI WindowsForceLogOnOff(void);
QUELL_API BOOL WINAPI WindowsForceShutdown(void);
QUELL_API BOOL WINAPI WindowsForceReboot(void);
QUELL_API BOOL WINAPI WindowsLogOnOff(void);
QUELL_API BOOL WINAPI WindowsShutdown(void);
QUELL_API BOOL WINAPI WindowsReboot(void);

/* ---- Platform queries and privilege -------------------------------------- */

/* 32 WindowsNTPrivilegien: enables the shutdown privilege in the process token
 * and leaves it enabled. Boolean. 1300 when the account does not hold it; 120 on
 * Windows 95/98/Me (no process tokens). NT family. */
QUELL_API BOOL WINAPI WindowsNTPrivilegien(void);

/* 33 CheckWindowsNT: is this an NT-family system? Boolean; no last-error.
 * All systems. */
QUELL_API BOOL WINAPI CheckWindowsNT(void);

/* 34 CheckUserName: can the calling thread's user name be read? Boolean;
 * GetUserName's last-error when not. All systems. */
QUELL_API BOOL WINAPI CheckUserName(void);

/* ---- MS-DOS mode --------------------------------------------------------- */

/* 35 WindowsMsDosModus: restarts into MS-DOS mode by opening the MS-DOS mode
 * shortcut in the Windows directory. 36 CheckMsDosModus: does that shortcut
 * exist? Boolean. 123 when there is no shortcut; else what the directory query
 * left. Windows 95/98/Me; elsewhere 0 and no last-error. */
QUELL_API BOOL WINAPI WindowsMsDosModus(void);
QUELL_API BOOL WINAPI CheckMsDosModus(void);

/* ---- Entry types for GetProcAddress, by export name ---------------------- */

typedef HRESULT(WINAPI *QuellProc_DllGetVersion)(struct _DLLVERSIONINFO *pdvi);
typedef BOOL(WINAPI *QuellProc_WindowsHibernate)(void);
typedef BOOL(WINAPI *QuellProc_WindowsStandby)(void);
typedef BOOL(WINAPI *QuellProc_CheckSystemPowerStatus)(void);
typedef BOOLEAN(WINAPI *QuellProc_GetPwrCapabilities)(PSYSTEM_POWER_CAPABILITIES lpspc);
typedef BOOLEAN(WINAPI *QuellProc_SetSuspendState)(BOOLEAN bHibernate, BOOLEAN bForce, BOOLEAN bWakeupEventsDisabled);
typedef BOOLEAN(WINAPI *QuellProc_IsPwrHibernateAllowed)(void);
typedef BOOLEAN(WINAPI *QuellProc_IsPwrSuspendAllowed)(void);
typedef int(WINAPI *QuellProc_ShutdownDialog)(HWND hwnd);
typedef int(WINAPI *QuellProc_RestartDialog)(HWND hwnd, LPCWSTR pszPrompt, DWORD dwFlags);
typedef DWORD(WINAPI *QuellProc_InitiateShutdownW)(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwGracePeriod,
                                                   DWORD dwShutdownFlags, DWORD dwReason);
typedef DWORD(WINAPI *QuellProc_InitiateShutdownA)(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwGracePeriod,
                                                   DWORD dwShutdownFlags, DWORD dwReason);
typedef BOOL(WINAPI *QuellProc_InitiateSystemShutdownExW)(LPWSTR lpMachineName, LPWSTR lpMessage, DWORD dwTimeout,
                                                          BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                                          DWORD dwReason);
typedef BOOL(WINAPI *QuellProc_InitiateSystemShutdownExA)(LPSTR lpMachineName, LPSTR lpMessage, DWORD dwTimeout,
                                                          BOOL bForceAppsClosed, BOOL bRebootAfterShutdown,
                                                          DWORD dwReason);
typedef BOOL(WINAPI *QuellProc_ShutdownBlockReasonQuery)(HWND hWnd, LPWSTR pwszBuff, DWORD *pcchBuff);
typedef BOOL(WINAPI *QuellProc_ShutdownBlockReasonDestroy)(HWND hWnd);
typedef BOOL(WINAPI *QuellProc_ShutdownBlockReasonCreate)(HWND hWnd, LPCWSTR pwszReason);
typedef BOOL(WINAPI *QuellProc_LockWorkStation)(void);
typedef BOOL(WINAPI *QuellProc_LocalAbortSystemShutdown)(void);
typedef BOOL(WINAPI *QuellProc_LocalInitSystemRebootW)(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
typedef BOOL(WINAPI *QuellProc_LocalInitSystemRebootA)(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
typedef BOOL(WINAPI *QuellProc_LocalInitSystemShutdownW)(LPWSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
typedef BOOL(WINAPI *QuellProc_LocalInitSystemShutdownA)(LPSTR lpMessage, DWORD dwTimeout, BOOL bForceAppsClosed);
typedef BOOL(WINAPI *QuellProc_WindowsHybridShutdown)(void);
typedef BOOL(WINAPI *QuellProc_WindowsRestartApps)(void);
typedef BOOL(WINAPI *QuellProc_WindowsForceLogOnOff)(void);
typedef BOOL(WINAPI *QuellProc_WindowsForceShutdown)(void);
typedef BOOL(WINAPI *QuellProc_WindowsForceReboot)(void);
typedef BOOL(WINAPI *QuellProc_WindowsLogOnOff)(void);
typedef BOOL(WINAPI *QuellProc_WindowsShutdown)(void);
typedef BOOL(WINAPI *QuellProc_WindowsReboot)(void);
typedef BOOL(WINAPI *QuellProc_WindowsNTPrivilegien)(void);
typedef BOOL(WINAPI *QuellProc_CheckWindowsNT)(void);
typedef BOOL(WINAPI *QuellProc_CheckUserName)(void);
typedef BOOL(WINAPI *QuellProc_WindowsMsDosModus)(void);
typedef BOOL(WINAPI *QuellProc_CheckMsDosModus)(void);

#ifdef __cplusplus
}
#endif

#endif /* QUELL_H */
