#pragma once
// The update and configuration commands of vornupdater: update, check, backup, restore,
// factory-reset and history.
#include "app/OptionsFile.h"  // AutoBackupLimit, shared with the fleet
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdUpdate(const CliArgs& args, CliEnvironment& env);
int CmdCheck(const CliArgs& args, CliEnvironment& env);
int CmdBackup(const CliArgs& args, CliEnvironment& env);
int CmdRestore(const CliArgs& args, CliEnvironment& env);
int CmdFactoryReset(const CliArgs& args, CliEnvironment& env);
int CmdHistory(const CliArgs& args, CliEnvironment& env);

// Their rows of the command table.
std::vector<CliCommand> UpdateCommands();

}  // namespace vorn::cli
