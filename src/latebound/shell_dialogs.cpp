// The shell's restart and shut-down dialogs (their table is in
// system_libraries.h). Neither export ever sets the last-error value.
#include "latebound/groups.h"

namespace {
using RestartEntry = int(WINAPI *)(HWND, LPCWSTR, DWORD);
using ShutdownOneArgumentEntry = int(WINAPI *)(HWND);
using ShutdownTwoArgumentEntry = int(WINAPI *)(HWND, DWORD);
}  // namespace

int WINAPI RestartDialog(HWND hwnd, LPCWSTR pszPrompt, DWORD dwFlags) {
    auto entry = LoadedEntryPoint<RestartEntry>(Shell32Group, RestartDialogSlot);
    return entry ? entry(hwnd, pszPrompt, dwFlags) : 0;
}

int WINAPI ShutdownDialog(HWND hwnd) {
    if (!Load(Shell32Group)) return 0;
    if (auto entry = EntryPoint<ShutdownOneArgumentEntry>(Shell32Group, ShutdownDialogOneArgumentSlot))
        return entry(hwnd);
    if (auto entry = EntryPoint<ShutdownTwoArgumentEntry>(Shell32Group, ShutdownDialogTwoArgumentSlot))
        return entry(hwnd, 0);
    return 0;
}
