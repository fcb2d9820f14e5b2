// The front end's messages: its formats over the text layer's, and where they go.
#pragma once

#include "cli.h"
#include "text.h"

// Format with the front end's own conversions: %E "last error N (text)" for a
// DWORD, %F the same after a failure, where 0 means the call set no error code,
// %L the same as %E for a DWORD and then the wide text that fills the
// message's inserts (a file name).
void Format(const Cli &cli, Text &text, const char *pattern, ...);
void Print(const Cli &cli, DWORD stream, const Text &text);
// Formats and prints one message.
void Say(const Cli &cli, DWORD stream, const char *pattern, ...);
// "quell: " and the message on standard error, then the hint at --help; ExitUsage.
int UsageError(const Cli &cli, const char *pattern, ...);
