// The export table as callers see it: ordinal, plain name, argument slots, result kind.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/image.h"

enum class ResultKind { Boolean, Forwarded, ErrorCode, Dialog, HResult, PowerStatus };

struct ExportRow {
    int ordinal;
    const char *name;
    int arguments;
    ResultKind kind;
};

inline const std::vector<ExportRow> &ExportTable() {
    static const std::vector<ExportRow> rows = {
        {1, "DllGetVersion", 1, ResultKind::HResult},
        {2, "WindowsHibernate", 0, ResultKind::Boolean},
        {3, "WindowsStandby", 0, ResultKind::Boolean},
        {4, "CheckSystemPowerStatus", 0, ResultKind::PowerStatus},
        {5, "GetPwrCapabilities", 1, ResultKind::Forwarded},
        {6, "SetSuspendState", 3, ResultKind::Forwarded},
        {7, "IsPwrHibernateAllowed", 0, ResultKind::Forwarded},
        {8, "IsPwrSuspendAllowed", 0, ResultKind::Forwarded},
        {9, "ShutdownDialog", 1, ResultKind::Dialog},
        {10, "RestartDialog", 3, ResultKind::Dialog},
        {11, "InitiateShutdownW", 5, ResultKind::ErrorCode},
        {12, "InitiateShutdownA", 5, ResultKind::ErrorCode},
        {13, "InitiateSystemShutdownExW", 6, ResultKind::Forwarded},
        {14, "InitiateSystemShutdownExA", 6, ResultKind::Forwarded},
        {15, "ShutdownBlockReasonQuery", 3, ResultKind::Forwarded},
        {16, "ShutdownBlockReasonDestroy", 1, ResultKind::Forwarded},
        {17, "ShutdownBlockReasonCreate", 2, ResultKind::Forwarded},
        {18, "LockWorkStation", 0, ResultKind::Forwarded},
        {19, "LocalAbortSystemShutdown", 0, ResultKind::Boolean},
        {20, "LocalInitSystemRebootW", 3, ResultKind::Boolean},
        {21, "LocalInitSystemRebootA", 3, ResultKind::Boolean},
        {22, "LocalInitSystemShutdownW", 3, ResultKind::Boolean},
        {23, "LocalInitSystemShutdownA", 3, ResultKind::Boolean},
        {24, "WindowsHybridShutdown", 0, ResultKind::Boolean},
        {25, "WindowsRestartApps", 0, ResultKind::Boolean},
        {26, "WindowsForceLogOnOff", 0, ResultKind::Boolean},
        {27, "WindowsForceShutdown", 0, ResultKind::Boolean},
        {28, "WindowsForceReboot", 0, ResultKind::Boolean},
        {29, "WindowsLogOnOff", 0, ResultKind::Boolean},
        {30, "WindowsShutdown", 0, ResultKind::Boolean},
        {31, "WindowsReboot", 0, ResultKind::Boolean},
        {32, "WindowsNTPrivilegien", 0, ResultKind::Boolean},
        {33, "CheckWindowsNT", 0, ResultKind::Boolean},
        {34, "CheckUserName", 0, ResultKind::Boolean},
        {35, "WindowsMsDosModus", 0, ResultKind::Boolean},
        {36, "CheckMsDosModus", 0, ResultKind::Boolean},
    };
    return rows;
}

inline const ExportRow &ExportNamed(const std::string &name) {
    auto named = [&](const ExportRow &r) { return r.name == name; };
    return *std::find_if(ExportTable().begin(), ExportTable().end(), named);
}

// The records that calls with harmless arguments point to; one per thread.
struct ExportScratch {
    DWORD versionInfo[5] = {20};  // DLLVERSIONINFO with its cbSize
    SYSTEM_POWER_CAPABILITIES capabilities{};
    WCHAR reason[256] = {};
    DWORD reasonLength = 256;
};

// Arguments under which an export only does its work on the fake platform: a
// valid record where it takes one, null or 0 for everything else.
inline std::vector<uintptr_t> HarmlessArguments(const ExportRow &row, ExportScratch &scratch) {
    const std::string name = row.name;
    if (name == "DllGetVersion") return {Arg(scratch.versionInfo)};
    if (name == "GetPwrCapabilities") return {Arg(&scratch.capabilities)};
    if (name == "ShutdownBlockReasonQuery") return {0, Arg(scratch.reason), Arg(&scratch.reasonLength)};
    return std::vector<uintptr_t>(row.arguments, 0);
}
