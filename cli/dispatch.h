// Running a request.
#pragma once

#include "commands.h"

// Carries the request out and returns the exit status.
int Execute(Cli &cli, const Request &request);
