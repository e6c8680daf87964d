#include "app/cli/FleetOptions.h"

#include <QJsonArray>
#include <QJsonObject>

#include <filesystem>
#include <optional>
#include <tuple>

#include "app/cli/FleetJournal.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QJsonValue& v) {
    return v.toString().toStdString();
}

// The run's own options: given once, when the run starts.
constexpr const char* kRunOptions[] = {"pre-check", "verify",        "reboot-timeout",
                                       "output",    "timeout-per-gateway", "canary",
                                       "max-failures", "skip-current", "model",
                                       "series"};

std::string ReadCount(const CliArgs& args, const char* name, int min, int& value,
                      const std::string& what) {
    if (!args.values.count(name))
        return {};
    if (!ParseCount(args.Value(name), value) || value < min)
        return std::string("--") + name + " takes " + what;
    return {};
}

// Gateways and options of the run in `o.resume`, from its journal.
std::string ReadResumedRun(const CliArgs& args, FleetOptions& o) {
    FleetJournalState state;
    if (std::string e = ReadFleetJournal(o.resume, state); !e.empty())
        return e;
    const std::string action = S(state.run.value("action"));
    if (action != o.action)
        return "the run in '" + o.resume + "' is a fleet " + action + ", not a fleet " + o.action;
    for (const char* name : kRunOptions) {
        if (args.Has(name))
            return std::string("--") + name + " cannot be given with --resume: the run keeps " +
                   "the options it started with";
    }
    FleetOptionsFromJson(state.run.value("options").toObject(), o);
    std::vector<FleetGateway> recorded;
    std::string list;
    for (const QJsonValue& v : state.run.value("gateways").toArray()) {
        const QJsonObject g = v.toObject();
        list += S(g.value("text")) + " " + S(g.value("name")) + "\n";
    }
    if (std::string e = ParseGatewayList(list, "the run's journal", recorded); !e.empty())
        return e;
    if (!o.gateways.empty()) {
        // The gateways file given again must list the same gateways, in the same order.
        bool same = o.gateways.size() == recorded.size();
        for (std::size_t i = 0; same && i < recorded.size(); ++i)
            same = o.gateways[i].Key() == recorded[i].Key();
        if (!same)
            return "the gateways file does not list the gateways of the run in '" + o.resume + "'";
    }
    const QJsonArray lines = state.run.value("gateways").toArray();
    for (std::size_t i = 0; i < recorded.size(); ++i)
        recorded[i].line = lines[static_cast<qsizetype>(i)].toObject().value("line").toInt();
    o.gateways = recorded;
    if (o.action != "backup") {
        const std::string name = S(state.run.value("package_name"));
        if (!o.package.empty() && PackageFileName(o.package) != name)
            return "the run in '" + o.resume + "' installs " + name + ", not " +
                   PackageFileName(o.package);
        o.package = S(state.run.value("package"));
    }
    return {};
}

}  // namespace

QJsonObject FleetOptionsJson(const FleetOptions& o) {
    QJsonObject j;
    j.insert("timeout-per-gateway", o.timeoutSeconds);
    j.insert("canary", o.canary);
    j.insert("max-failures", o.maxFailures);
    j.insert("skip-current", o.skipCurrent);
    j.insert("pre-check", o.preCheck);
    j.insert("verify", o.verify);
    j.insert("reboot-timeout", Q(o.rebootTimeout));
    j.insert("output", Q(o.outputFolder));
    j.insert("model", Q(o.model));
    j.insert("series", Q(o.series));
    return j;
}

void FleetOptionsFromJson(const QJsonObject& j, FleetOptions& o) {
    o.timeoutSeconds = j.value("timeout-per-gateway").toInt();
    o.canary = j.value("canary").toInt();
    o.maxFailures = j.value("max-failures").toInt();
    o.skipCurrent = j.value("skip-current").toBool();
    o.preCheck = j.value("pre-check").toBool();
    o.verify = j.value("verify").toBool();
    o.rebootTimeout = S(j.value("reboot-timeout"));
    o.outputFolder = S(j.value("output"));
    o.model = S(j.value("model"));
    o.series = S(j.value("series"));
}

