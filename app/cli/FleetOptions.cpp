#include "app/cli/FleetOptions.h"

#include <filesystem>
#include <optional>

#include "packages/BackupFile.h"
#include "packages/CombinedPackage.h"

namespace vorn::cli {

namespace fs = std::filesystem;

std::string ReadFleetOptions(const CliArgs& args, CliEnvironment& env, FleetOptions& o) {
    o.action = args.positional[0];
    const bool update = o.action == "update", backup = o.action == "backup";
    if (!update && !backup && o.action != "check") {
        return "unknown action '" + o.action + "' (update, backup or check)";
    }
    if (args.positional.size() != (backup ? 1u : 2u)) {
        return backup ? "fleet backup takes no package" : "fleet " + o.action + " expects PACKAGE";
    }
    if (args.values.count("gateway"))
        return "the gateways come from --gateways FILE, not -g";
    for (const char* name : {"pre-check", "verify", "reboot-timeout"}) {
        if (!update && args.Has(name))
            return std::string("--") + name + " belongs to fleet update";
    }
    if (!backup && args.Has("output"))
        return "-o belongs to fleet backup";
    if (args.values.count("parallel") && (!ParseCount(args.Value("parallel"), o.parallel) ||
                                          o.parallel < 1 || o.parallel > kMaxParallel)) {
        return "--parallel takes a number from 1 to " + std::to_string(kMaxParallel);
    }
    if (int seconds = 0;
        args.values.count("reboot-timeout") && !ParseCount(args.Value("reboot-timeout"), seconds)) {
        return "--reboot-timeout takes a number of seconds";
    }
    if (!args.values.count("gateways"))
        return "the gateways file is required (--gateways FILE)";
    if (std::string e = ReadGatewayList(args.Value("gateways"), o.gateways); !e.empty())
        return e;
    if (!backup) {
        std::error_code ec;
        if (!fs::is_regular_file(args.positional[1], ec)) {
            return "no such package '" + args.positional[1] + "'";
        }
        o.package = fs::absolute(args.positional[1]).lexically_normal().string();
        if (update && IsCombinedPackage(o.package) &&
            (args.Has("pre-check") || args.Has("verify"))) {
            return "--pre-check and --verify apply to single packages (.ssu)";
        }
    }
    if (backup) {
        o.outputFolder = fs::absolute(args.values.count("output") ? args.Value("output") : ".")
                             .lexically_normal()
                             .string();
        std::error_code ec;
        fs::create_directories(o.outputFolder, ec);
        if (!fs::is_directory(o.outputFolder, ec)) {
            return "cannot use '" + o.outputFolder + "' as the backup folder";
        }
    }
    // Passwords: per gateway from --passwords, the others share the one of the usual sources.
    if (args.values.count("passwords")) {
        if (std::string e = ReadPasswordList(args.Value("passwords"), o.passwords); !e.empty())
            return e;
    }
    std::optional<std::string> common;
    for (const FleetGateway& g : o.gateways) {
        if (o.passwords.count(g.Key()))
            continue;
        if (!common) {
            std::string error;
            common = GatewayPassword(args, env.terminal, error);
            if (!common) {
                return args.values.count("passwords")
                           ? "no password for " + g.Key() + " (line " + std::to_string(g.line) +
                                 ") in the passwords file, and " + error
                           : error;
            }
        }
        o.passwords[g.Key()] = *common;
    }
    return {};
}

QStringList WorkerArguments(const FleetOptions& o, const CliArgs& args, const FleetGateway& g,
                            const std::string& package) {
    QStringList a = {QString::fromStdString(o.action)};
    if (o.action == "backup") {
        // The port joins the name when it is not the usual one: gateways behind one address
        // must not overwrite each other's file.
        std::string who = g.address.address;
        if (g.address.ConnectPort() != kGatewayPort)
            who += "-" + std::to_string(g.address.ConnectPort());
        a << "-o"
          << QString::fromStdString((fs::path(o.outputFolder) / DefaultBackupName(who)).string());
    } else {
        a << QString::fromStdString(package);
    }
    a << "-g" << QString::fromStdString(g.text) << "--json";
    if (o.action == "update") {
        a << "--yes";  // the fleet asked once for all
        if (args.Has("pre-check"))
            a << "--pre-check";
        if (args.Has("verify"))
            a << "--verify";
        if (args.values.count("reboot-timeout"))
            a << "--reboot-timeout" << QString::fromStdString(args.Value("reboot-timeout"));
    }
    if (args.values.count("model")) {
        a << "--model" << QString::fromStdString(args.Value("model")) << "--series"
          << QString::fromStdString(args.Value("series"));
    }
    return a;
}

}  // namespace vorn::cli
