#pragma once
// `vornupdater discover [--timeout-ms N] [--json]`: searches the local networks for gateways
// through every local interface and prints them as the console does, or one JSON object per
// gateway. Finding none is not an error.
#include "app/cli/Cli.h"
#include "app/cli/CliOperator.h"
#include "link/CWizardSearch.h"

namespace vorn::cli {

int CmdDiscover(const CliArgs& args, CliEnvironment& env);

// The search and the printing, with the search given (tests aim it at 127.0.0.1).
int RunDiscover(CWizardSearch& search, CliOperator& op, bool json, int timeoutMs,
                CliEnvironment& env);

}  // namespace vorn::cli
