// Runs a request: a report, or its plan, shown or carried out.
#include "dispatch.h"

#include "plan.h"
#include "reports.h"

int Execute(Cli &cli, const Request &request) {
    switch (request.command->shape) {
    case Shape::Help: PrintHelp(cli, request.about); return ExitSuccess;
    case Shape::Status: return Status(cli, Has(request, OptionJson));
    case Shape::Version: return Version(cli);
    case Shape::Blockers: return Blockers(cli, Has(request, OptionJson));
    case Shape::Pending: return Pending(cli, Has(request, OptionJson));
    default: break;
    }
    const Plan plan = MakePlan(cli, request);
    return Has(request, OptionYes) ? CarryOut(cli, plan) : DryRun(cli, plan);
}