std::string ReadFleetOptions(const CliArgs& args, CliEnvironment& env, FleetOptions& o) {
    o.action = args.positional[0];
    const bool update = o.action == "update", backup = o.action == "backup";
    if (!update && !backup && o.action != "check") {
        return "unknown action '" + o.action + "' (update, backup or check)";
    }
    o.resume = args.Value("resume");
    const bool resume = args.values.count("resume") != 0;
    if (resume && o.resume.empty())
        return "--resume takes the run folder that a fleet run printed at its start";
    const std::size_t wanted = backup ? 1u : 2u;
    if (args.positional.size() != wanted && !(resume && args.positional.size() == 1)) {
        return backup ? "fleet backup takes no package" : "fleet " + o.action + " expects PACKAGE";
    }
    if (args.values.count("gateway"))
        return "the gateways come from --gateways FILE, not -g";
    for (const char* name : {"pre-check", "verify", "reboot-timeout", "canary"}) {
        if (!update && args.Has(name))
            return std::string("--") + name + " belongs to fleet update";
    }
    if (backup && args.Has("skip-current"))
        return "--skip-current belongs to fleet update and fleet check";
    if (!backup && args.Has("output"))
        return "-o belongs to fleet backup";
    if (std::string e = ReadCount(args, "parallel", 1, o.parallel,
                                  "a number from 1 to " + std::to_string(kMaxParallel));
        !e.empty() || o.parallel > kMaxParallel) {
        return "--parallel takes a number from 1 to " + std::to_string(kMaxParallel);
    }
    if (int seconds = 0;
        args.values.count("reboot-timeout") && !ParseCount(args.Value("reboot-timeout"), seconds)) {
        return "--reboot-timeout takes a number of seconds";
    }
    for (auto [name, value, what] :
         {std::tuple{"timeout-per-gateway", &o.timeoutSeconds, "a number of seconds from 1"},
          std::tuple{"canary", &o.canary, "a number of gateways from 1"},
          std::tuple{"max-failures", &o.maxFailures, "a number of failures from 1"}}) {
        if (std::string e = ReadCount(args, name, 1, *value, what); !e.empty())
            return e;
    }
    o.skipCurrent = args.Has("skip-current");
    o.preCheck = args.Has("pre-check");
    o.verify = args.Has("verify");
    o.rebootTimeout = args.Value("reboot-timeout");
    o.model = args.Value("model");
    o.series = args.Value("series");
    if (!resume && !args.values.count("gateways"))
        return "the gateways file is required (--gateways FILE)";
    if (args.values.count("gateways")) {
        if (std::string e = ReadGatewayList(args.Value("gateways"), o.gateways); !e.empty())
            return e;
    }
    if (!backup && args.positional.size() == 2) {
        std::error_code ec;
        if (!fs::is_regular_file(args.positional[1], ec)) {
            return "no such package '" + args.positional[1] + "'";
        }
        o.package = fs::absolute(args.positional[1]).lexically_normal().string();
    }
    if (backup && !resume) {
        o.outputFolder = fs::absolute(args.values.count("output") ? args.Value("output") : ".")
                             .lexically_normal()
                             .string();
    }
    if (resume) {
        if (std::string e = ReadResumedRun(args, o); !e.empty())
            return e;
    }
    if (update && IsCombinedPackage(o.package) && (o.preCheck || o.verify)) {
        return "--pre-check and --verify apply to single packages (.ssu)";
    }
    if (backup) {
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

std::vector<std::string> WorkerArguments(const FleetOptions& o, const FleetGateway& g,
                                         const std::string& package, const std::string& unpacked,
                                         const std::string& backupFile) {
    std::vector<std::string> a = {o.action};
    if (o.action == "backup") {
        a.insert(a.end(), {"-o", backupFile});
    } else {
        a.push_back(package);
        if (!unpacked.empty())
            a.insert(a.end(), {"--unpacked", unpacked});
    }
    a.insert(a.end(), {"-g", g.text, "--json"});
    if (o.skipCurrent)
        a.push_back("--skip-current");
    if (o.action == "update") {
        a.push_back("--yes");  // the fleet asked once for all
        if (o.preCheck)
            a.push_back("--pre-check");
        if (o.verify)
            a.push_back("--verify");
        if (!o.rebootTimeout.empty())
            a.insert(a.end(), {"--reboot-timeout", o.rebootTimeout});
    }
    if (!o.model.empty())
        a.insert(a.end(), {"--model", o.model, "--series", o.series});
    return a;
}

}  // namespace vorn::cli
