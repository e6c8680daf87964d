#pragma once
// The headless front end: `vornupdater COMMAND [ARGS] [OPTIONS]`. One small function per
// command in a table; output streams and the terminal are passed in, never global.
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CliArgs.h"
#include "app/cli/CliTerminal.h"
#include "operations/CMainFrame.h"

namespace vorn::cli {

struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    CliTerminal& terminal;
    bool outIsTerminal = false;  // colours and progress in place
    // MD5 of the console password; the program always passes the product's digest.
    std::string consoleDigest = kConsolePasswordDigest;
};

struct CliCommand {
    const char* name;
    const char* arguments;  // for the usage line, e.g. "LOCAL REMOTE"
    const char* summary;
    std::vector<CliOptionSpec> options;  // beyond the common ones
    std::size_t minArgs;
    std::size_t maxArgs;
    bool needsGateway;
    int (*run)(const CliArgs& args, CliEnvironment& env);
    // Works on local files only: runs without the start-up checks and the instance lock.
    bool offline = false;
};

// The commands, in the order --help lists them. Add a command by adding a row.
const std::vector<CliCommand>& CliCommands();

// True when the command line names an offline command (or asks for help): the front end
// runs it without the start-up checks.
bool RunsWithoutStartup(const std::vector<std::string>& args);
// Runs one command line (without the program name); returns the exit status.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);
// Usage of the whole program / of one command.
std::string ProgramUsage();
std::string CommandUsage(const CliCommand& command);

}  // namespace vorn::cli
