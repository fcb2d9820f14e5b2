#include "text.h"

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

// The pattern is ASCII: each of its characters widened is the text's.
static void AppendChar(Text &text, char c) {
    wchar_t wide = static_cast<wchar_t>(static_cast<unsigned char>(c));
    Append(text, &wide, 1);
}

void EndLine(Text &text) {
    while (text.length && text.data[text.length - 1] == L' ') Cut(text, text.length - 1);
    AppendAscii(text, "\n");
}

void AppendQuoted(Text &text, const wchar_t *chars) {
    AppendChar(text, '"');
    for (; *chars; ++chars) {
        wchar_t c = *chars;
        const char *escape = c == L'"'    ? "\\\""
                             : c == L'\\' ? "\\\\"
                             : c == L'\n' ? "\\n"
                             : c == L'\r' ? "\\r"
                             : c == L'\t' ? "\\t"
                                          : nullptr;
        if (escape) {
            AppendAscii(text, escape);
        } else if (c < 0x20 || c == 0x7F) {
            AppendAscii(text, "\\x");
            AppendNumber(text, c, 16, 2);
        } else {
            Append(text, &c, 1);
        }
    }
    AppendChar(text, '"');
}

void FormatV(Text &text, const char *pattern, va_list *args, Conversion more, const void *context) {
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
        case 's': Append(text, va_arg(*args, const wchar_t *)); break;
        case 'q': AppendQuoted(text, va_arg(*args, const wchar_t *)); break;
        case 'S': AppendAscii(text, va_arg(*args, const char *)); break;
        case 'u': AppendNumber(text, va_arg(*args, unsigned long), 10, 1); break;
        case 'X': AppendNumber(text, va_arg(*args, unsigned long), 16, 8); break;
        case 'd': {
            long value = va_arg(*args, long);
            if (value < 0) Append(text, L"-", 1);
            AppendNumber(text, value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value),
                         10, 1);
            break;
        }
        default:
            if (!more || !more(context, text, *at, args)) AppendChar(text, *at);
            break;
        }
        for (DWORD filled = text.length - start; filled < width; ++filled) Append(text, L" ", 1);
    }
}

void Format(Text &text, const char *pattern, ...) {
    va_list args;
    va_start(args, pattern);
    FormatV(text, pattern, &args);
    va_end(args);
}

// NT family: a console takes UTF-16 as it is, a pipe or a file gets UTF-8.
// Windows 95/98/Me: the console's code page, through WriteFile either way.
// What goes to a file or a pipe ends its lines with CR LF, as Windows programs' do.
void Print(const Output &output, DWORD stream, const Text &text) {
    if (!text.length) return;
    const Output &host = output;
    HANDLE handle = host.GetStdHandle(stream);
    DWORD mode = 0, written = 0;
    if (!output.ansi && host.GetConsoleMode(handle, &mode)) {
        // In pieces, as old consoles refuse long writes; a surrogate pair stays whole.
        for (DWORD at = 0; at < text.length; at += written) {
            DWORD piece = text.length - at < 4096 ? text.length - at : 4096;
            if (piece > 1 && piece < text.length - at && IS_HIGH_SURROGATE(text.data[at + piece - 1])) --piece;
            if (!host.WriteConsoleW(handle, text.data + at, piece, &written, nullptr) || !written) return;
        }
        return;
    }
    Text lines{};
    for (DWORD at = 0; at < text.length; ++at) {
        if (text.data[at] == L'\n' && (at == 0 || text.data[at - 1] != L'\r')) Append(lines, L"\r", 1);
        Append(lines, text.data + at, 1);
    }
    UINT codePage = output.ansi ? host.GetConsoleOutputCP() : CP_UTF8;
    if (!codePage) codePage = CP_OEMCP;  // no console: as the DOS box shows it
    int size = lines.length ? WideCharToMultiByte(codePage, 0, lines.data, static_cast<int>(lines.length), nullptr, 0,
                                                  nullptr, nullptr)
                            : 0;
    char *bytes = size > 0 ? static_cast<char *>(Grow(nullptr, static_cast<DWORD>(size))) : nullptr;
    if (bytes) {
        WideCharToMultiByte(codePage, 0, lines.data, static_cast<int>(lines.length), bytes, size, nullptr, nullptr);
        for (DWORD at = 0; at < static_cast<DWORD>(size); at += written) {
            if (!host.WriteFile(handle, bytes + at, static_cast<DWORD>(size) - at, &written, nullptr) || !written) {
                break;
            }
        }
    }
    Release(bytes);
    Release(lines.data);
}
