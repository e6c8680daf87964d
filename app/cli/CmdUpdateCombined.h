#pragma once
// The combined package (".cssu") path of `vornupdater update PACKAGE -g ...` (the command
// dispatches by the package's kind).
#include "app/cli/Cli.h"

namespace vorn::cli {

// The combined update: plan listed, confirmation, "COMPOSE" progress, the factory-defaults
// question answered by --yes or on the terminal, exit 0 only after "SUCCEED:END".
int RunCombinedUpdate(const CliArgs& args, CliEnvironment& env);

}  // namespace vorn::cli
