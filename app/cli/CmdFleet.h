#pragma once
// `vornupdater fleet update|backup|check`: one single-gateway command run on many gateways,
// several at a time, each in a worker process of its own, with one progress view and report.
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdFleet(const CliArgs& args, CliEnvironment& env);

// Its row of the command table.
CliCommand FleetCommand();

}  // namespace vorn::cli
