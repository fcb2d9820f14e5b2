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

// What status asks of Quell.dll, in the order of the report's lines and of
// status --json's "answers": each question's export, and how it answers.
enum class Asks : BYTE { Boolean, Byte, Version, Capabilities };
// The words are held in the row, not pointed to: a table of pointers is one
// more relocation for each row.
struct Question {
    char words[30];
    QuellExport entry;
    Asks asks;
};
const Question Questions[] = {
    {"NT-family system", Export_CheckWindowsNT, Asks::Boolean},
    {"user name readable", Export_CheckUserName, Asks::Boolean},
    {"shutdown privilege obtainable", Export_WindowsNTPrivilegien, Asks::Boolean},
    {"version of Quell.dll", Export_DllGetVersion, Asks::Version},
    {"standby possible", Export_CheckSystemPowerStatus, Asks::Boolean},
    {"suspend allowed", Export_IsPwrSuspendAllowed, Asks::Byte},
    {"hibernation allowed", Export_IsPwrHibernateAllowed, Asks::Byte},
    {"power capabilities readable", Export_GetPwrCapabilities, Asks::Capabilities},
    {"MS-DOS mode shortcut present", Export_CheckMsDosModus, Asks::Boolean},
};
constexpr unsigned QuestionCount = sizeof Questions / sizeof Questions[0];

// One export's answer: whether Quell.dll has it, what it returned and the last-error value it left.
struct Reply {
    bool present;
    LONG result;
    DWORD error;
};

// Everything the report says, asked before a line of it is written. Only the
// entries that apply here are asked of the system; the rest of offers is not read.
struct StatusFacts {
    Reply replies[QuestionCount];
    DLLVERSIONINFO version;                  // where DllGetVersion answered S_OK
    SYSTEM_POWER_CAPABILITIES capabilities;  // where GetPwrCapabilities answered not 0
    bool versionKnown, capabilitiesRead;
    RegistryFacts registry;
    Offer offers[SystemLibraryCount][MaxLateBoundEntries];
};

bool Applies(const Cli &cli, const LateBoundEntry &entry) {
    return (entry.name || entry.ordinal) &&
           LateBoundFormApplies(entry.form, cli.version.dwPlatformId, cli.version.dwMajorVersion);
}

// Asks Quell.dll's harmless exports, the registry and the system directory's libraries.
void AskStatus(const Cli &cli, StatusFacts &facts) {
    facts.version.cbSize = sizeof facts.version;
    facts.versionKnown = facts.capabilitiesRead = false;
    for (unsigned i = 0; i < QuestionCount; ++i) {
        FARPROC entry = cli.loaded ? EntrySlots(cli.quell)[Questions[i].entry] : nullptr;
        Reply &reply = facts.replies[i];
        reply.present = entry != nullptr;
        reply.result = 0;
        reply.error = 0;
        if (!entry) continue;
        switch (Questions[i].asks) {
        case Asks::Boolean: reply.result = Asked(reply.error, As<BOOL(WINAPI *)()>(entry)); break;
        case Asks::Byte: reply.result = Asked(reply.error, As<BOOLEAN(WINAPI *)()>(entry)); break;
        case Asks::Version:
            reply.result = Asked(reply.error, As<QuellProc_DllGetVersion>(entry), &facts.version);
            facts.versionKnown = reply.result == S_OK;
            break;
        case Asks::Capabilities:
            reply.result = Asked(reply.error, As<QuellProc_GetPwrCapabilities>(entry), &facts.capabilities);
            facts.capabilitiesRead = reply.result != 0;
            break;
        }
    }
    facts.registry = AskRegistry(cli);
    for (unsigned l = 0; l < SystemLibraryCount; ++l) {
        const LateBoundLibrary &library = *SystemLibraries[l];
        for (unsigned e = 0; e < MaxLateBoundEntries; ++e) {
            const LateBoundEntry &entry = library.entries[e];
            if (!Applies(cli, entry)) continue;
            facts.offers[l][e] =
                SystemOffers(cli, library.fileName, entry.name ? entry.name : MAKEINTRESOURCEA(entry.ordinal));
        }
    }
}

