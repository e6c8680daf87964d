#pragma once
// The diagnostic commands of vornupdater: ping, route, arp, ifconfig, nic, swapnic.
#include "app/cli/Cli.h"

namespace vorn::cli {

int CmdPing(const CliArgs& args, CliEnvironment& env);
int CmdRoute(const CliArgs& args, CliEnvironment& env);
int CmdArp(const CliArgs& args, CliEnvironment& env);
int CmdIfconfig(const CliArgs& args, CliEnvironment& env);
// nic show [all|ethN] | nic set NIC SPEED [--mtu M] | nic mtu PPPN M
int CmdNic(const CliArgs& args, CliEnvironment& env);
int CmdSwapNic(const CliArgs& args, CliEnvironment& env);

// Their rows of the command table.
std::vector<CliCommand> SupportCommands();

}  // namespace vorn::cli
