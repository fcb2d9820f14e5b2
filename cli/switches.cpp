// The standard shutdown command's syntax: a first argument starting with '/'
// (other than /?) makes the whole line switches. They fill the same request as
// the commands and options do, confirmed, as that command asks nothing.
#include "arguments.h"
#include "parse.h"
#include "messages.h"

// Called only where a name is not a modifier: not constexpr, so that such a
// name stops the compilation. Never defined.
void NotAModifier();

namespace {

// The switches that modify an action, and the option each sets (/hybrid none:
// it makes /s hybrid).
struct Modifier {
    const char *name;
    OptionBit option;
    const char *value;  // its value, for the help text
};
constexpr Modifier Modifiers[] = {
    {"/hybrid", OptionBit(0), ""},
    {"/o", OptionBootOptions, ""},
    {"/f", OptionForce, ""},
    {"/t", OptionDelay, " xxx"},
    {"/c", OptionMessage, " \"comment\""},
    {"/d", OptionReason, " [p:|u:]xx:yy"},
    {"/m", OptionMachine, " \\\\computer"},
};
constexpr unsigned ModifierCount = sizeof Modifiers / sizeof Modifiers[0];

constexpr bool SameAscii(const char *a, const char *b, const char *end) {
    while (a < end && *a == *b) ++a, ++b;
    return a == end && !*b;
}
// The modifiers named, blank-separated, as a set of their places.
constexpr unsigned ModifierSet(const char *names) {
    unsigned set = 0;
    while (*names) {
        const char *end = names;
        while (*end && *end != ' ') ++end;
        unsigned place = 0;
        while (place < ModifierCount && !SameAscii(names, Modifiers[place].name, end)) ++place;
        if (place == ModifierCount) NotAModifier();
        set |= 1u << place;
        names = *end ? end + 1 : end;
    }
    return set;
}
constexpr unsigned PlaceOf(const char *name) { return static_cast<unsigned>(__builtin_ctz(ModifierSet(name))); }
constexpr unsigned HybridPlace = PlaceOf("/hybrid"), TimePlace = PlaceOf("/t");
static_assert(Modifiers[HybridPlace].option == 0 && Modifiers[TimePlace].option == OptionDelay);
constexpr unsigned Hybrid = 1u << HybridPlace, Time = 1u << TimePlace;
constexpr unsigned TimedModifiers = ModifierSet("/f /t /c /d /m");
constexpr unsigned BootOptions = ModifierSet("/o"), ForceOnly = ModifierSet("/f"), ForceReason = ModifierSet("/f /d"),
                   MachineOnly = ModifierSet("/m");

struct Action {
    const char *name;
    const Command *command;
    unsigned allows;  // the modifiers it may be combined with
};
constexpr Action Actions[] = {
    {"/s", &commands::Shutdown, TimedModifiers | Hybrid},
    {"/r", &commands::Reboot, TimedModifiers | BootOptions},
    {"/g", &commands::RestartApps, TimedModifiers},
    {"/l", &commands::Logoff, ForceOnly},
    {"/h", &commands::Hibernate, 0},
    // Off at once, without a warning period; with /d as the system's request.
    {"/p", &commands::Shutdown, ForceReason},
    {"/a", &commands::Abort, MachineOnly},
};
constexpr DWORD DefaultDelay = 30;

}  // namespace

int ParseSwitches(const Cli &cli, int argc, wchar_t **argv, Request &request) {
    const wchar_t *modifiers[ModifierCount] = {};  // each modifier as written
    const Action *action = nullptr;
    const wchar_t *actionWritten = nullptr;
    for (int i = 1; i < argc; ++i) {
        const wchar_t *arg = argv[i];
        if (IsHelpFlag(arg)) {
            request.command = &commands::Help;
            return ExitSuccess;
        }
        const Action *isAction = nullptr;
        for (const Action &known : Actions) {
            if (SameName(arg, known.name)) isAction = &known;
        }
        if (isAction && actionWritten && isAction == action) return UsageError(cli, "%s is given twice", arg);
        if (isAction && actionWritten) {
            return UsageError(cli, "%s and %s are two actions: give one", actionWritten, arg);
        }
        if (isAction) {
            action = isAction;
            actionWritten = arg;
            continue;
        }
        unsigned place = 0;
        while (place < ModifierCount && !SameName(arg, Modifiers[place].name)) ++place;
        // Also what the standard command has and quell does not carry out: /i, /e, /fw, /soft, ...
        if (place == ModifierCount) return UsageError(cli, "unknown switch %q", arg);
        if (modifiers[place]) return UsageError(cli, "%s is given twice", arg);
        modifiers[place] = arg;
        OptionBit option = Modifiers[place].option;
        if (!option) continue;
        const wchar_t *value = nullptr;
        if (OptionOf(option).value) {
            if (++i == argc) return UsageError(cli, "%s needs a value", arg);
            value = argv[i];
        }
        if (int status = StoreOption(cli, option, arg, value, request)) return status;
    }
    if (!action) {
        Text names{};
        for (const Action &known : Actions) Format(names, " %S", known.name);
        UsageError(cli, "one of%s is needed", names.data);
        Release(names.data);
        return ExitUsage;
    }
    for (unsigned place = 0; place < ModifierCount; ++place) {
        if (modifiers[place] && !(action->allows & 1u << place)) {
            return UsageError(cli, "%s does not go with %s", modifiers[place], actionWritten);
        }
    }
    request.command = modifiers[HybridPlace] ? &commands::Hybrid : action->command;
    request.given |= OptionYes;
    // As the standard command: a warning period of 30 seconds unless /t says
    // otherwise, and one above 0 given with /t closes applications without asking.
    bool timed = modifiers[TimePlace] != nullptr;
    if (timed && request.delay) request.given |= OptionForce;
    if ((action->allows & Time) && !timed) {
        request.delay = DefaultDelay;
        request.given |= OptionDelay;
    }
    return ExitSuccess;
}

void AppendSwitchSyntax(Text &text) {
    AppendAscii(text, "quell ");
    for (const Action &action : Actions) Format(text, "%S%S", &action == Actions ? "" : "|", action.name);
    for (const Modifier &modifier : Modifiers) Format(text, " [%S%S]", modifier.name, modifier.value);
    Format(text,
           "\n/s, /r and /g wait %u s unless /t says otherwise; a /t above 0 closes applications without asking "
           "(/f).",
           DefaultDelay);
}
