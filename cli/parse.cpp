// Reading the command line into a request: the command, its options and its
// operands, each checked against the tables.
#include "arguments.h"
#include "messages.h"
#include "parse.h"

namespace {

// An option given to a command that does not take it: which commands do.
int NotAnOptionOf(const Cli &cli, const Command &command, const Option &option, const wchar_t *written) {
    if (option.bit == OptionForce && command.forced) {
        return UsageError(cli, "%S does not take %s: use %S", command.name, written, command.forced->name);
    }
    Text takers{};
    for (unsigned i = 0; i < CommandCount; ++i) {
        const Command *taker = Commands[i];
        if (taker->options & option.bit) Format(takers, "%S%S", takers.length ? ", " : "", taker->name);
    }
    int status = UsageError(cli, "%S does not take %s; %s take%S it", command.name, written,
                            takers.data ? takers.data : L"no command", takers.length ? "" : "s");
    Release(takers.data);
    return status;
}

// Files the operands under the options that mean the same.
int StoreOperands(const Cli &cli, int count, wchar_t **operands, Request &request) {
    const Command &command = *request.command;
    if (command.shape == Shape::Help && count) {
        request.about = FindCommand(operands[0]);
        return request.about ? ExitSuccess : UsageError(cli, "help: unknown command %q", operands[0]);
    }
    if (command.shape == Shape::RestartDialog && count) request.message = operands[0];
    if (command.shape != Shape::Timed) return ExitSuccess;
    if (!count) return UsageError(cli, "%S needs SECONDS", command.name);
    if (count > 1) {
        if (Has(request, OptionMessage)) {
            return UsageError(cli, "%S: the message is given twice, as MESSAGE and as --message", command.name);
        }
        request.message = operands[1];
    }
    if (Has(request, OptionDelay)) {
        return UsageError(cli, "%S: the delay is given twice, as SECONDS and as --delay", command.name);
    }
    return StoreOption(cli, OptionDelay, L"SECONDS", operands[0], request);
}

int MaxOperands(Shape shape) {
    if (shape == Shape::Timed) return 2;
    return shape == Shape::RestartDialog || shape == Shape::Help ? 1 : 0;
}

}  // namespace

int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    if (argc < 2) return UsageError(cli, "no command given");
    const wchar_t *name = argv[1];
    // The switches' parser reads its own operands (a /c comment may be "-h").
    if (name[0] == L'/' && !IsHelpFlag(name)) return ParseSwitches(cli, argc, argv, request);
    for (int i = 1; i < argc && !SameName(argv[i], "--"); ++i) {
        if (!IsHelpFlag(argv[i])) continue;
        request.command = &commands::Help;
        request.about = FindCommand(name);
        return ExitSuccess;
    }
    request.command = FindCommand(name);
    if (!request.command) return UsageError(cli, "unknown command %q", name);

    const Command &command = *request.command;
    wchar_t *operands[2];
    int operandCount = 0;
    bool operandsOnly = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t *arg = argv[i];
        // "-5" is a number, not an option: SECONDS then says what is wrong with it.
        bool isOption = !operandsOnly && arg[0] == L'-' && arg[1] != L'\0' && !IsDigit(arg[1]);
        if (isOption && SameName(arg, "--")) {
            operandsOnly = true;
            continue;
        }
        if (isOption) {
            const Option *option = nullptr;
            for (const Option &known : Options) {
                if (SameName(arg, known.name)) option = &known;
            }
            if (!option) return UsageError(cli, "%S: unknown option %q", command.name, arg);
            if (!(command.options & option->bit)) return NotAnOptionOf(cli, command, *option, arg);
            const wchar_t *value = nullptr;
            if (option->value) {
                if (i + 1 == argc) return UsageError(cli, "%S: %s needs a value", command.name, arg);
                value = argv[++i];
            }
            if (int status = StoreOption(cli, option->bit, arg, value, request)) return status;
        } else if (operandCount < MaxOperands(command.shape)) {
            operands[operandCount++] = arg;
        } else {
            return UsageError(cli, "%S: unexpected argument %q", command.name, arg);
        }
    }
    return StoreOperands(cli, operandCount, operands, request);
}
