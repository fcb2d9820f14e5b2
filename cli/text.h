// Text on the process heap and the front end's output. The code runs without a
// C runtime: text lives in heap buffers and is formatted here.
#pragma once

#include <stdarg.h>

#include "cli.h"

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
void AppendAscii(Text &text, const char *ascii);  // export and library names
void AppendAnsi(Text &text, const char *ansi, int count);
void AppendNumber(Text &text, unsigned long value, unsigned base, int digits);
void Cut(Text &text, DWORD length);
DWORD Length(const wchar_t *text);
inline bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
// The text in the ANSI code page on the heap, for Windows 95/98/Me; null when
// it cannot be made.
char *ToAnsi(const wchar_t *text);

// A small printf over an ASCII pattern: %s wide string, %J the same as a JSON
// string, %S ASCII string, %d long, %u unsigned long, %X unsigned long in eight hex digits, %E "last error N (text)"
// for a DWORD, %F the same after a failure, where 0 means the call set no error code, %L the same as %E for a DWORD and
// then the wide text that fills the message's inserts (a file name). "-N" after % pads to N characters.
void FormatV(const Cli &cli, Text &text, const char *pattern, va_list args);
void Format(const Cli &cli, Text &text, const char *pattern, ...);
// Writes the text to STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
void Print(const Cli &cli, DWORD stream, const Text &text);
// Formats and prints one message.
void Say(const Cli &cli, DWORD stream, const char *pattern, ...);
// "quell: " and the message on standard error, then the hint at --help; ExitUsage.
int UsageError(const Cli &cli, const char *pattern, ...);
