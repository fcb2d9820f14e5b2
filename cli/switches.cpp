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
    Option option;
    const wchar_t *command;  // an action: the command it runs
    unsigned allows;         // an action: the SwitchBits it may be combined with
};

const Switch Switches[] = {
    {{L"/s", OptionBit(0), false}, L"shutdown", TimedSwitches | SwitchHybrid},
    {{L"/r", OptionBit(0), false}, L"reboot", TimedSwitches | SwitchBootOptions},
    {{L"/g", OptionBit(0), false}, L"restart-apps", TimedSwitches},
    {{L"/l", OptionBit(0), false}, L"logoff", SwitchForce},
    {{L"/h", OptionBit(0), false}, L"hibernate", 0},
    // Off at once, without a warning period; with /d as the system's request.
    {{L"/p", OptionBit(0), false}, L"shutdown", SwitchForce | SwitchReason},
    {{L"/a", OptionBit(0), false}, L"abort", SwitchMachine},
    {{L"/hybrid", OptionBit(0), false}, nullptr, 0},
    {{L"/o", OptionBootOptions, false}, nullptr, 0},
    {{L"/f", OptionForce, false}, nullptr, 0},
    {{L"/t", OptionDelay, true}, nullptr, 0},
    {{L"/c", OptionMessage, true}, nullptr, 0},
    {{L"/d", OptionReason, true}, nullptr, 0},
    {{L"/m", OptionMachine, true}, nullptr, 0},
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
            if (SameName(arg, known.option.name)) found = &known;
        }
        // Also what the standard command has and quell does not carry out: /i, /e, /fw, /soft, ...
        if (!found) return UsageError(cli, L"unknown switch '%s'", arg);
        if (found->command && action) return UsageError(cli, L"%s cannot be used with %s", arg, seen[action - Switches]);
        if (found->command) action = found;
        seen[found - Switches] = arg;
        const wchar_t *value = nullptr;
        if (found->option.takesValue) {
            if (++i == argc) return UsageError(cli, L"%s needs a value", arg);
            value = argv[i];
        }
        if (int status = StoreOption(cli, {arg, found->option.bit, false}, value, request)) return status;
    }
    if (!action) return UsageError(cli, L"one of /s /r /g /l /h /p /a is needed");
    for (unsigned k = 0; k < SwitchCount; ++k) {
        if (seen[k] && !Switches[k].command && !(action->allows & 1u << k)) {
            return UsageError(cli, L"%s cannot be used with %s", seen[k], seen[action - Switches]);
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
