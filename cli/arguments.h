// Reading the command line: splitting it, names, numbers.
#pragma once

#include <windef.h>

// Splits a command line as the Microsoft C runtime does for argv. values has
// room for a pointer per character and two more, chars for every character
// and a terminator. Returns the number of values, the program's name first.
int SplitCommandLine(const wchar_t *line, wchar_t **values, wchar_t *chars);

// Whether what was typed is this command name, option or switch, in any case.
bool SameName(const wchar_t *typed, const wchar_t *name);
bool IsHelpFlag(const wchar_t *arg);

// A delay in seconds: decimal digits only, within 32 bits.
bool ParseSeconds(const wchar_t *text, DWORD &seconds);
