// Moments in local time as whole seconds since 1980-01-01 00:00 local: a DWORD
// holds them until 2116, and no 64-bit division (a C runtime routine) is needed.
#pragma once

#include "cli.h"

struct Text;

DWORD MomentOf(const SYSTEMTIME &time);
// The local time now, as the host's clock says.
DWORD Now(const Cli &cli);
// Whether the local clock shows the moment; false for one that daylight saving
// time skips (known from XP on, where the system converts local times).
bool Occurs(const Cli &cli, DWORD moment);
// The seconds that pass until the local clock shows the moment (the first time,
// where the end of daylight saving time repeats an hour); 0 when it has come.
DWORD SecondsUntil(const Cli &cli, DWORD moment);
// YYYY-MM-DD HH:MM, or HH:MM when the moment is today.
void AppendMoment(const Cli &cli, Text &text, DWORD moment);
// YYYY-MM-DDTHH:MM:SS, as JSON gives it.
void AppendIsoMoment(Text &text, DWORD moment);
// --at's value: HH:MM (the next such moment, today or tomorrow) or
// YYYY-MM-DDTHH:MM; false when it is no such time or date.
bool ParseMoment(const Cli &cli, const wchar_t *text, DWORD &moment);
