// What an action will really do and why it did not: the display turned off,
// the registry's pending reboot and fast startup for status, and the likely
// cause of a refusal.
#pragma once

#include <stddef.h>

#include "plan.h"

struct Text;
struct Json;

// The power capabilities record's AoAc member, byte 20, set on a machine with
// Modern Standby, where S0 low power idle takes the place of S1 to S3; MinGW's
// header calls it spare2[2].
constexpr size_t AoAcOffset = 20;
static_assert(sizeof(SYSTEM_POWER_CAPABILITIES) == 76);
static_assert(offsetof(SYSTEM_POWER_CAPABILITIES, spare2) + 2 == AoAcOffset);

// display-off's call, and its last argument: SC_MONITORPOWER's "the display is being shut off".
constexpr const char *DisplayOffCall = "DefWindowProcA";
constexpr DWORD MonitorOff = 2;
// Turns the display off as the plan says; the exit status. On trial, before a
// wait, it only makes and destroys the window it needs, and says when it cannot.
int TurnDisplayOff(const Cli &cli, const Plan &plan, bool trial = false);

// status: what the registry says, read once. Whether a reboot is pending, by
// each of its sources in the order of the report's list; HiberbootEnabled,
// which is on where fast startup is.
constexpr unsigned RegistrySourceCount = 4;
struct RegistryFacts {
    DWORD pendingError;  // not 0: whether a reboot is pending is unknown
    bool pending[RegistrySourceCount];
    bool hiberboot;     // HiberbootEnabled is there
    bool readable;      // and is a DWORD
    DWORD type;         // its type
    DWORD fastStartup;  // its value, where readable
    DWORD powerError;   // not 0: it could not be read
};
RegistryFacts AskRegistry(const Cli &cli);
// The facts as lines of the report, or as "rebootPending" and "fastStartup" of status --json's object.
void RegistryText(const Cli &cli, Text &out, const RegistryFacts &facts);
void RegistryJson(Json &json, const RegistryFacts &facts);

// One more line after a refused or failed request where its last-error value
// has a known cause.
void SayWhy(const Cli &cli, const Plan &plan, DWORD error);
