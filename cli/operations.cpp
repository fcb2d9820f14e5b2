// The commands that change the session: what each would do, the call that
// does it, and its outcome.
#include "commands.h"
#include "load_quell.h"
#include "text.h"

namespace {

void AppendEffect(const Cli &cli, Text &text, const Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::RestartDialog) {
        Append(text, L"show the shell's dialog that asks to restart, ");
        if (request.message) return Format(cli, text, L"with the prompt \"%s\"", request.message);
        return Append(text, L"with no prompt of its own");
    }
    if (!IsTimed(command.shape)) return Append(text, command.effect);
    Format(cli, text, L"%s this machine after %u seconds",
           command.shape == Shape::TimedReboot ? L"reboot" : L"shut down", request.delay);
    if (request.message) Format(cli, text, L", showing \"%s\" meanwhile", request.message);
    if (request.force) Append(text, L", closing applications without asking");
}

void AppendQuotedOrNull(Text &text, const wchar_t *value) {
    if (!value) return Append(text, L"NULL");
    Append(text, L"\"");
    Append(text, value);
    Append(text, L"\"");
}

// The call that carries the request out, as C would write it.
void AppendCall(const Cli &cli, Text &text, const Request &request) {
    const Command &command = *request.command;
    Format(cli, text, L"%S(", ExportName(cli, command));
    switch (command.shape) {
    case Shape::TimedShutdown:
    case Shape::TimedReboot:
        AppendQuotedOrNull(text, request.message);
        Format(cli, text, L", %u, %s", request.delay, request.force ? L"TRUE" : L"FALSE");
        break;
    case Shape::RestartDialog:
        Append(text, L"NULL, ");
        AppendQuotedOrNull(text, request.message);
        Append(text, L", EWX_REBOOT");
        break;
    case Shape::ShutdownDialog: Append(text, L"NULL"); break;
    default: break;
    }
    Append(text, L")");
}

// Calls the command's export; false when Quell.dll lacks it.
bool CallExport(const Cli &cli, const Request &request, LONG &result, DWORD &error) {
    const QuellEntries &quell = cli.quell;
    const Command &command = *request.command;
    const wchar_t *text = request.message;
    char *ansi = text && cli.ansi ? ToAnsi(text) : nullptr;
    BOOL force = request.force ? TRUE : FALSE;
    bool reboot = command.shape == Shape::TimedReboot;
    bool present = false;
    SetLastError(0);
    switch (command.shape) {
    case Shape::Plain:
        if ((present = quell.*command.plain != nullptr)) result = (quell.*command.plain)();
        break;
    case Shape::TimedShutdown:
    case Shape::TimedReboot:
        if (cli.ansi) {
            auto entry = reboot ? quell.LocalInitSystemRebootA : quell.LocalInitSystemShutdownA;
            if ((present = entry != nullptr)) result = entry(ansi, request.delay, force);
        } else {
            auto entry = reboot ? quell.LocalInitSystemRebootW : quell.LocalInitSystemShutdownW;
            if ((present = entry != nullptr)) result = entry(const_cast<wchar_t *>(text), request.delay, force);
        }
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

}  // namespace

int Perform(Cli &cli, const Request &request) {
    const Command &command = *request.command;
    const char *exportName = ExportName(cli, command);
    Text effect{};
    AppendEffect(cli, effect, request);
    if (!request.yes) {
        Text call{};
        AppendCall(cli, call, request);
        Say(cli, STD_ERROR_HANDLE, L"quell %s: would %s; would call %s. Nothing done: add --yes to do it.\n",
            command.name, effect.data, call.data);
        Release(call.data);
        Release(effect.data);
        return ExitUsage;
    }
    // A dialog may end the session before it returns.
    if (command.shape == Shape::RestartDialog || command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, L"quell %s: about to %s\n", command.name, effect.data);
    }
    Release(effect.data);
    if (!LibraryReady(cli)) return ExitNoLibrary;
    if (command.shape == Shape::ShutdownDialog && !ShellOffersShutdownDialog(cli)) return ExitFailed;

    LONG result = 0;
    DWORD error = 0;
    if (!CallExport(cli, request, result, error)) {
        Say(cli, STD_ERROR_HANDLE, L"quell: %S missing from Quell.dll\n", exportName);
        return ExitNoLibrary;
    }
    // The shell's shut-down dialog returns nothing: what Quell.dll passes back is no answer.
    if (command.shape == Shape::ShutdownDialog) {
        Say(cli, STD_OUTPUT_HANDLE, L"quell %s: shown\n", command.name);
        return ExitSuccess;
    }
    // The restart dialog answers IDYES when the user agreed to restart.
    bool done = command.shape == Shape::RestartDialog ? result == IDYES : result != 0;
    if (done) {
        Say(cli, STD_OUTPUT_HANDLE, L"%S = %d, %E\n", exportName, result, error);
        return ExitSuccess;
    }
    const wchar_t *outcome = result && command.shape == Shape::RestartDialog ? L"not restarted, the answer was not Yes"
                                                                             : L"failed";
    Say(cli, STD_ERROR_HANDLE, L"%S = %d, %F\nquell %s: %s\n", exportName, result, error, command.name, outcome);
    return ExitFailed;
}
