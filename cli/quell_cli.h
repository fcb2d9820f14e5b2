// The command-line front end of Quell.dll without the process around it: every
// system call it makes goes through its host, so a test can run it on a fake
// Windows NT or a fake Windows 95 and watch each call.
#pragma once

#include "host.h"

// The exit status, for scripts.
constexpr int ExitSuccess = 0;
constexpr int ExitFailed = 1;     // the system refused or failed; its error is printed
constexpr int ExitUsage = 2;      // a usage error, or --yes missing
constexpr int ExitNoLibrary = 3;  // Quell.dll missing, not loadable, or lacking a needed export
constexpr int ExitCancelled = 4;  // a wait was cancelled: Ctrl+C, the console closed, or quell abort

// Reads the command line, runs the command and returns the exit status.
int RunQuell(const CliHost &host);
