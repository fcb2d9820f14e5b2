// The commands that change the session: what each would do, the call that
// does it, and its outcome.
#include "commands.h"
#include "load_quell.h"
#include "text.h"

namespace {

void AppendEffect(const Cli &cli, Text &text, const Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::RestartDialog) {
        AppendAscii(text, "show the shell's dialog that asks to restart, ");
        if (request.message) return Format(cli, text, "with the prompt \"%s\"", request.message);
        return AppendAscii(text, "with no prompt of its own");
    }
    AppendAscii(text, command.effect);
}

void AppendQuotedOrNull(Text &text, const wchar_t *value) {
    if (!value) return AppendAscii(text, "NULL");
    AppendAscii(text, "\"");
    Append(text, value);
    AppendAscii(text, "\"");
}

// The call that carries the request out, as C would write it.
void AppendCall(const Cli &cli, Text &text, const Request &request) {
    const Command &command = *request.command;
    Format(cli, text, "%S(", command.exportName);
    switch (command.shape) {
    case Shape::RestartDialog:
        AppendAscii(text, "NULL, ");
        AppendQuotedOrNull(text, request.message);
        AppendAscii(text, ", EWX_REBOOT");
        break;
    case Shape::ShutdownDialog: AppendAscii(text, "NULL"); break;
    default: break;
    }
    AppendAscii(text, ")");
}

// Calls the command's export; false when Quell.dll lacks it.
bool CallExport(const Cli &cli, const Request &request, LONG &result, DWORD &error) {
    const QuellEntries &quell = cli.quell;
    const Command &command = *request.command;
    const wchar_t *text = request.message;
    char *ansi = text && cli.ansi ? ToAnsi(text) : nullptr;
    bool present = false;
    SetLastError(0);
    switch (command.shape) {
    case Shape::Plain:
        if ((present = quell.*command.plain != nullptr)) result = (quell.*command.plain)();
        break;
    case Shape::RestartDialog:
        // On Windows 95/98/Me the shell's dialog takes its prompt as ANSI text.
        if ((present = quell.RestartDialog != nullptr)) {
            result = quell.RestartDialog(nullptr, cli.ansi ? reinterpret_cast<LPCWSTR>(ansi) : text, EWX_REBOOT);
        }
        break;
    case Shape::ShutdownDialog:
        if ((present = quell.ShutdownDialog != nullptr)) quell.ShutdownDialog(nullptr);
        break;
    default: break;
    }
    error = GetLastError();
    Release(ansi);
    return present;
}

// A forced request is the forced command where there is one: shutdown --force is force-shutdown.
const Command *ForcedCommand(const Command &command) {
    Text name{};
    AppendAscii(name, "force-");
    AppendAscii(name, command.name);
    const Command *forced = name.data ? FindCommand(name.data) : nullptr;
    Release(name.data);
    return forced ? forced : &command;
}

}  // namespace

int Perform(Cli &cli, const Request &asked) {
    Request request = asked;
    if (request.force) request.command = ForcedCommand(*request.command);
    const Command &command = *request.command;
    const char *name = asked.command->name;  // as the user asked for it
    const char *exportName = nullptr;
    Route route = ChooseRoute(cli, request, exportName);
    if (route == Route::NotAvailable) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: this system lacks %S\n", name, exportName);
        return ExitFailed;
    }
    Text effect{}, call{};
    if (route == Route::Immediate) {
        AppendEffect(cli, effect, request);
        AppendCall(cli, call, request);
    } else {
        AppendRoute(cli, effect, call, request, route, exportName);
    }
    if (!request.yes) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: would %s; would call %s. Nothing done: add --yes to do it.\n", name,
            effect.data, call.data);
        Release(call.data);
        Release(effect.data);
        return ExitUsage;
    }
    Release(call.data);
    // A dialog may end the session before it returns.
    if (command.shape == Shape::RestartDialog || command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, "quell %S: about to %s\n", name, effect.data);
    }
    Release(effect.data);
    if (!LibraryReady(cli)) return ExitNoLibrary;
    if (command.shape == Shape::ShutdownDialog && !ShellOffersShutdownDialog(cli)) return ExitFailed;

    LONG result = 0;
    DWORD error = 0;
    bool done = false;
    bool present = route == Route::Immediate ? CallExport(cli, request, result, error)
                                             : CallRoute(cli, request, route, exportName, result, error, done);
    if (!present && route == Route::RemoteAbort) {
        Say(cli, STD_ERROR_HANDLE, "quell %S: not available: the system's advapi32.dll lacks %S\n", name, exportName);
        return ExitFailed;
    }
    if (!present) {
        Say(cli, STD_ERROR_HANDLE, "quell: %S missing from Quell.dll\n", exportName);
        return ExitNoLibrary;
    }
    // The shell's shut-down dialog returns nothing: what Quell.dll passes back is no answer.
    if (command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, "quell %S: shown\n", name);
        return ExitSuccess;
    }
    // The restart dialog answers IDYES when the user agreed to restart.
    if (route == Route::Immediate) done = command.shape == Shape::RestartDialog ? result == IDYES : result != 0;
    if (done) {
        Say(cli, STD_OUTPUT_HANDLE, "%S = %d, %E\n", exportName, result, error);
        return ExitSuccess;
    }
    const char *outcome =
        result && command.shape == Shape::RestartDialog ? "not restarted, the answer was not Yes" : "failed";
    Say(cli, STD_ERROR_HANDLE, "%S = %d, %F\nquell %S: %S\n", exportName, result, error, name, outcome);
    return ExitFailed;
}
