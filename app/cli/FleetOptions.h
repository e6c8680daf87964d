#pragma once
// The command line of a fleet run: its checks, the gateways and passwords it reads, the
// staged roll-out, and the single-gateway command line each worker gets.
#include <QJsonObject>

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
    // The run's own options: recorded in its journal, kept by a resumed run.
    int timeoutSeconds = 0;  // --timeout-per-gateway; 0 = none
    int canary = 0;          // --canary N; 0 = none
    int maxFailures = 0;     // --max-failures K; 0 = none
    bool skipCurrent = false;
    bool preCheck = false, verify = false;
    std::string rebootTimeout;   // --reboot-timeout as given, "" = the default
    std::string model, series;   // --model / --series as given
    std::string resume;          // --resume RUN: the run folder to finish
};

// Checks the command line and reads the gateways and passwords files (the shared password
// from the usual sources when a gateway has none of its own); an error text, or "". With
// --resume, the run's action, package, gateways and options come from its journal, and what the
// command line repeats of them must agree.
std::string ReadFleetOptions(const CliArgs& args, CliEnvironment& env, FleetOptions& o);

// The single-gateway command a worker runs for `g`: on the checked copy `package`, unpacked
// in `unpacked` ("" = the worker unpacks it itself); a backup goes to `backupFile`.
std::vector<std::string> WorkerArguments(const FleetOptions& o, const FleetGateway& g,
                                         const std::string& package, const std::string& unpacked,
                                         const std::string& backupFile);

// The run's own options as the journal keeps them, and back.
QJsonObject FleetOptionsJson(const FleetOptions& o);
void FleetOptionsFromJson(const QJsonObject& json, FleetOptions& o);

}  // namespace vorn::cli
