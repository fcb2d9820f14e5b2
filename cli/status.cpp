// quell status: every harmless answer of Quell.dll, and which system entries
// that it may use the running system offers.
#include <shlwapi.h>
#include <stddef.h>

#include "plan.h"
#include "reports.h"
#include "latebound/system_libraries.h"
#include "json.h"
#include "load_quell.h"
#include "messages.h"
#include "what.h"

namespace {

void StatusLine(const Cli &cli, Text &out, const char *question, const wchar_t *answer, const Text &detail) {
    Format(cli, out, "  %-36S %-8s %s", question, answer, detail.data ? detail.data : L"");
    EndLine(out);
}

void MissingLine(const Cli &cli, Text &out, const char *question, const char *exportName) {
    Text detail{};
    Format(cli, detail, "%S missing from Quell.dll", exportName);
    StatusLine(cli, out, question, L"?", detail);
    Release(detail.data);
}

// "name": {"result": n, "lastError": n}, or null for an export the library lacks.
void JsonAnswer(Json &json, const char *name, bool present, LONG result, DWORD error) {
    JsonKey(json, name);
    if (!present) return JsonNull(json);
    JsonOpen(json, '{');
    JsonKey(json, "result");
    JsonNumber(json, result);
    JsonKey(json, "lastError");
    JsonUnsigned(json, error);
    JsonClose(json, '}');
}

// One yes-or-no answer of Quell.dll: a line of the report, or with json a
// member of status --json's "answers".
void BooleanAnswer(const Cli &cli, Text &out, Json *json, const char *question, const char *exportName, bool present,
                   LONG result, DWORD error) {
    if (json) return JsonAnswer(*json, exportName, present, result, error);
    if (!present) return MissingLine(cli, out, question, exportName);
    Text detail{};
    Format(cli, detail, "%S = %d, %E", exportName, result, error);
    StatusLine(cli, out, question, result ? L"yes" : L"no", detail);
    Release(detail.data);
}
// The answer asked of an export that returns BOOL or BOOLEAN.
template <typename Entry>
void BooleanStatus(const Cli &cli, Text &out, Json *json, const char *question, const char *exportName, Entry entry) {
    LONG result = 0;
    DWORD error = 0;
    if (entry) result = static_cast<LONG>(Asked(error, entry));
    BooleanAnswer(cli, out, json, question, exportName, entry != nullptr, result, error);
}

void VersionStatus(const Cli &cli, Text &out, HRESULT result, DWORD error, const DLLVERSIONINFO &version) {
    const char *question = "version of Quell.dll";
    if (!cli.quell.DllGetVersion) return MissingLine(cli, out, question, "DllGetVersion");
    Text answer{}, detail{};
    if (result == S_OK) {
        Format(cli, answer, "%u.%u.%u", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
    } else {
        AppendAscii(answer, "unknown");
    }
    Format(cli, detail, "DllGetVersion = 0x%X", static_cast<unsigned long>(result));
    if (result == S_OK) Format(cli, detail, " (platform %u)", version.dwPlatformID);
    Format(cli, detail, ", %E", error);
    StatusLine(cli, out, question, answer.data, detail);
    Release(answer.data);
    Release(detail.data);
}

// On a machine with Modern Standby, S0 low power idle takes the place of S1 to
// S3: this line explains why standby is then not possible (what.h: AoAcOffset).

void ModernStandbyStatus(const Cli &cli, Text &out, bool read, const SYSTEM_POWER_CAPABILITIES &capabilities) {
    const char *question = "Modern Standby (S0 low power idle)";
    BYTE aoAc = reinterpret_cast<const BYTE *>(&capabilities)[AoAcOffset];
    Text detail{};
    if (!read) {
        AppendAscii(detail, "the power capabilities are not readable");
    } else if (aoAc) {
        Format(cli, detail, "AoAc %u: the machine sleeps in S0 low power idle, which takes the place of S1 to S3",
               static_cast<unsigned long>(aoAc));
    } else {
        AppendAscii(detail, "AoAc 0");
    }
    StatusLine(cli, out, question, !read ? L"?" : aoAc ? L"yes" : L"no", detail);
    Release(detail.data);
}

void CapabilitiesStatus(const Cli &cli, Text &out, BOOLEAN result, DWORD error,
                        const SYSTEM_POWER_CAPABILITIES &capabilities) {
    const char *question = "power capabilities readable";
    if (!cli.quell.GetPwrCapabilities) return MissingLine(cli, out, question, "GetPwrCapabilities");
    Text detail{};
    Format(cli, detail, "GetPwrCapabilities = %u", static_cast<unsigned long>(result));
    if (result) {
        Format(cli, detail, " (S1 %u, S2 %u, S3 %u, S4 %u, hibernation file %u)",
               static_cast<unsigned long>(capabilities.SystemS1), static_cast<unsigned long>(capabilities.SystemS2),
               static_cast<unsigned long>(capabilities.SystemS3), static_cast<unsigned long>(capabilities.SystemS4),
               static_cast<unsigned long>(capabilities.HiberFilePresent));
    }
    Format(cli, detail, ", %E", error);
    StatusLine(cli, out, question, result ? L"yes" : L"no", detail);
    Release(detail.data);
    ModernStandbyStatus(cli, out, result != 0, capabilities);
}

bool Applies(const Cli &cli, const LateBoundEntry &entry) {
    return (entry.name || entry.ordinal) &&
           LateBoundFormApplies(entry.form, cli.version.dwPlatformId, cli.version.dwMajorVersion);
}

// The shell's dialogs are exported by ordinal only: the export of Quell.dll
// that reaches each names it, in the text report.
void AppendEntryLabel(Text &text, const LateBoundEntry &entry, bool json) {
    if (entry.name) return AppendAscii(text, entry.name);
    AppendAscii(text, "#");
    AppendNumber(text, entry.ordinal, 10, 1);
    if (json) return;
    if (entry.ordinal == RestartDialogOrdinal) AppendAscii(text, " (RestartDialog)");
    if (entry.ordinal == ShutdownDialogOrdinal) AppendAscii(text, " (ShutdownDialog)");
}

// Every entry of Quell.dll's late-bound libraries that it looks up on this
// system, with what the system's copy of its library offers: a line each, or
// for status --json the "entries" list, which ends the object. The table's
// names are plain ASCII: nothing in them needs escaping.
void SystemEntriesStatus(const Cli &cli, Text &out, Json *json) {
    if (json) {
        JsonLine(*json, 1);
        JsonKey(*json, "entries");
        JsonOpen(*json, '[');
    } else {
        AppendAscii(out, "System entries that Quell.dll may use here (looked up, not called)\n");
    }
    for (const LateBoundLibrary *library : SystemLibraries) {
        for (const LateBoundEntry &entry : library->entries) {
            if (!Applies(cli, entry)) continue;
            Offer offer =
                SystemOffers(cli, library->fileName, entry.name ? entry.name : MAKEINTRESOURCEA(entry.ordinal));
            Text label{};
            AppendEntryLabel(label, entry, json != nullptr);
            if (json) {
                JsonLine(*json, 2);
                JsonOpen(*json, '{');
                JsonKey(*json, "library");
                JsonAscii(*json, library->fileName);
                JsonKey(*json, "entry");
                JsonString(*json, label.data);
                JsonKey(*json, "offered");
                if (offer == Offer::Unknown) {
                    JsonNull(*json);
                } else {
                    JsonBool(*json, offer == Offer::Offered);
                }
                JsonClose(*json, '}');
            } else {
                Format(cli, out, "  %-14S %-30s %S\n", library->fileName, label.data,
                       offer == Offer::Offered   ? "offered"
                       : offer == Offer::Missing ? "missing"
                                                 : "unknown");
            }
            Release(label.data);
        }
    }
    if (json) {
        JsonClose(*json, '[');
        JsonClose(*json, '{');
        AppendAscii(out, "\n");
    }
}

// A library without all its exports is not the one this front end was made
// for: says which it lacks; ExitNoLibrary then, else ExitSuccess.
int CompletenessStatus(const Cli &cli) {
    Text lacking{};
    AppendMissing(lacking, QuellEntryNames, EntrySlots(cli.quell), QuellEntryCount);
    bool complete = lacking.length == 0;
    if (!complete) Say(cli, STD_ERROR_HANDLE, "quell: Quell.dll lacks exports:%s\n", lacking.data);
    Release(lacking.data);
    return complete ? ExitSuccess : ExitNoLibrary;
}

// Quell.dll's harmless answers, in the one order both forms share: the
// report's lines, or for status --json the members of its "answers". The
// version record and the power capabilities are kept for the rest of the JSON.
void Answers(const Cli &cli, Text &out, Json *json, DLLVERSIONINFO &version, HRESULT &versionResult,
             SYSTEM_POWER_CAPABILITIES &capabilities, BOOLEAN &read) {
    const QuellEntries &quell = cli.quell;
    if (json) JsonOpen(*json, '{');
    BooleanStatus(cli, out, json, "NT-family system", "CheckWindowsNT", quell.CheckWindowsNT);
    BooleanStatus(cli, out, json, "user name readable", "CheckUserName", quell.CheckUserName);
    BooleanStatus(cli, out, json, "shutdown privilege obtainable", "WindowsNTPrivilegien", quell.WindowsNTPrivilegien);

    DWORD error = 0;
    if (quell.DllGetVersion) versionResult = Asked(error, quell.DllGetVersion, &version);
    if (json) {
        JsonAnswer(*json, "DllGetVersion", quell.DllGetVersion != nullptr, versionResult, error);
    } else {
        VersionStatus(cli, out, versionResult, error, version);
    }
    BooleanStatus(cli, out, json, "standby possible", "CheckSystemPowerStatus", quell.CheckSystemPowerStatus);
    BooleanStatus(cli, out, json, "suspend allowed", "IsPwrSuspendAllowed", quell.IsPwrSuspendAllowed);
    BooleanStatus(cli, out, json, "hibernation allowed", "IsPwrHibernateAllowed", quell.IsPwrHibernateAllowed);

    error = 0;
    if (quell.GetPwrCapabilities) read = Asked(error, quell.GetPwrCapabilities, &capabilities);
    if (json) {
        JsonAnswer(*json, "GetPwrCapabilities", quell.GetPwrCapabilities != nullptr, read, error);
    } else {
        CapabilitiesStatus(cli, out, read, error, capabilities);
    }
    BooleanStatus(cli, out, json, "MS-DOS mode shortcut present", "CheckMsDosModus", quell.CheckMsDosModus);
    if (json) JsonClose(*json, '}');
}

// status --json up to its "entries": Quell.dll, the system, the answers (written
// before, as DllGetVersion's answer decides "quell") and the capabilities.
// Without Quell.dll, "quell" is null and so is every answer.
void JsonReport(const Cli &cli, Json &json, const Text &answers, const DLLVERSIONINFO &version, HRESULT versionResult,
                const SYSTEM_POWER_CAPABILITIES &capabilities, BOOLEAN read) {
    JsonOpen(json, '{');
    JsonKey(json, "quell");
    if (cli.loaded) {
        JsonOpen(json, '{');
        JsonKey(json, "version");
        if (versionResult == S_OK) {
            Text number{};
            Format(number, "%u.%u.%u", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
            JsonString(json, number.data);
            Release(number.data);
        } else {
            JsonNull(json);
        }
        Text path{};
        FormQuellPath(cli, path);
        JsonKey(json, "path");
        JsonString(json, path.data);
        Release(path.data);
        JsonClose(json, '}');
    } else {
        JsonNull(json);
    }
    // On Windows 95/98/Me the build number is the low word; the high word repeats the version.
    const OSVERSIONINFOA &system = cli.version;
    JsonLine(json, 1);
    JsonKey(json, "system");
    JsonOpen(json, '{');
    JsonKey(json, "platformId");
    JsonUnsigned(json, system.dwPlatformId);
    JsonKey(json, "major");
    JsonUnsigned(json, system.dwMajorVersion);
    JsonKey(json, "minor");
    JsonUnsigned(json, system.dwMinorVersion);
    JsonKey(json, "build");
    JsonUnsigned(json, cli.ansi ? LOWORD(system.dwBuildNumber) : system.dwBuildNumber);
    JsonClose(json, '}');
    JsonLine(json, 1);
    JsonKey(json, "answers");
    JsonWritten(json, answers);
    JsonLine(json, 1);
    JsonKey(json, "capabilities");
    if (!read) return JsonNull(json);
    const BYTE *bytes = reinterpret_cast<const BYTE *>(&capabilities);
    const struct {
        const char *name;
        BYTE value;
    } members[] = {{"S1", capabilities.SystemS1},
                   {"S2", capabilities.SystemS2},
                   {"S3", capabilities.SystemS3},
                   {"S4", capabilities.SystemS4},
                   {"hiberFile", capabilities.HiberFilePresent},
                   {"modernStandby", bytes[AoAcOffset]}};
    JsonOpen(json, '{');
    for (const auto &member : members) {
        JsonKey(json, member.name);
        JsonBool(json, member.value != 0);
    }
    JsonClose(json, '}');
}

}  // namespace

// status --json writes its object also without Quell.dll, for a script that reads it.
int Status(Cli &cli, bool json) {
    if (!LibraryReady(cli) && !json) return ExitNoLibrary;
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    HRESULT versionResult = E_FAIL;
    SYSTEM_POWER_CAPABILITIES capabilities{};
    BOOLEAN read = FALSE;
    Text out{}, answers{};
    Json answersJson = JsonInto(answers), report = JsonInto(out);
    if (!json) AppendAscii(out, "Quell.dll\n");
    Answers(cli, out, json ? &answersJson : nullptr, version, versionResult, capabilities, read);
    if (json) JsonReport(cli, report, answers, version, versionResult, capabilities, read);
    Release(answers.data);
    RegistryStatus(cli, out, json ? &report : nullptr);
    SystemEntriesStatus(cli, out, json ? &report : nullptr);
    Print(cli, STD_OUTPUT_HANDLE, out);
    Release(out.data);
    return cli.loaded ? CompletenessStatus(cli) : ExitNoLibrary;
}
