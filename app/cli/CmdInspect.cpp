#include "app/cli/CmdInspect.h"
#include "lib/QuietOperator.h"

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/CliOperator.h"
#include "app/cli/TerminalText.h"
#include "packages/BackupFile.h"
#include "packages/PackageTarget.h"
#include "lib/Operator.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "packages/ArchiveAccess.h"
#include "packages/PreparedPackage.h"
#include "platform/DataFile.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/SinglePackage.h"
#include "packages/VersionRules.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const char kInspectUsage[] =
    "Usage: vornupdater inspect PACKAGE [--gateway-version-file FILE] [--unpack FOLDER]\n"
    "Checks a .ssu or .cssu package offline: envelope, members, version, restart flag, tips,\n"
    "the combined plan, and with FILE (a gateway's version report) the layout check and the\n"
    "\"updversion\" rules. Exit status 0 when the package is valid (and allowed), else 1.\n";

// Console output of the package functions goes to the report; questions are not asked.
class ReportOperator : public CQuietOperator {
public:
    explicit ReportOperator(std::ostream& out) : m_out(out) {}
    bool quiet = false;
    void AppendConsole(const std::string& text, std::uint32_t) override {
        if (!quiet)
            m_out << text;
    }
    void ShowMessage(const std::string& text) override { m_out << text << "\n"; }

private:
    std::ostream& m_out;
};

class InspectHost : public CPackageHost {
public:
    std::string version, report, pageText;
    int layoutFlag = 1;
    bool OperationInProgress() const override { return false; }
    bool CombinedUpdateRunning() const override { return false; }
    std::string GatewayVersion() const override { return version; }
    std::string GatewayVersionReport() const override { return report; }
    int GatewayLayoutFlag() const override { return layoutFlag; }
    bool ShowUpdateTipsDialog(const std::string&, const std::string&, const std::string&) override {
        return true;
    }
    void SendToLoadPage(const std::string& text) override { pageText = text; }
    void StartUpdateTimer() override {}
    void StartSinglePackageLoader(const std::string&) override {}
};

std::string FirstLine(const std::string& text) {
    size_t nl = text.find('\n');
    return (nl != std::string::npos && nl >= 1) ? text.substr(0, nl) : text;
}

std::string Reason(const PackageState& state, const InspectHost& host) {
    std::string r = state.m_lastErrorText;
    if (r.empty() && host.pageText.rfind("FAILEDLOAD:", 0) == 0)
        r = host.pageText.substr(11);
    if (r.empty())
        r = LoadStr(6739);
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.pop_back();
    return r;
}

void ListMembers(const std::string& body, std::ostream& out) {
    std::vector<ArchiveMember> members;
    if (!ListArchiveMembers(body, members)) {
        out << "Members: (archive unreadable)\n";
        return;
    }
    out << "Members (" << members.size() << "):\n";
    for (const auto& m : members) {
        out << "  " << m.name << "  " << m.size << " bytes" << (m.encrypted ? ", encrypted" : "")
            << "\n";
    }
}

// Layout check and "updversion" rules of the single package extracted in "unpkg".
bool CheckAgainstGateway(PackageState& state, InspectHost& host, std::ostream& out,
                         std::ostream& err, const std::string& label) {
    std::ostringstream sink;
    ReportOperator quiet(sink);
    bool ok = CheckPackageForDevice(state, quiet, host);
    if (ok) {
        out << label << ": allowed on this gateway\n";
    } else {
        std::string why = sink.str();
        while (!why.empty() && (why.back() == '\n')) why.pop_back();
        err << label << ": not allowed: " << why << "\n";
    }
    return ok;
}

// `inspect PACKAGE --unpack FOLDER`: the checks of an update, then the package unpacked into
// the new FOLDER for many updates to read (a fleet run's workers), and read back as they read it.
int RunUnpack(const std::string& package, const std::string& folderText, InspectHost& host,
              std::ostream& out, std::ostream& err) {
    const fs::path folder = fs::absolute(folderText).lexically_normal();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(folder, ec)) || !MakePrivateFolder(folder)) {
        err << "inspect: cannot unpack into " << folder.string()
            << ": it exists already or cannot be made\n";
        return 1;
    }
    SetProgramFolderForTests(folder);
    struct Restore {
        ~Restore() { SetProgramFolderForTests({}); }
    } restore;
    ReportOperator op(out);
    op.quiet = true;
    std::string error;
    PackageState state;
    const bool ok = UnpackPackage(package, folder, op, error) &&
                    UsePreparedPackage(package, folder, error) &&
                    LoadLocalPackage(state, op, host, package);
    if (!ok) {
        err << "inspect: invalid package: " << (error.empty() ? Reason(state, host) : error)
            << "\n";
        fs::remove_all(folder, ec);
        return 1;
    }
    for (const char* scratch : {"tmp", "compose_pkg", "curpkg", "oldpkg", "log"}) {
        fs::remove_all(folder / scratch, ec);
    }
    if (IsCombinedPackage(package)) {
        fs::remove_all(folder / "unpkg", ec);  // the members are unpacked under "members"
    }
    out << "Package: " << package << "\nVersion: " << state.m_packageVersion
        << "\nUnpacked: " << folder.string() << "\n";
    return 0;
}

}  // namespace

