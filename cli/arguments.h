// Reading the command line: splitting it, names, numbers.
#pragma once

#include <windef.h>

// Splits a command line as the Microsoft C runtime does for argv. values has
// room for a pointer per character and two more, chars for every character
// and a terminator. Returns the number of values, the program's name first.
int SplitCommandLine(const wchar_t *line, wchar_t **values, wchar_t *chars);

// Whether what was typed is this command name, option or switch (ASCII), in any case.
bool SameName(const wchar_t *typed, const char *name);
bool IsHelpFlag(const wchar_t *arg);

// A decimal number of at most max; what follows it, or null when there is none or it is larger.
const wchar_t *ReadNumber(const wchar_t *text, DWORD max, DWORD &value);
// A whole number (a delay, a process id): decimal digits only, at most max.
inline bool ParseWholeNumber(const wchar_t *text, DWORD max, DWORD &value) {
    const wchar_t *end = ReadNumber(text, max, value);
    return end && !*end;
}
// The longest warning period the system takes: ten years.
constexpr DWORD MaxDelay = 315360000;
// A shutdown reason as the standard shutdown command writes it,
// [p:|u:]MAJOR:MINOR in decimal, in the form the system takes.
bool ParseReason(const wchar_t *text, DWORD &reason);
