// Workstation lock and shutdown block reasons, forwarded to user32.dll.
#include "latebound/groups.h"

BOOL WINAPI LockWorkStation() {
    auto entry = LoadedEntryPoint<decltype(&LockWorkStation)>(User32Group, LockWorkStationSlot);
    return entry ? entry() : NotAvailable();
}

BOOL WINAPI ShutdownBlockReasonCreate(HWND hWnd, LPCWSTR pwszReason) {
    auto entry = LoadedEntryPoint<decltype(&ShutdownBlockReasonCreate)>(User32Group, BlockReasonCreateSlot);
    return entry ? entry(hWnd, pwszReason) : NotAvailable();
}

BOOL WINAPI ShutdownBlockReasonDestroy(HWND hWnd) {
    auto entry = LoadedEntryPoint<decltype(&ShutdownBlockReasonDestroy)>(User32Group, BlockReasonDestroySlot);
    return entry ? entry(hWnd) : NotAvailable();
}

BOOL WINAPI ShutdownBlockReasonQuery(HWND hWnd, LPWSTR pwszBuff, DWORD *pcchBuff) {
    auto entry = LoadedEntryPoint<decltype(&ShutdownBlockReasonQuery)>(User32Group, BlockReasonQuerySlot);
    return entry ? entry(hWnd, pwszBuff, pcchBuff) : NotAvailable();
}
