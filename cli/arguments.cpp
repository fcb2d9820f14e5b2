#include "arguments.h"

#include "text.h"

// Command names, options and switches: ASCII letters in either case.
static wchar_t Folded(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(const wchar_t *typed, const char *name) {
    while (*typed && Folded(*typed) == Folded(static_cast<unsigned char>(*name))) ++typed, ++name;
    return Folded(*typed) == Folded(static_cast<unsigned char>(*name));
}

bool IsHelpFlag(const wchar_t *arg) {
    return SameName(arg, "--help") || SameName(arg, "-h") || SameName(arg, "-?") || SameName(arg, "/?");
}

const wchar_t *ReadNumber(const wchar_t *text, DWORD max, DWORD &value) {
    value = 0;
    const wchar_t *c = text;
    for (; IsDigit(*c); ++c) {
        DWORD digit = static_cast<DWORD>(*c - L'0');
        if (value > (max - digit) / 10) return nullptr;
        value = value * 10 + digit;
    }
    return c == text ? nullptr : c;
}

bool ParseReason(const wchar_t *text, DWORD &reason) {
    DWORD flag = 0, major = 0, minor = 0;
    wchar_t kind = static_cast<wchar_t>(text[0] | 0x20);
    if ((kind == L'p' || kind == L'u') && text[1] == L':') {
        flag = kind == L'p' ? SHTDN_REASON_FLAG_PLANNED : SHTDN_REASON_FLAG_USER_DEFINED;
        text += 2;
    }
    text = ReadNumber(text, 255, major);
    if (!text || *text++ != L':') return false;
    text = ReadNumber(text, 65535, minor);
    if (!text || *text) return false;
    reason = flag | major << 16 | minor;
    return true;
}

int SplitCommandLine(const wchar_t *line, wchar_t **values, wchar_t *chars) {
    int count = 0;
    // The program name: quotes group, backslashes are plain characters.
    values[count++] = chars;
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        if (*line == L'"') {
            quoted = !quoted;
        } else {
            *chars++ = *line;
        }
    }
    *chars++ = 0;
    // The arguments: 2n backslashes and a quote give n backslashes and open or
    // close a quoted part; 2n+1 backslashes and a quote give n backslashes and a
    // quote; "" inside a quoted part gives a quote; blanks outside quotes part.
    for (;;) {
        while (*line == L' ' || *line == L'\t') ++line;
        if (!*line) break;
        values[count++] = chars;
        quoted = false;
        for (;;) {
            DWORD backslashes = 0;
            while (*line == L'\\') ++line, ++backslashes;
            bool copy = true;
            if (*line == L'"') {
                if (backslashes % 2 == 0) {
                    if (quoted && line[1] == L'"') {
                        ++line;
                    } else {
                        copy = false;
                        quoted = !quoted;
                    }
                }
                backslashes /= 2;
            }
            for (; backslashes; --backslashes) *chars++ = L'\\';
            if (!*line || (!quoted && (*line == L' ' || *line == L'\t'))) break;
            if (copy) *chars++ = *line;
            ++line;
        }
        *chars++ = 0;
    }
    return count;
}
