#include "app/cli/Cli.h"

#include "app/cli/CliCommands.h"
#include "app/cli/CliOperator.h"
#include "app/cli/CliUpdateCommands.h"
#include "app/cli/CmdFleet.h"
#include "app/cli/CmdDiscover.h"
#include "app/cli/CmdInspect.h"
#include "app/cli/CmdSupport.h"

namespace vorn::cli {
namespace {

// A remote path or command travels in one text frame together with its message word.
constexpr std::size_t kMaxArgumentLength = 1000;

}  // namespace

const std::vector<CliCommand>& CliCommands() {
    static const CliOptionSpec kConsolePassword = {
        "console-password-file", 0, true, "FILE",
        "console password from the first line of FILE (else asked on the terminal)"};
    static const std::vector<CliCommand> kCommands = [] {
        std::vector<CliCommand> commands = {
            {"connect",
             "",
             "log in, print the gateway's version, disconnect",
             {{"package", 0, true, "PACKAGE",
               "also tell whether the gateway already reports the package's version"}},
             0,
             0,
             true,
             &CmdConnect},
            {"passwd",
             "",
             "change the gateway password",
             {{"new-password-file", 0, true, "FILE",
               "new password from the first line of FILE (else asked twice on the terminal)"}},
             0,
             0,
             true,
             &CmdPasswd},
            {"put",
             "LOCAL REMOTE",
             "upload a local file to the gateway (console)",
             {kConsolePassword},
             2,
             2,
             true,
             &CmdPut},
            {"get",
             "REMOTE LOCAL",
             "download a file from the gateway (console)",
             {kConsolePassword},
             2,
             2,
             true,
             &CmdGet},
            {"exec",
             "\"CMD\"",
             "run a command on the gateway and print its output (console)",
             {kConsolePassword},
             1,
             1,
             true,
             &CmdExec},
            {"discover",
             "",
             "search the local networks for gateways (UDP broadcast)",
             {{"timeout-ms", 0, true, "N", "collect replies for N ms (default 1000)"}},
             0,
             0,
             false,
             &CmdDiscover},
        };
        // The update and configuration commands.
        for (CliCommand& c : UpdateCommands()) commands.push_back(std::move(c));
        // The diagnostic commands of the support console.
        for (CliCommand& c : SupportCommands()) commands.push_back(std::move(c));
        // Offline package check.
        commands.push_back(InspectCommand());
        // The same commands on many gateways.
        commands.push_back(FleetCommand());
        return commands;
    }();
    return kCommands;
}

std::string ProgramUsage() {
    std::string s =
        "Usage: vornupdater [COMMAND [ARGS...] [OPTIONS...]]\n"
        "\n"
        "Firmware updater for network gateways. Without a command the desktop program opens.\n"
        "\n"
        "Commands:\n";
    for (const CliCommand& c : CliCommands()) {
        std::string head = std::string("  ") + c.name;
        if (*c.arguments)
            head += std::string(" ") + c.arguments;
        head.resize(std::max<std::size_t>(head.size() + 2, 26), ' ');
        s += head + c.summary + "\n";
    }
    s += "\n'vornupdater COMMAND --help' shows the options of a command.\n"
         "Exit status: 0 success, 1 the operation failed, 2 usage error, 3 could not connect or\n"
         "log in, 4 start-up refused.\n";
    return s;
}

std::string CommandUsage(const CliCommand& c) {
    std::string s = std::string("Usage: vornupdater ") + c.name;
    if (*c.arguments)
        s += std::string(" ") + c.arguments;
    s += c.needsGateway ? " -g ADDR[:PORT] [OPTIONS...]\n\n" : " [OPTIONS...]\n\n";
    s += std::string(c.summary) + ".\n\nOptions:\n";
    std::vector<CliOptionSpec> all = CommonOptions();
    all.insert(all.end(), c.options.begin(), c.options.end());
    for (const CliOptionSpec& o : all) {
        std::string head = "  ";
        head += o.shortName ? std::string("-") + o.shortName + ", " : "    ";
        head += std::string("--") + o.name;
        if (o.takesValue)
            head += std::string(" ") + o.valueName;
        head.resize(std::max<std::size_t>(head.size() + 2, 34), ' ');
        s += head + o.help + "\n";
    }
    return s;
}

bool RunsWithoutStartup(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        return true;
    }
    for (const CliCommand& c : CliCommands()) {
        if (args[0] == c.name) {
            return c.offline;
        }
    }
    return false;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        env.out << ProgramUsage();
        return kExitOk;
    }
    const CliCommand* command = nullptr;
    for (const CliCommand& c : CliCommands()) {
        if (args[0] == c.name)
            command = &c;
    }
    if (!command) {
        env.err << "vornupdater: unknown command '" << args[0] << "' (see vornupdater --help)\n";
        return kExitUsage;
    }
    std::vector<CliOptionSpec> specs = CommonOptions();
    specs.insert(specs.end(), command->options.begin(), command->options.end());
    CliArgs parsed;
    parsed.command = command->name;
    std::string error = ParseArgs({args.begin() + 1, args.end()}, specs, parsed);
    if (parsed.Has("help")) {
        env.out << CommandUsage(*command);
        return kExitOk;
    }
    if (error.empty() && (parsed.positional.size() < command->minArgs ||
                          parsed.positional.size() > command->maxArgs)) {
        error = command->maxArgs == 0 ? "takes no arguments"
                                      : std::string("expects ") + command->arguments;
    }
    // Messages to the gateway are line-based and at most one frame long.
    for (const std::string& a : parsed.positional) {
        if (error.empty() && a.find_first_of("\r\n") != std::string::npos) {
            error = "arguments cannot contain line breaks";
        }
        if (error.empty() && a.size() > kMaxArgumentLength) {
            error = "argument longer than " + std::to_string(kMaxArgumentLength) + " characters";
        }
    }
    if (error.empty() && command->needsGateway && !parsed.values.count("gateway")) {
        error = "the gateway address is required (-g ADDR[:PORT])";
    }
    if (error.empty() && parsed.values.count("gateway")) {
        std::string address;
        std::uint16_t port = 0;
        error = ParseGateway(parsed.Value("gateway"), address, port);
    }
    if (error.empty() && (parsed.values.count("model") != parsed.values.count("series"))) {
        error = "--model and --series go together";
    }
    if (!error.empty()) {
        env.err << "vornupdater " << command->name << ": " << error << "\n"
                << "Try 'vornupdater " << command->name << " --help'.\n";
        if (parsed.Has("json")) {
            env.out << JsonLine("error", error, "", 0)
                    << ResultLine(command->name, kExitUsage, {error}, {})
                    << JsonLine("exit", "", "code", kExitUsage);
        }
        return kExitUsage;
    }
    return command->run(parsed, env);
}

}  // namespace vorn::cli
