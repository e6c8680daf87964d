#pragma once
// The gateway commands of vornupdater.
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdConnect(const CliArgs& args, CliEnvironment& env);
int CmdPasswd(const CliArgs& args, CliEnvironment& env);
int CmdPut(const CliArgs& args, CliEnvironment& env);
int CmdGet(const CliArgs& args, CliEnvironment& env);
int CmdExec(const CliArgs& args, CliEnvironment& env);

}  // namespace vorn::cli
