#include "text.h"

#include "json.h"

void *Grow(void *block, DWORD bytes) {
    HANDLE heap = GetProcessHeap();
    return block ? HeapReAlloc(heap, 0, block, bytes) : HeapAlloc(heap, 0, bytes);
}

void Release(void *block) {
    if (block) HeapFree(GetProcessHeap(), 0, block);
}

static bool Reserve(Text &text, DWORD length) {
    if (length < text.capacity) return true;
    DWORD capacity = text.capacity ? text.capacity : 128;
    while (capacity <= length) capacity *= 2;
    void *grown = Grow(text.data, capacity * sizeof(wchar_t));
    if (!grown) return false;
    text.data = static_cast<wchar_t *>(grown);
    text.capacity = capacity;
    return true;
}

void Append(Text &text, const wchar_t *chars, DWORD count) {
    if (!Reserve(text, text.length + count)) return;
    for (DWORD i = 0; i < count; ++i) text.data[text.length++] = chars[i];
    text.data[text.length] = 0;
}

void Cut(Text &text, DWORD length) {
    text.length = length;
    if (text.data) text.data[length] = 0;
}

DWORD Length(const wchar_t *text) {
    DWORD length = 0;
    while (text[length]) ++length;
    return length;
}

void Append(Text &text, const wchar_t *chars) { Append(text, chars, Length(chars)); }

void AppendAscii(Text &text, const char *ascii) {
    for (; *ascii; ++ascii) {
        wchar_t wide = static_cast<unsigned char>(*ascii);
        Append(text, &wide, 1);
    }
}

void AppendAnsi(Text &text, const char *ansi, int count) {
    int length = count > 0 ? MultiByteToWideChar(CP_ACP, 0, ansi, count, nullptr, 0) : 0;
    if (length <= 0 || !Reserve(text, text.length + static_cast<DWORD>(length))) return;
    MultiByteToWideChar(CP_ACP, 0, ansi, count, text.data + text.length, length);
    Cut(text, text.length + static_cast<DWORD>(length));
}

char *ToAnsi(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    char *ansi = size > 0 ? static_cast<char *>(Grow(nullptr, static_cast<DWORD>(size))) : nullptr;
    if (ansi) WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, size, nullptr, nullptr);
    return ansi;
}

void AppendNumber(Text &text, unsigned long value, unsigned base, int digits) {
    wchar_t buffer[12];
    int at = 12;
    do {
        buffer[--at] = L"0123456789ABCDEF"[value % base];
        value /= base;
    } while (value || 12 - at < digits);
    Append(text, buffer + at, static_cast<DWORD>(12 - at));
}

// Appends the message text, each insert (%1 to %99, with or without a !format!)
// replaced by the given text, and the trailing line break dropped.
static void AppendWithInserts(Text &text, const wchar_t *message, DWORD length, const wchar_t *insert) {
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
static void AppendSystemMessage(const Cli &cli, Text &text, DWORD error, const wchar_t *insert) {
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

// The pattern is ASCII: each of its characters widened is the text's.
static void AppendChar(Text &text, char c) {
    wchar_t wide = static_cast<wchar_t>(static_cast<unsigned char>(c));
    Append(text, &wide, 1);
}

void FormatV(const Cli &cli, Text &text, const char *pattern, va_list args) {
    for (const char *at = pattern; *at; ++at) {
        if (*at != '%') {
            AppendChar(text, *at);
            continue;
        }
        DWORD width = 0;
        if (*++at == '-') {
            while (IsDigit(*++at)) width = width * 10 + static_cast<DWORD>(*at - '0');
        }
        DWORD start = text.length;
        switch (*at) {
        case 's': Append(text, va_arg(args, const wchar_t *)); break;
        case 'J': AppendJsonString(text, va_arg(args, const wchar_t *)); break;
        case 'S': AppendAscii(text, va_arg(args, const char *)); break;
        case 'u': AppendNumber(text, va_arg(args, unsigned long), 10, 1); break;
        case 'X': AppendNumber(text, va_arg(args, unsigned long), 16, 8); break;
        case 'd': {
            long value = va_arg(args, long);
            if (value < 0) Append(text, L"-", 1);
            AppendNumber(text, value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value),
                         10, 1);
            break;
        }
        case 'E':
        case 'F':
        case 'L': {
            DWORD error = va_arg(args, DWORD);
            const wchar_t *insert = *at == 'L' ? va_arg(args, const wchar_t *) : nullptr;
            if (*at == 'F' && error == 0) {
                AppendAscii(text, "no error code set");
                break;
            }
            AppendAscii(text, "last error ");
            AppendNumber(text, error, 10, 1);
            AppendAscii(text, " (");
            AppendSystemMessage(cli, text, error, insert);
            AppendAscii(text, ")");
            break;
        }
        default: AppendChar(text, *at); break;
        }
        for (DWORD filled = text.length - start; filled < width; ++filled) Append(text, L" ", 1);
    }
}

void Format(const Cli &cli, Text &text, const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    FormatV(cli, text, pattern, args);
    va_end(args);
}

// NT family: a console takes UTF-16 as it is, a pipe or a file gets UTF-8.
// Windows 95/98/Me: the console's code page, through WriteFile either way.
void Print(const Cli &cli, DWORD stream, const Text &text) {
    if (!text.length) return;
    const CliHost &host = cli.host;
    HANDLE handle = host.GetStdHandle(stream);
    DWORD mode = 0, written = 0;
    if (!cli.ansi && host.GetConsoleMode(handle, &mode)) {
        // In pieces, as old consoles refuse long writes; a surrogate pair stays whole.
        for (DWORD at = 0; at < text.length; at += written) {
            DWORD piece = text.length - at < 4096 ? text.length - at : 4096;
            if (piece > 1 && piece < text.length - at && IS_HIGH_SURROGATE(text.data[at + piece - 1])) --piece;
            if (!host.WriteConsoleW(handle, text.data + at, piece, &written, nullptr) || !written) return;
        }
        return;
    }
    UINT codePage = cli.ansi ? host.GetConsoleOutputCP() : CP_UTF8;
    if (!codePage) codePage = CP_OEMCP;  // no console: as the DOS box shows it
    int size = WideCharToMultiByte(codePage, 0, text.data, static_cast<int>(text.length), nullptr, 0, nullptr, nullptr);
    char *bytes = size > 0 ? static_cast<char *>(Grow(nullptr, static_cast<DWORD>(size))) : nullptr;
    if (!bytes) return;
    WideCharToMultiByte(codePage, 0, text.data, static_cast<int>(text.length), bytes, size, nullptr, nullptr);
    for (DWORD at = 0; at < static_cast<DWORD>(size); at += written) {
        if (!host.WriteFile(handle, bytes + at, static_cast<DWORD>(size) - at, &written, nullptr) || !written) break;
    }
    Release(bytes);
}

// Formats and prints one message between a fixed beginning and end.
static void SayV(const Cli &cli, DWORD stream, const char *before, const char *pattern, va_list args,
                 const char *after) {
    Text text{};
    AppendAscii(text, before);
    FormatV(cli, text, pattern, args);
    AppendAscii(text, after);
    Print(cli, stream, text);
    Release(text.data);
}

void Say(const Cli &cli, DWORD stream, const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    SayV(cli, stream, "", pattern, args, "");
    va_end(args);
}

int UsageError(const Cli &cli, const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    SayV(cli, STD_ERROR_HANDLE, "quell: ", pattern, args, "\nTry 'quell --help'.\n");
    va_end(args);
    return ExitUsage;
}
