// Reading a command line into a request, in either syntax.
#pragma once

#include "commands.h"

// Reads the command line (argv[0] is the program) into a request; ExitSuccess,
// or the exit status of a usage error that it has reported.
int ParseCommandLine(const Cli &cli, int argc, wchar_t **argv, Request &request);
// The standard shutdown command's syntax: the whole command line, argv[1] first.
int ParseSwitches(const Cli &cli, int argc, wchar_t **argv, Request &request);
// That syntax for the help text, from the same tables.
void AppendSwitchSyntax(Text &text);
// Files an option's value (null for a flag) in the request; ExitSuccess or a
// usage error naming the option as written.
int StoreOption(const Cli &cli, OptionBit bit, const wchar_t *written, const wchar_t *value, Request &request);