int RunInspect(const std::vector<std::string>& args, std::ostream& rawOut, std::ostream& rawErr) {
    // The report shows package text: its control characters are shown escaped.
    cli::CEscapingStreamBuf outBuf(rawOut), errBuf(rawErr);
    std::ostream out(&outBuf), err(&errBuf);
    std::string package, reportFile, unpackFolder;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kInspectUsage;
            return 0;
        }
        if (args[i] == "--gateway-version-file" && i + 1 < args.size()) {
            reportFile = args[++i];
        } else if (args[i] == "--unpack" && i + 1 < args.size()) {
            unpackFolder = args[++i];
        } else if (!args[i].empty() && args[i][0] != '-' && package.empty()) {
            package = args[i];
        } else {
            err << "inspect: unexpected argument '" << args[i] << "'\n" << kInspectUsage;
            return 2;
        }
    }
    if (package.empty()) {
        err << kInspectUsage;
        return 2;
    }
    std::error_code ec;
    if (!fs::is_regular_file(package, ec)) {
        err << "inspect: " << package << ": no such file\n";
        return 1;
    }
    package = fs::absolute(package).string();
    InspectHost host;
    if (!reportFile.empty()) {
        std::ifstream in(reportFile, std::ios::binary);
        if (!in) {
            err << "inspect: cannot read " << reportFile << "\n";
            return 1;
        }
        host.report.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        host.version = NormalizeVendorName(FirstLine(host.report));
        host.layoutFlag = ClassifyVersion(host.version).layoutFlag;
    }
    std::string error;
    if (!LoadZipBridge(error)) {
        err << "inspect: " << error << "\n";
        return 1;
    }
    if (!unpackFolder.empty()) {
        return RunUnpack(package, unpackFolder, host, out, err);
    }
    // The working folders of a scratch program folder: inspecting never touches the
    // installation's package store.
    QTemporaryDir scratch;
    if (!scratch.isValid()) {
        err << "inspect: cannot create a temporary folder\n";
        return 1;
    }
    SetProgramFolderForTests(scratch.path().toStdString());
    struct Restore {
        ~Restore() { SetProgramFolderForTests({}); }
    } restore;

    PackageState state;
    ReportOperator op(out);
    const bool combined = IsCombinedPackage(package);
    out << "Package: " << package << "\nKind: " << (combined ? "combined" : "single") << "\n";
    if (!LoadLocalPackage(state, op, host, package)) {
        err << "inspect: invalid package: " << Reason(state, host) << "\n";
        return 1;
    }
    const std::string body = WorkPath(PackageFileName(package), "tmp").string();
    ListMembers(body, out);
    out << "Version: " << state.m_packageVersion << "\n";
    if (!combined) {
        out << "Restart: " << (state.m_needRestart ? "yes" : "no") << "\n";
        if (!host.report.empty()) {
            VersionClass gw = ClassifyVersion(host.version);
            out << "Gateway: " << host.version << " (layout " << gw.layoutFlag << ", product line "
                << gw.productLine << ")\n";
            if (!CheckAgainstGateway(state, host, out, err, "Package"))
                return 1;
        }
        return 0;
    }
    // Combined: the plan as the update would run it, and each member package.
    op.quiet = true;
    if (!ExtractWholePackage(state, op, body, "compose_unpkg") || !ReadCombinedPlan(state)) {
        err << "inspect: invalid package: " << LoadStr(6583);
        return 1;
    }
    out << "Plan (" << state.m_combinedSteps.size() << " steps):\n";
    const auto steps = state.m_combinedSteps;
    bool allowed = true;
    for (const auto& step : steps) {
        static const char* kSteps[] = {"", "install package", "restore factory defaults",
                                       "run script", "refresh gateway version"};
        out << "  " << step.type << " " << kSteps[step.type] << (step.name.empty() ? "" : " ")
            << step.name << "\n";
        if (step.type == 1 || step.type == 3) {
            if (!fs::is_regular_file(WorkPath(step.name, "compose_unpkg"), ec)) {
                err << "inspect: invalid package: member " << step.name << " is missing\n";
                return 1;
            }
        }
        if (step.type != 1)
            continue;
        PackageState member;
        ClearWorkFolder("unpkg");
        if (!LoadPackageFromPath(member, op, WorkPath(step.name, "compose_unpkg").string(),
                                 PackageKind::Single)) {
            err << "inspect: invalid member package " << step.name << ": " << Reason(member, host)
                << "\n";
            return 1;
        }
        out << "    version " << member.m_packageVersion << ", restart "
            << (member.m_needRestart ? "yes" : "no") << "\n";
        if (!host.report.empty() &&
            !CheckAgainstGateway(member, host, out, err, "  " + step.name)) {
            allowed = false;
        }
    }
    return allowed ? 0 : 1;
}

}  // namespace vorn

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

