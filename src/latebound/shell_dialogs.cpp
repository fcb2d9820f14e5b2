// The shell's restart and shut-down dialogs, exported by shell32.dll under
// ordinals only. From NT 6.0 on the shut-down dialog takes a second argument.
// Neither export ever sets the last-error value.
#include "latebound/groups.h"

namespace {
enum Shell32Slot : unsigned { RestartDialogSlot, ShutdownDialogOneArgumentSlot, ShutdownDialogTwoArgumentSlot };

using RestartEntry = int(WINAPI *)(HWND, LPCWSTR, DWORD);
using ShutdownOneArgumentEntry = int(WINAPI *)(HWND);
using ShutdownTwoArgumentEntry = int(WINAPI *)(HWND, DWORD);

constexpr WORD RestartDialogOrdinal = 59;
constexpr WORD ShutdownDialogOrdinal = 60;
}  // namespace


constexpr LateBoundLibrary Shell32Library = {
    "shell32.dll",
    LateBoundSearch::KnownDll,
    {ByOrdinal(RestartDialogOrdinal), ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::BeforeNtSix),
     ByOrdinal(ShutdownDialogOrdinal, LateBoundForm::NtSix)},
};
constinit LateBoundGroup Shell32Group = {&Shell32Library};

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