void StatusLine(const Cli &cli, Text &out, const char *question, const wchar_t *answer, const Text &detail) {
    Format(cli, out, "  %-36S %-8s %s", question, answer, detail.data ? detail.data : L"");
    EndLine(out);
}

// On a machine with Modern Standby, S0 low power idle takes the place of S1 to
// S3: this line explains why standby is then not possible (what.h: AoAcOffset).
void ModernStandbyLine(const Cli &cli, Text &out, bool read, const SYSTEM_POWER_CAPABILITIES &capabilities) {
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
    StatusLine(cli, out, "Modern Standby (S0 low power idle)", !read ? L"?" : aoAc ? L"yes" : L"no", detail);
    Release(detail.data);
}

// The answers as lines of the report.
void AnswerLines(const Cli &cli, Text &out, const StatusFacts &facts) {
    AppendAscii(out, "Quell.dll\n");
    for (unsigned i = 0; i < QuestionCount; ++i) {
        const Question &question = Questions[i];
        const Reply &reply = facts.replies[i];
        const char *name = ExportName(question.entry);
        Text answer{}, detail{};
        if (!reply.present) {
            AppendAscii(answer, "?");
            Format(cli, detail, "%S missing from Quell.dll", name);
        } else if (question.asks == Asks::Version) {
            const DLLVERSIONINFO &version = facts.version;
            if (facts.versionKnown) {
                Format(cli, answer, "%u.%u.%u", version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
            } else {
                AppendAscii(answer, "unknown");
            }
            Format(cli, detail, "%S = 0x%X", name, static_cast<unsigned long>(reply.result));
            if (facts.versionKnown) Format(cli, detail, " (platform %u)", version.dwPlatformID);
        } else if (question.asks == Asks::Capabilities) {
            const SYSTEM_POWER_CAPABILITIES &capabilities = facts.capabilities;
            AppendAscii(answer, reply.result ? "yes" : "no");
            Format(cli, detail, "%S = %u", name, static_cast<unsigned long>(reply.result));
            if (reply.result) {
                Format(cli, detail, " (S1 %u, S2 %u, S3 %u, S4 %u, hibernation file %u)",
                       static_cast<unsigned long>(capabilities.SystemS1),
                       static_cast<unsigned long>(capabilities.SystemS2),
                       static_cast<unsigned long>(capabilities.SystemS3),
                       static_cast<unsigned long>(capabilities.SystemS4),
                       static_cast<unsigned long>(capabilities.HiberFilePresent));
            }
        } else {
            AppendAscii(answer, reply.result ? "yes" : "no");
            Format(cli, detail, "%S = %d", name, reply.result);
        }
        if (reply.present) Format(cli, detail, ", %E", reply.error);
        StatusLine(cli, out, question.words, answer.data, detail);
        Release(answer.data);
        Release(detail.data);
        if (reply.present && question.asks == Asks::Capabilities) {
            ModernStandbyLine(cli, out, facts.capabilitiesRead, facts.capabilities);
        }
    }
}

// The shell's dialogs are exported by ordinal only: the export of Quell.dll
// that reaches each names it, in the text report.
void AppendEntryLabel(Text &text, const LateBoundEntry &entry, bool json) {
    if (entry.name) return AppendAscii(text, entry.name);
    AppendAscii(text, "#");
    AppendNumber(text, entry.ordinal, 10, 1);
    if (json) return;
    if (entry.ordinal == RestartDialogOrdinal) Format(text, " (%S)", ExportName(Export_RestartDialog));
    if (entry.ordinal == ShutdownDialogOrdinal) Format(text, " (%S)", ExportName(Export_ShutdownDialog));
}

// Every entry of Quell.dll's late-bound libraries that it looks up on this
// system, with what the system's copy of its library offers: a line each, or
// for status --json the "entries" list, which ends the object. The table's
// names are plain ASCII: nothing in them needs escaping.
void EntriesReport(const Cli &cli, Text &out, Json *json, const StatusFacts &facts) {
    if (json) {
        JsonLine(*json, 1);
        JsonKey(*json, "entries");
        JsonOpen(*json, '[');
    } else {
        AppendAscii(out, "System entries that Quell.dll may use here (looked up, not called)\n");
    }
    for (unsigned l = 0; l < SystemLibraryCount; ++l) {
        const LateBoundLibrary &library = *SystemLibraries[l];
        for (unsigned e = 0; e < MaxLateBoundEntries; ++e) {
            const LateBoundEntry &entry = library.entries[e];
            if (!Applies(cli, entry)) continue;
            Offer offer = facts.offers[l][e];
            Text label{};
            AppendEntryLabel(label, entry, json != nullptr);
            if (json) {
                JsonLine(*json, 2);
                JsonOpen(*json, '{');
                JsonKey(*json, "library");
                JsonAscii(*json, library.fileName);
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
                Format(cli, out, "  %-14S %-30s %S\n", library.fileName, label.data,
                       offer == Offer::Offered   ? "offered"
                       : offer == Offer::Missing ? "missing"
                                                 : "unknown");
            }
            Release(label.data);
        }
    }
    if (json) {
        JsonClose(*json, '[');
        JsonClose(*json, '}');
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

// status --json up to its registry members: Quell.dll, the system, the answers
// and the capabilities. Without Quell.dll, "quell" is null and so is every answer.
void JsonReport(const Cli &cli, Json &json, const StatusFacts &facts) {
    JsonOpen(json, '{');
    JsonKey(json, "quell");
    if (cli.loaded) {
        JsonOpen(json, '{');
        JsonKey(json, "version");
        if (facts.versionKnown) {
            const DLLVERSIONINFO &version = facts.version;
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
    const struct {
        const char *name;
        DWORD value;
    } systemMembers[] = {{"platformId", system.dwPlatformId},
                         {"major", system.dwMajorVersion},
                         {"minor", system.dwMinorVersion},
                         {"build", cli.ansi ? LOWORD(system.dwBuildNumber) : system.dwBuildNumber}};
    JsonLine(json, 1);
    JsonKey(json, "system");
    JsonOpen(json, '{');
    for (const auto &member : systemMembers) {
        JsonKey(json, member.name);
        JsonUnsigned(json, member.value);
    }
    JsonClose(json, '}');
    // "name": {"result": n, "lastError": n}, or null for an export the library lacks.
    JsonLine(json, 1);
    JsonKey(json, "answers");
    JsonOpen(json, '{');
    for (unsigned i = 0; i < QuestionCount; ++i) {
        const Reply &reply = facts.replies[i];
        JsonKey(json, ExportName(Questions[i].entry));
        if (!reply.present) {
            JsonNull(json);
            continue;
        }
        JsonOpen(json, '{');
        JsonKey(json, "result");
        JsonNumber(json, reply.result);
        JsonKey(json, "lastError");
        JsonUnsigned(json, reply.error);
        JsonClose(json, '}');
    }
    JsonClose(json, '{');
    JsonLine(json, 1);
    JsonKey(json, "capabilities");
    if (!facts.capabilitiesRead) return JsonNull(json);
    const SYSTEM_POWER_CAPABILITIES &capabilities = facts.capabilities;
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
    StatusFacts facts;
    AskStatus(cli, facts);
    Text out{};
    Json report = JsonInto(out);
    if (json) {
        JsonReport(cli, report, facts);
        RegistryJson(report, facts.registry);
    } else {
        AnswerLines(cli, out, facts);
        RegistryText(cli, out, facts.registry);
    }
    EntriesReport(cli, out, json ? &report : nullptr, facts);
    Print(cli, STD_OUTPUT_HANDLE, out);
    Release(out.data);
    return cli.loaded ? CompletenessStatus(cli) : ExitNoLibrary;
}
