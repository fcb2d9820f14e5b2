// quell display-off: SC_MONITORPOWER through a window of quell.exe's own.
//
// DefWindowProc carries the command out: "An application can carry out any of
// these system commands at any time by passing a WM_SYSCOMMAND message to
// DefWindowProc" (Microsoft's reference of WM_SYSCOMMAND), which is why
// programs that must keep the display on catch SC_MONITORPOWER in their own
// window procedure before DefWindowProc sees it. Handed to DefWindowProcA for
// a hidden window of this thread, the command waits on no other program's
// window: sent to HWND_BROADCAST it would wait for every top-level window's
// answer (one that hangs holds the sender for good; Microsoft's Windows
// hardware guidance "Avoid blocking on HWND_BROADCAST"), and posted there it
// reaches every program's windows and the active console gets a Ctrl+C (pull
// request 439 of hass-agent/HASS.Agent, which moved to a window of its own and
// saw the monitor still go off).
//
// user32.dll's CreateWindowExA, DefWindowProcA and DestroyWindow are exported
// by Windows 95 (early Wine's relay32 export list of user32, which gives
// Windows 95's user32 exports: ordinals 83, 126 and 135) and by every NT. They are looked
// up in the system directory's user32.dll, not imported, so that quell.exe's
// other commands load no user32.dll.
#include "load_quell.h"
#include "messages.h"
#include "what.h"

namespace {

#define QUELL_DISPLAY_USER32(X)                                                                                        \
  X(HWND, CreateWindowExA,                                                                                             \
    (DWORD extended, LPCSTR className, LPCSTR title, DWORD style, int x, int y, int width, int height, HWND parent,    \
     HMENU menu, HINSTANCE instance, LPVOID parameter))                                                                \
  X(LRESULT, DefWindowProcA, (HWND window, UINT message, WPARAM wParam, LPARAM lParam))                                \
  X(BOOL, DestroyWindow, (HWND window))
QUELL_SYSTEM_FUNCTIONS(WindowFunctions, QUELL_DISPLAY_USER32);

}  // namespace

int TurnDisplayOff(const Cli &cli, const Plan &plan, bool trial) {
    const char *name = plan.command->name;
    WindowFunctions user32;
    HMODULE module = LoadSystem(cli, "user32.dll", user32);
    const char *lacking = FirstMissing(user32);
    int status = ExitFailed;
    if (!module) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: the system's user32.dll could not be loaded\n", name);
    } else if (*lacking) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: the system's user32.dll lacks %S\n", name, lacking);
    } else {
        // Never shown: no WS_VISIBLE. A static control's class is there on every system.
        SetLastError(0);
        HWND window = user32.CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        DWORD error = GetLastError();
        if (!window) {
            Say(cli, STD_ERROR_HANDLE,
                "CreateWindowExA = NULL, %F\nquell %S: failed: no window of its own to turn the display off "
                "through%S\n",
                error, name, trial ? "; nothing done" : "");
        } else {
            // Its answer says nothing: DefWindowProc returns 0 for every system command.
            if (!trial) user32.DefWindowProcA(window, WM_SYSCOMMAND, SC_MONITORPOWER, MonitorOff);
            user32.DestroyWindow(window);
            if (!trial) Say(cli, STD_OUTPUT_HANDLE, "quell %S: %S\n", name, plan.action->done);
            status = ExitSuccess;
        }
    }
    if (module) cli.host.FreeLibrary(module);
    return status;
}
