#pragma once
// The update and configuration commands of vornupdater: update, check, backup, restore,
// factory-reset and history.
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdUpdate(const CliArgs& args, CliEnvironment& env);
int CmdCheck(const CliArgs& args, CliEnvironment& env);
int CmdBackup(const CliArgs& args, CliEnvironment& env);
int CmdRestore(const CliArgs& args, CliEnvironment& env);
int CmdFactoryReset(const CliArgs& args, CliEnvironment& env);
int CmdHistory(const CliArgs& args, CliEnvironment& env);

// Number of automatic backups to keep, from the options file (missing or negative: 10).
int AutoBackupLimit();

// Their rows of the command table.
std::vector<CliCommand> UpdateCommands();

}  // namespace vorn::cli
