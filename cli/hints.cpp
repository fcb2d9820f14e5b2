// Why a request was refused, where its last-error value has a known cause:
// one table, each row an error, when it applies, and what to say.
#include "messages.h"
#include "what.h"

namespace {

constexpr DWORD ShutdownIsScheduled = 1190;  // ERROR_SHUTDOWN_IS_SCHEDULED, which MinGW's winerror.h lacks

enum class When : BYTE {
    Always,
    Remote,         // only for another machine's request
    ModernStandby,  // only for standby on a machine with Modern Standby
};

struct Hint {
    DWORD error;
    When when;
    const char *why;
    bool unreachable = false;  // the advice on reaching another machine follows
};

const Hint Hints[] = {
    {ERROR_ACCESS_DENIED, When::Remote,
     "that machine refused the account: it needs the \"Force shutdown from a remote system\" right there, and a "
     "local account of that machine is cut to a standard user's rights over the network by remote UAC filtering"},
    {ERROR_BAD_NETPATH, When::Always, "the machine was not found", true},
    {RPC_S_SERVER_UNAVAILABLE, When::Always, "the machine did not answer", true},
    {ERROR_SHUTDOWN_IN_PROGRESS, When::Always, "a shutdown is already under way"},
    {ShutdownIsScheduled, When::Always, "a shutdown is already scheduled: `quell abort` cancels it first"},
    {ERROR_PRIVILEGE_NOT_HELD, When::Always, "the account does not hold the shutdown privilege"},
    {ERROR_NOT_SUPPORTED, When::ModernStandby,
     "this machine has Modern Standby (S0 low power idle) instead of standby: `quell display-off` turns the "
     "display off, which lets it enter its low-power idle"},
};

// Whether the power capabilities' AoAc byte is set; asked of Quell.dll only now.
bool HasModernStandby(const Cli &cli) {
    if (!cli.loaded || !cli.quell.GetPwrCapabilities) return false;
    SYSTEM_POWER_CAPABILITIES capabilities;  // read only when the call filled it
    return cli.quell.GetPwrCapabilities(&capabilities) && reinterpret_cast<const BYTE *>(&capabilities)[AoAcOffset];
}

}  // namespace

void SayWhy(const Cli &cli, const Plan &plan, DWORD error) {
    for (const Hint &hint : Hints) {
        if (hint.error != error) continue;
        if (hint.when == When::Remote && !plan.machine) continue;
        if (hint.when == When::ModernStandby && (plan.action != &commands::Standby || !HasModernStandby(cli))) {
            continue;
        }
        Say(cli, STD_ERROR_HANDLE, "quell %S: the likely cause: %S%S\n", plan.command->name, hint.why,
            hint.unreachable ? ": check its name, the network, and that its firewall's remote administration rule "
                               "lets the request in"
                             : "");
        return;
    }
}
