#include "messages.h"

namespace {

// Appends the message text, each insert (%1 to %99, with or without a !format!)
// replaced by the given text, and the trailing line break dropped.
void AppendWithInserts(Text &text, const wchar_t *message, DWORD length, const wchar_t *insert) {
    DWORD start = text.length;
    for (DWORD at = 0; at < length; ++at) {
        if (message[at] != L'%' || at + 1 == length || !IsDigit(message[at + 1]) || message[at + 1] == L'0') {
            Append(text, message + at, 1);
            continue;
        }
        DWORD end = at + 2;
        if (end < length && IsDigit(message[end])) ++end;
        if (end < length && message[end] == L'!') {
            DWORD close = end + 1;
            while (close < length && message[close] != L'!') ++close;
            if (close < length) end = close + 1;
        }
        Append(text, insert);
        at = end - 1;
    }
    while (text.length > start && text.data[text.length - 1] <= L' ') Cut(text, text.length - 1);
}

// The system's text for a last-error value. It is read with its inserts
// ignored (the system would otherwise read arguments that nobody passed), and
// they are then filled with the insert, or "..." without one: no raw %1 shows.
void AppendSystemMessage(const Cli &cli, Text &text, DWORD error, const wchar_t *insert) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD start = text.length;
    Text message{};
    if (cli.ansi) {
        char ansi[512];
        DWORD length = cli.host.FormatMessageA(flags, nullptr, error, 0, ansi, sizeof ansi, nullptr);
        AppendAnsi(message, ansi, static_cast<int>(length < sizeof ansi ? length : 0));
    } else {
        wchar_t wide[512];
        DWORD length = cli.host.FormatMessageW(flags, nullptr, error, 0, wide, 512, nullptr);
        Append(message, wide, length < 512 ? length : 0);
    }
    if (message.length) AppendWithInserts(text, message.data, message.length, insert ? insert : L"...");
    Release(message.data);
    if (text.length == start) AppendAscii(text, "no message text");
}

bool FrontEndConversion(const void *context, Text &text, char conversion, va_list *args) {
    const Cli &cli = *static_cast<const Cli *>(context);
    if (conversion != 'E' && conversion != 'F' && conversion != 'L') return false;
    DWORD error = va_arg(*args, DWORD);
    const wchar_t *insert = conversion == 'L' ? va_arg(*args, const wchar_t *) : nullptr;
    if (conversion == 'F' && error == 0) {
        AppendAscii(text, "no error code set");
        return true;
    }
    AppendAscii(text, "last error ");
    AppendNumber(text, error, 10, 1);
    AppendAscii(text, " (");
    AppendSystemMessage(cli, text, error, insert);
    AppendAscii(text, ")");
    return true;
}

}  // namespace

void Format(const Cli &cli, Text &text, const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    FormatV(text, pattern, &args, FrontEndConversion, &cli);
    va_end(args);
}

void Print(const Cli &cli, DWORD stream, const Text &text) {
    const CliHost &host = cli.host;
    Output output = {host.GetStdHandle, host.GetConsoleMode, host.GetConsoleOutputCP,
                     host.WriteFile,    host.WriteConsoleW,  cli.ansi};
    Print(output, stream, text);
}

void Say(const Cli &cli, DWORD stream, const char *pattern, ...) {
    Text text{};
    va_list args;
    va_start(args, pattern);
    FormatV(text, pattern, &args, FrontEndConversion, &cli);
    va_end(args);
    Print(cli, stream, text);
    Release(text.data);
}

int UsageError(const Cli &cli, const char *pattern, ...) {
    Text text{};
    AppendAscii(text, "quell: ");
    va_list args;
    va_start(args, pattern);
    FormatV(text, pattern, &args, FrontEndConversion, &cli);
    va_end(args);
    AppendAscii(text, "\nTry 'quell --help'.\n");
    Print(cli, STD_ERROR_HANDLE, text);
    Release(text.data);
    return ExitUsage;
}
