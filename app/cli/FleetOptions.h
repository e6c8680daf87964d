#pragma once
// The command line of a fleet run: its checks, the gateways and passwords it reads, and the
// single-gateway command line each worker gets.
#include <QStringList>

#include <map>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "app/cli/FleetList.h"

namespace vorn::cli {

inline constexpr int kDefaultParallel = 4;
inline constexpr int kMaxParallel = 64;

struct FleetOptions {
    std::string action;   // "update", "backup" or "check"
    std::string package;  // absolute path (update, check)
    std::string outputFolder;
    int parallel = kDefaultParallel;
    std::vector<FleetGateway> gateways;
    std::map<std::string, std::string> passwords;  // Key() -> password
};

// Checks the command line and reads the gateways and passwords files (the shared password
// from the usual sources when a gateway has none of its own); an error text, or "".
std::string ReadFleetOptions(const CliArgs& args, CliEnvironment& env, FleetOptions& o);

// The single-gateway command a worker runs for `g`, on the checked copy `package`.
QStringList WorkerArguments(const FleetOptions& o, const CliArgs& args, const FleetGateway& g,
                            const std::string& package);

}  // namespace vorn::cli
