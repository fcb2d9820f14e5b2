// Text on the process heap, formatting, and writing it to a console, a file or
// a pipe. The code runs without a C runtime: text lives in heap buffers and is
// formatted here. Nothing here knows what the text says.
#pragma once

#include <stdarg.h>

#include <windows.h>

void *Grow(void *block, DWORD bytes);
void Release(void *block);

// UTF-16 text on the process heap, kept null-terminated, grown as it is
// appended to. A failed allocation leaves it as it was: the output is then cut.
struct Text {
    wchar_t *data;
    DWORD length;
    DWORD capacity;
};

void Append(Text &text, const wchar_t *chars, DWORD count);
void Append(Text &text, const wchar_t *chars);
void AppendAscii(Text &text, const char *ascii);
void AppendAnsi(Text &text, const char *ansi, int count);
void AppendNumber(Text &text, unsigned long value, unsigned base, int digits);
// The text in double quotes as C would write it: quotes, backslashes and
// control characters escaped, so that it shows on one line as it is.
void AppendQuoted(Text &text, const wchar_t *chars);
void Cut(Text &text, DWORD length);
// Ends the line: the blanks at its end dropped, a line break appended.
void EndLine(Text &text);
DWORD Length(const wchar_t *text);
inline bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
// The text in the ANSI code page on the heap, for Windows 95/98/Me; null when
// it cannot be made.
char *ToAnsi(const wchar_t *text);

// A conversion the caller adds to the pattern's own: appends what the
// conversion character stands for, taking its arguments; false when it knows
// none by that character.
using Conversion = bool (*)(const void *context, Text &text, char conversion, va_list *args);

// A small printf over an ASCII pattern: %s wide string, %q the same quoted
// (AppendQuoted), %S ASCII string, %d long, %u unsigned long, %X unsigned long
// in eight hex digits; others through the caller's conversion. "-N" after %
// pads to N characters.
void FormatV(Text &text, const char *pattern, va_list *args, Conversion more = nullptr, const void *context = nullptr);
void Format(Text &text, const char *pattern, ...);

// Where output goes: the system functions that write to the standard handles.
struct Output {
    HANDLE(WINAPI *GetStdHandle)(DWORD stream);
    BOOL(WINAPI *GetConsoleMode)(HANDLE console, LPDWORD mode);
    UINT(WINAPI *GetConsoleOutputCP)();
    BOOL(WINAPI *WriteFile)(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped);
    BOOL(WINAPI *WriteConsoleW)(HANDLE console, const void *text, DWORD length, LPDWORD written, LPVOID reserved);
    bool ansi;  // Windows 95/98/Me: the console's code page through WriteFile, no W function
};
// Writes the text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE: a console takes
// it as it is, a file or a pipe gets its lines ended with CR LF.
void Print(const Output &output, DWORD stream, const Text &text);
