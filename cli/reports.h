// The commands that report rather than act.
#pragma once

#include "commands.h"

void PrintHelp(const Cli &cli, const Command *about);
int Status(Cli &cli, bool json);
int Version(Cli &cli);
int Blockers(Cli &cli, bool json);
int Pending(Cli &cli, bool json);