bool EndsWithBcf(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.size() == 4 && AsciiLower(ext) == ".bcf";
}

// `inspect --json`: one "package" event and the result, read the way an update or restore
// reads the file: a package's kind and target version, a backup's saved version.
int InspectJson(const CliArgs& args, CliEnvironment& env) {
    const std::string path = fs::absolute(args.positional[0]).string();
    QJsonObject fields;
    fields.insert("path", JsonText(path));
    std::string error;
    std::error_code ec;
    bool valid = false;
    if (!fs::is_regular_file(path, ec)) {
        error = "no such file";
    } else if (!LoadZipBridge(error)) {
        error = "cannot load the archive component: " + error;
    } else {
        QTemporaryDir scratch;
        if (!scratch.isValid()) {
            error = "cannot create a temporary folder";
        } else {
            // A scratch program folder: inspecting never touches the package store.
            SetProgramFolderForTests(scratch.path().toStdString());
            if (EndsWithBcf(path)) {
                std::string saved;
                valid = VerifyBackupFile(path, saved);
                fields.insert("kind", "backup");
                fields.insert("version", valid ? JsonText(saved) : QJsonValue::Null);
                fields.insert("restart", true);
                if (!valid)
                    error = LoadStr(6520);
            } else {
                PackageTarget target;
                valid = ReadPackageTarget(path, target, error);
                fields.insert("kind",
                              target.kind == PackageKind::Combined ? "combined" : "single");
                fields.insert("version", valid ? JsonText(target.version) : QJsonValue::Null);
                fields.insert("restart", target.needRestart);
            }
            SetProgramFolderForTests({});
        }
    }
    while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    fields.insert("valid", valid);
    fields.insert("reason", valid ? QJsonValue::Null : JsonText(error));
    CliOperator op(env.out, {true, false}, env.terminal);
    op.SetCommand("inspect");
    op.Event("package", fields);
    for (const QString& key : fields.keys()) op.SetResult(key.toUtf8().constData(), fields.value(key));
    if (!valid) {
        op.Note("inspect: invalid " + std::string(EndsWithBcf(path) ? "backup" : "package") +
                    ": " + error,
                true);
    }
    op.Exit(valid ? kExitOk : kExitFailed);
    return valid ? kExitOk : kExitFailed;
}

int CmdInspect(const CliArgs& args, CliEnvironment& env) {
    if (args.Has("json")) {
        return InspectJson(args, env);
    }
    std::vector<std::string> raw = args.positional;
    if (args.values.count("gateway-version-file")) {
        raw.push_back("--gateway-version-file");
        raw.push_back(args.Value("gateway-version-file"));
    }
    if (args.values.count("unpack")) {
        raw.push_back("--unpack");
        raw.push_back(args.Value("unpack"));
    }
    return RunInspect(raw, env.out, env.err);
}

}  // namespace

CliCommand InspectCommand() {
    CliCommand c{"inspect",
                 "PACKAGE",
                 "check a package offline (no gateway)",
                 {{"unpack", 0, true, "FOLDER",
                   "also unpack it into the new FOLDER as an update reads it (fleet runs)"},
                  {"gateway-version-file", 0, true, "FILE",
                   "a gateway's version report: check the layout and the version rules"}},
                 1,
                 1,
                 false,
                 &CmdInspect};
    c.offline = true;
    return c;
}

}  // namespace vorn::cli
