#pragma once
// `vornupdater update PACKAGE -g ...`: the update of a gateway from a package file. This file
// holds the combined package (".cssu") path; the command dispatches by the package's kind.
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdUpdate(const CliArgs& args, CliEnvironment& env);
// The combined update: plan listed, confirmation, "COMPOSE" progress, the factory-defaults
// question answered by --yes or on the terminal, exit 0 only after "SUCCEED:END".
int RunCombinedUpdate(const CliArgs& args, CliEnvironment& env);

}  // namespace vorn::cli
