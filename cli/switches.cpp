// The standard shutdown command's syntax: a first argument starting with '/'
// (other than /?) makes the whole line switches. They fill the same request as
// the commands and options do, confirmed, as that command asks nothing.
#include "arguments.h"
#include "commands.h"
#include "text.h"

namespace {

// The modifiers' places in Switches, after the seven actions; a switch's bit is 1 << its place.
enum SwitchIndex : unsigned { Hybrid = 7, BootOptions, Force, Time, Comment, Reason, Machine };
constexpr unsigned SwitchHybrid = 1u << Hybrid, SwitchBootOptions = 1u << BootOptions, SwitchForce = 1u << Force,
                   SwitchTime = 1u << Time, SwitchComment = 1u << Comment, SwitchReason = 1u << Reason,
                   SwitchMachine = 1u << Machine;
constexpr unsigned TimedSwitches = SwitchForce | SwitchTime | SwitchComment | SwitchReason | SwitchMachine;
constexpr DWORD DefaultDelay = 30;

struct Switch {
    const char *name;
    const wchar_t *command;   // an action: the command it runs, looked up as typed
    WORD allows;              // an action: the bits of the switches it may be combined with
    BYTE option = 0;          // a modifier: the OptionBit it sets
    bool takesValue = false;  // the next argument is its value
};

const Switch Switches[] = {
    {"/s", L"shutdown", TimedSwitches | SwitchHybrid},
    {"/r", L"reboot", TimedSwitches | SwitchBootOptions},
    {"/g", L"restart-apps", TimedSwitches},
    {"/l", L"logoff", SwitchForce},
    {"/h", L"hibernate", 0},
    // Off at once, without a warning period; with /d as the system's request.
    {"/p", L"shutdown", SwitchForce | SwitchReason},
    {"/a", L"abort", SwitchMachine},
    {"/hybrid", nullptr, 0},
    {"/o", nullptr, 0, OptionBootOptions, false},
    {"/f", nullptr, 0, OptionForce, false},
    {"/t", nullptr, 0, OptionDelay, true},
    {"/c", nullptr, 0, OptionMessage, true},
    {"/d", nullptr, 0, OptionReason, true},
    {"/m", nullptr, 0, OptionMachine, true},
};
constexpr unsigned SwitchCount = sizeof Switches / sizeof Switches[0];

}  // namespace

int ParseSwitches(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    const wchar_t *seen[SwitchCount] = {};  // each switch as written
    const Switch *action = nullptr;
    for (int i = 1; i < argc; ++i) {
        const wchar_t *arg = argv[i];
        const Switch *found = nullptr;
        for (const Switch &known : Switches) {
            if (SameName(arg, known.name)) found = &known;
        }
        // Also what the standard command has and quell does not carry out: /i, /e, /fw, /soft, ...
        if (!found) return UsageError(cli, "unknown switch '%s'", arg);
        if (found->command && action) {
            return UsageError(cli, "%s cannot be used with %s", arg, seen[action - Switches]);
        }
        if (found->command) action = found;
        seen[found - Switches] = arg;
        const wchar_t *value = nullptr;
        if (found->takesValue) {
            if (++i == argc) return UsageError(cli, "%s needs a value", arg);
            value = argv[i];
        }
        int status = StoreOption(cli, {found->name, OptionBit(found->option), false}, value, request);
        if (status) return status;
    }
    if (!action) return UsageError(cli, "one of /s /r /g /l /h /p /a is needed");
    for (unsigned k = 0; k < SwitchCount; ++k) {
        if (seen[k] && !Switches[k].command && !(action->allows & 1u << k)) {
            return UsageError(cli, "%s cannot be used with %s", seen[k], seen[action - Switches]);
        }
    }
    request.command = FindCommand(seen[Hybrid] ? L"hybrid" : action->command);
    request.yes = true;
    // As the standard command: a warning period of 30 seconds unless /t says
    // otherwise, and one above 0 given with /t closes applications without asking.
    if (seen[Time] && request.delay) request.force = true;
    if ((action->allows & SwitchTime) && !seen[Time]) {
        request.delay = DefaultDelay;
        request.given |= OptionDelay;
    }
    return ExitSuccess;
}
