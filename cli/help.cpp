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

// A command as the list of commands shows it: its name and operands, what it
// does and by which export.
void AppendCommand(Text &text, const char *before, const Command &command) {
    Format(text, "%S%S%S%S\n      %S", before, command.name, *command.operands ? " " : "", command.operands,
           command.effect);
    if (command.timed) Format(text, ": %S --delay SECONDS --message MESSAGE", command.timed->name);
    if (command.entry != NoExport) Format(text, " (%S)", ExportName(command.entry));
    if (command.forced && (command.options & OptionForce)) Format(text, "; --force: %S", command.forced->name);
    AppendAscii(text, "\n");
}

void AppendOption(Text &text, const Option &option) {
    Format(text, "  %S%S%S\n      %S", option.name, option.value ? " " : "", option.value ? option.value : "",
           option.meaning);
    if (option.bit == OptionDelay) Format(text, "%u (ten years)", MaxDelay);
    AppendAscii(text, "\n");
}

// What the commands have in common: the system's request, the waits, the
// other syntax and --yes.
void AppendNotes(Text &text) {
    for (const Option &option : Options) {
        if (option.bit & SystemRequestOptions) Format(text, "%S ", option.name);
    }
    AppendAscii(text, "make the system's shutdown request of the commands that take them;\n"
                      "the other actions but the two dialogs wait in quell.exe, which `quell abort` and\n"
                      "Ctrl+C cancel.\n");
    AppendAscii(text, "\nThe standard shutdown command's syntax, without --yes:\n  ");
    AppendSwitchSyntax(text);
    AppendAscii(text, "\n\nEvery command but");
    // Those that change nothing take no --yes.
    const char *separator = " ";
    for (unsigned i = 0; i < CommandCount; ++i) {
        const Command *command = Commands[i];
        if (command->options & OptionYes) continue;
        Format(text, "%S%S", separator, command->name);
        separator = ", ";
    }
    AppendAscii(text, " changes the session and does nothing\n"
                      "without --yes: it then says what it would do and which export it would call, with which "
                      "arguments.\n");
}

}  // namespace

void PrintHelp(const Cli &cli, const Command *about) {
    Text text{};
    if (!about) {
        AppendAscii(text, "Usage: quell COMMAND [ARGUMENTS] [--yes]\n"
                          "Ends the Windows session or changes the power state through Quell.dll.\n"
                          "Commands and options may be written in any case; quell help COMMAND shows its options.\n\n"
                          "Commands:\n");
    }
    for (unsigned i = 0; i < CommandCount; ++i) {
        const Command *command = Commands[i];
        if (!about || command == about) AppendCommand(text, about ? "Usage: quell " : "  ", *command);
    }
    // A command's own options are those of its bits.
    if (!about || about->options) {
        AppendAscii(text, about ? "\nOptions:\n" : "\nOptions (a command that does not take one says which do):\n");
    }
    for (const Option &option : Options) {
        if (!about || (about->options & option.bit)) AppendOption(text, option);
    }
    if (!about) AppendNotes(text);
    AppendAscii(text, "\nExit status:\n");
    for (const auto &exit : ExitMeanings) Format(text, "  %u  %S\n", exit.status, exit.meaning);
    Print(cli, STD_OUTPUT_HANDLE, text);
    Release(text.data);
}
