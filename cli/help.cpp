// The help text, printed from the tables that the parser reads.
#include "arguments.h"
#include "messages.h"
#include "parse.h"
#include "reports.h"

namespace {

#define QUELL_EXIT_MEANING(name, value, meaning) {value, meaning},
const struct {
    int status;
    const char *meaning;
} ExitMeanings[] = {QUELL_EXIT_STATUSES(QUELL_EXIT_MEANING)};
#undef QUELL_EXIT_MEANING

}  // namespace

void PrintHelp(const Cli &cli, const Command *) {
    Text text{};
    AppendAscii(text, "Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                      "Ends the Windows session or changes the power state through Quell.dll.\n"
                      "Commands and options may be written in any case.\n\n"
                      "Commands:\n");
    for (const Command *command : Commands) {
        Format(text, "  %S%S%S\n      %S", command->name, *command->arguments ? " " : "", command->arguments,
               command->effect);
        if (command->timed) {
            Format(text, ": %S --delay SECONDS --message MESSAGE", command->timed->name);
        }
        if (command->entry != NoExport) Format(text, " (%S)", ExportName(command->entry));
        if (command->forced && (command->options & OptionForce)) {
            Format(text, "; --force: %S", command->forced->name);
        }
        AppendAscii(text, "\n");
    }
    AppendAscii(text, "\nOptions (a command that does not take one says which do):\n");
    for (const Option &option : Options) {
        Format(text, "  %S%S%S\n      %S", option.name, option.value ? " " : "", option.value ? option.value : "",
               option.meaning);
        if (option.bit == OptionDelay) Format(text, "%u (ten years)", MaxDelay);
        AppendAscii(text, "\n");
    }
    for (const Option &option : Options) {
        if (option.bit & SystemRequestOptions) Format(text, "%S ", option.name);
    }
    AppendAscii(text, "make the system's shutdown request of shutdown, reboot, restart-apps and hybrid;\n"
                      "the other actions but the two dialogs wait in quell.exe, which `quell abort` and\n"
                      "Ctrl+C cancel.\n");
    AppendAscii(text, "\nThe standard shutdown command's syntax, without --yes:\n  ");
    AppendSwitchSyntax(text);
    AppendAscii(text, "\n");
    AppendAscii(
        text, "\nEvery command but status, blockers, pending, --version and help changes the session and does nothing\n"
              "without --yes: it then says what it would do and which export it would call, with which "
              "arguments.\nExit status:\n");
    for (const auto &exit : ExitMeanings) Format(text, "  %u  %S\n", exit.status, exit.meaning);
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}
