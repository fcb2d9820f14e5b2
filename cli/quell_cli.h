// The command-line front end of Quell.dll without the process around it: every
// system call it makes goes through its host, so a test can run it on a fake
// Windows NT or a fake Windows 95 and watch each call.
#pragma once

#include "host.h"

// The exit statuses, for scripts: each with what it means, which the help text
// prints and README's list repeats.
#define QUELL_EXIT_STATUSES(X)                                                                                         \
  X(ExitSuccess, 0, "done")                                                                                            \
  X(ExitFailed, 1, "the system refused or failed (its error is printed), or it is not available here")                 \
  X(ExitUsage, 2, "usage error, or --yes missing")                                                                     \
  X(ExitNoLibrary, 3, "Quell.dll missing, not loadable, or lacking the export")                                        \
  X(ExitCancelled, 4, "cancelled while it waited (Ctrl+C, the console closed, or quell abort)")
#define QUELL_EXIT_STATUS(name, value, meaning) name = value,
enum ExitStatus : int { QUELL_EXIT_STATUSES(QUELL_EXIT_STATUS) };
#undef QUELL_EXIT_STATUS

// Reads the command line, runs the command and returns the exit status.
int RunQuell(const CliHost &host);
