/* Compiled, never run, as C and as C++ by several compilers (check_header.cmake):
 * Quell.h on its own, after the system headers that declare functions of the
 * same names, and before them. */
#if QUELL_CHECK_ORDER == 1
#  include <windows.h>
#  include <powrprof.h>
#  include <shlobj.h>
#  include <shlwapi.h>
#endif

#include "Quell.h"

#if QUELL_CHECK_ORDER == 2
#  include <windows.h>
#  include <powrprof.h>
#  include <shlobj.h>
#  include <shlwapi.h>
#endif

/* Each declaration has the type of its GetProcAddress entry type. */
#define SAME_TYPE(declared, name)                                                                                      \
  {                                                                                                                    \
    QuellProc_##name entry = declared;                                                                                 \
    (void)entry;                                                                                                       \
  }

int QuellHeaderCheck(void);
int QuellHeaderCheck(void) {
    SAME_TYPE(Quell_DllGetVersion, DllGetVersion)
    SAME_TYPE(WindowsHibernate, WindowsHibernate)
    SAME_TYPE(WindowsStandby, WindowsStandby)
    SAME_TYPE(CheckSystemPowerStatus, CheckSystemPowerStatus)
    SAME_TYPE(Quell_GetPwrCapabilities, GetPwrCapabilities)
    SAME_TYPE(Quell_SetSuspendState, SetSuspendState)
    SAME_TYPE(Quell_IsPwrHibernateAllowed, IsPwrHibernateAllowed)
    SAME_TYPE(Quell_IsPwrSuspendAllowed, IsPwrSuspendAllowed)
    SAME_TYPE(ShutdownDialog, ShutdownDialog)
    SAME_TYPE(Quell_RestartDialog, RestartDialog)
    SAME_TYPE(Quell_InitiateShutdownW, InitiateShutdownW)
    SAME_TYPE(Quell_InitiateShutdownA, InitiateShutdownA)
    SAME_TYPE(Quell_InitiateSystemShutdownExW, InitiateSystemShutdownExW)
    SAME_TYPE(Quell_InitiateSystemShutdownExA, InitiateSystemShutdownExA)
    SAME_TYPE(Quell_ShutdownBlockReasonQuery, ShutdownBlockReasonQuery)
    SAME_TYPE(Quell_ShutdownBlockReasonDestroy, ShutdownBlockReasonDestroy)
    SAME_TYPE(Quell_ShutdownBlockReasonCreate, ShutdownBlockReasonCreate)
    SAME_TYPE(Quell_LockWorkStation, LockWorkStation)
    SAME_TYPE(LocalAbortSystemShutdown, LocalAbortSystemShutdown)
    SAME_TYPE(LocalInitSystemRebootW, LocalInitSystemRebootW)
    SAME_TYPE(LocalInitSystemRebootA, LocalInitSystemRebootA)
    SAME_TYPE(LocalInitSystemShutdownW, LocalInitSystemShutdownW)
    SAME_TYPE(LocalInitSystemShutdownA, LocalInitSystemShutdownA)
    SAME_TYPE(WindowsHybridShutdown, WindowsHybridShutdown)
    SAME_TYPE(WindowsRestartApps, WindowsRestartApps)
    SAME_TYPE(WindowsForceLogOnOff, WindowsForceLogOnOff)
    SAME_TYPE(WindowsForceShutdown, WindowsForceShutdown)
    SAME_TYPE(WindowsForceReboot, WindowsForceReboot)
    SAME_TYPE(WindowsLogOnOff, WindowsLogOnOff)
    SAME_TYPE(WindowsShutdown, WindowsShutdown)
    SAME_TYPE(WindowsReboot, WindowsReboot)
    SAME_TYPE(WindowsNTPrivilegien, WindowsNTPrivilegien)
    SAME_TYPE(CheckWindowsNT, CheckWindowsNT)
    SAME_TYPE(CheckUserName, CheckUserName)
    SAME_TYPE(WindowsMsDosModus, WindowsMsDosModus)
    SAME_TYPE(CheckMsDosModus, CheckMsDosModus)
#if QUELL_CHECK_ORDER != 0
    {
        /* The system's functions of the same names stay what the system says. */
        BOOL(WINAPI * lockWorkStation)(void) = LockWorkStation;
        BOOLEAN(WINAPI * setSuspendState)(BOOLEAN, BOOLEAN, BOOLEAN) = SetSuspendState;
        int(WINAPI * restartDialog)(HWND, PCWSTR, DWORD) = RestartDialog;
        DLLVERSIONINFO version = {sizeof version, 0, 0, 0, 0};
        (void)lockWorkStation;
        (void)setSuspendState;
        (void)restartDialog;
        return Quell_DllGetVersion(&version) == S_OK && Quell_LockWorkStation != lockWorkStation;
    }
#else
    return CheckWindowsNT() != 0;
#endif
}
