#pragma once
// Command-line parsing for the commands of vornupdater: options, positional arguments, the
// gateway address and the password sources.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vorn::cli {

class CliTerminal;

// Exit statuses.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitConnect = 3,
    kExitStartup = 4,
};

struct CliOptionSpec {
    const char* name;  // long name without "--"
    char shortName;    // 0 when none
    bool takesValue;
    const char* valueName;
    const char* help;
};

// Options every command takes.
const std::vector<CliOptionSpec>& CommonOptions();

struct CliArgs {
    std::string command;  // the command word ("update", ...), for the "result" event
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;
    bool Has(const std::string& name) const { return flags.count(name) || values.count(name); }
    std::string Value(const std::string& name) const {
        auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
};

// Parses `args` (after the command word). Returns an error text, empty on success.
std::string ParseArgs(const std::vector<std::string>& args, const std::vector<CliOptionSpec>& specs,
                      CliArgs& out);

// "ADDR[:PORT]": a dotted IPv4 address and a port (51111 when absent). Error text or empty.
std::string ParseGateway(const std::string& text, std::string& address, std::uint16_t& port);

// First line of a file, without its line break; nullopt (with `error` set) when unreadable.
std::optional<std::string> ReadFirstLine(const std::string& path, std::string& error);

// The gateway password: --password-file, else VORN_PASSWORD, else asked on the terminal
// without echo. nullopt with `error` set when there is none.
std::optional<std::string> GatewayPassword(const CliArgs& args, CliTerminal& terminal,
                                           std::string& error);

// A non-negative integer option value.
bool ParseCount(const std::string& text, int& value);

}  // namespace vorn::cli
