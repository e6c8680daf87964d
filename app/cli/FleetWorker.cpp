#include "app/cli/FleetWorker.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "app/OptionsFile.h"
#include "app/cli/CliArgs.h"
#include "lib/Operator.h"
#include "link/CGatewaySession.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

// Update-page codes: a status line, an error line, the image being sent.
constexpr int kUpdateStatus = 6;
constexpr int kUpdateError = 7;
constexpr int kUpdateImage = 9;

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    std::size_t b = 0;
    while (b < text.size() && (text[b] == '\n' || text[b] == ' ')) ++b;
    return text.substr(b);
}

// A status text for the one progress line: trimmed, line breaks as blanks.
std::string OneLine(const std::string& text) {
    std::string line = Trimmed(text);
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return line;
}

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The last number before a "%" in a progress text, or -1.
int PercentOf(const std::string& text) {
    const std::size_t pct = text.rfind('%');
    if (pct == std::string::npos || pct == 0)
        return -1;
    std::size_t b = pct;
    while (b > 0 && std::isdigit(static_cast<unsigned char>(text[b - 1]))) --b;
    if (b == pct || pct - b > 3)
        return -1;
    return std::min(100, std::stoi(text.substr(b, pct - b)));
}

}  // namespace

const char* FleetResultText(FleetResult result) {
    switch (result) {
        case FleetResult::Waiting:
            return "waiting";
        case FleetResult::Running:
            return "running";
        case FleetResult::Succeeded:
            return "ok";
        case FleetResult::Failed:
            return "failed";
        case FleetResult::Unreachable:
            return "unreachable";
        case FleetResult::Locked:
            return "locked";
        case FleetResult::NotStarted:
            return "not started";
    }
    return "";
}

std::string PrepareScratchFolder(const fs::path& install, const fs::path& data,
                                 const fs::path& scratch) {
    std::error_code ec;
    fs::create_directories(scratch, ec);
    if (ec)
        return "cannot create '" + scratch.string() + "': " + ec.message();
    // Read-only parts of the installation: linked, so nothing is copied per gateway.
    for (const char* entry : {"openssl", "arm_bin", "bin", "bin_harddisk", "libzipbridge.so"}) {
        if (fs::exists(install / entry, ec)) {
            fs::create_directory_symlink(fs::absolute(install / entry), scratch / entry, ec);
            if (ec)
                return "cannot link '" + (scratch / entry).string() + "': " + ec.message();
        }
    }
    // The options (number of automatic backups, ...) as they are now; the worker may rewrite
    // its copy without touching the real one.
    if (fs::exists(data / kOptionFileName, ec)) {
        fs::copy_file(data / kOptionFileName, scratch / kOptionFileName, ec);
        if (ec)
            return "cannot copy the options file: " + ec.message();
        fs::permissions(scratch / kOptionFileName, fs::perms::owner_read | fs::perms::owner_write,
                        ec);
    }
    return {};
}

CFleetWorker::CFleetWorker(FleetGateway gateway, fs::path scratch)
    : m_gateway(std::move(gateway)), m_scratch(std::move(scratch)) {}

CFleetWorker::~CFleetWorker() {
    // The run waits for every worker; one still running here is an abandoned run.
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        m_process->waitForFinished(5000);
    }
}

bool CFleetWorker::Start(const QString& program, const QStringList& args,
                         const std::string& password) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VORN_HOME", QString::fromStdString(m_scratch.string()));
    env.insert("VORN_PASSWORD", QString::fromStdString(password));
    env.insert("VORN_NO_TTY", "1");
    m_process = std::make_unique<QProcess>();
    m_process->setProcessEnvironment(env);
    m_process->setWorkingDirectory(QString::fromStdString(m_scratch.string()));
    m_process->setProcessChannelMode(QProcess::SeparateChannels);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setChildProcessModifier([] { ::setpgid(0, 0); });
    m_clock.start();
    m_status.result = FleetResult::Running;
    m_status.activity = "connecting";
    m_process->start(program, args);
    if (!m_process->waitForStarted(30000)) {
        AddFailure("cannot start " + program.toStdString() + ": " +
                   m_process->errorString().toStdString());
        m_status.result = FleetResult::Failed;
        m_status.activity.clear();
        m_process.reset();
        return false;
    }
    return true;
}

bool CFleetWorker::Running() const {
    return m_process && m_process->state() != QProcess::NotRunning;
}

void CFleetWorker::AddFailure(std::string text) {
    text = Trimmed(std::move(text));
    // The console line and the update page's error event often carry the same text.
    if (!text.empty() && std::find(m_status.failure.begin(), m_status.failure.end(), text) ==
                             m_status.failure.end()) {
        m_status.failure.push_back(std::move(text));
    }
}

bool CFleetWorker::Poll(const std::function<void(const std::string&)>& onEvent) {
    if (!m_process)
        return false;
    m_pending += m_process->readAllStandardOutput();
    const std::string before = m_status.activity;
    const int percent = m_status.percent;
    const std::string version = m_status.versionBefore;
    for (qsizetype nl; (nl = m_pending.indexOf('\n')) >= 0;) {
        const QByteArray line = m_pending.left(nl);
        m_pending.remove(0, nl + 1);
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject()) {
            Handle(doc.object());
            onEvent(line.toStdString());
        } else if (!line.trimmed().isEmpty()) {
            AddFailure(line.toStdString());  // not an event: show it with the failure
        }
    }
    return before != m_status.activity || percent != m_status.percent ||
           version != m_status.versionBefore;
}

void CFleetWorker::Handle(const QJsonObject& event) {
    const std::string type = event.value("type").toString().toStdString();
    const std::string text = event.value("text").toString().toStdString();
    if (type == "wizard") {
        const int code = event.value("code").toInt(-1);
        std::string version = code == kWizardReconnected && StartsWith(text, "LOGIN:")
                                  ? text.substr(6)
                              : code == kWizardConnected ? text
                                                         : std::string();
        if (!version.empty()) {
            if (m_status.versionBefore.empty()) {
                m_status.versionBefore = Trimmed(version);
                m_status.activity = "logged in";
            }
        } else if (code == kWizardLoginRefused) {
            m_status.wrongPassword = true;
        }
    } else if (type == "progress") {
        m_status.percent = PercentOf(text);
    } else if (type == "update" || type == "check") {
        const int code = event.value("code").toInt(-1);
        if (code == kUpdateImage && StartsWith(text, "SINGLE:")) {
            m_status.activity = "sending image " + text.substr(7);
        } else if (code == kUpdateStatus && !Trimmed(text).empty()) {
            m_status.activity = OneLine(text);
            m_status.percent = -1;
        } else if (code == kUpdateError) {
            AddFailure(text);
        }
    } else if (type == "console" && event.value("colour").toInt() == kRed) {
        AddFailure(text);
    } else if (type == "error") {
        AddFailure(text);
    } else if (type == "note") {
        if (StartsWith(text, "To version:")) {
            m_status.versionAfter = Trimmed(text.substr(11));
        } else if (StartsWith(text, "Verified: the gateway now reports version ")) {
            m_status.versionAfter = Trimmed(text.substr(42));
            m_status.verified = true;
        } else if (StartsWith(text, "[check] ")) {
            m_status.activity = OneLine(text.substr(8));
            m_status.percent = -1;
        } else if (StartsWith(text, "[") && text.back() == ']') {
            m_status.activity = text.substr(1, text.size() - 2);
            m_status.percent = -1;
        } else if (StartsWith(text, "Waiting for the gateway to come back")) {
            m_status.activity = "waiting for the restart";
        }
    }
}

void CFleetWorker::Finish() {
    if (m_process) {
        Poll([](const std::string&) {});
        const std::string err = m_process->readAllStandardError().toStdString();
        if (m_process->exitStatus() == QProcess::CrashExit) {
            m_status.exitCode = -1;
            AddFailure("the worker process ended abnormally");
        } else {
            m_status.exitCode = m_process->exitCode();
        }
        if (!err.empty())
            AddFailure(err);
        m_process.reset();
    }
    m_status.elapsedMs = m_clock.isValid() ? m_clock.elapsed() : 0;
    m_status.percent = -1;
    m_status.activity.clear();
    switch (m_status.exitCode) {
        case kExitOk:
            m_status.result = FleetResult::Succeeded;
            break;
        case kExitConnect:
            m_status.result = FleetResult::Unreachable;
            break;
        default:
            m_status.result = FleetResult::Failed;
            break;
    }
    if (m_status.result != FleetResult::Succeeded) {
        std::ifstream in(m_scratch / "log" / "kelmora.log", std::ios::binary);
        for (std::string line; std::getline(in, line);) m_status.log.push_back(line);
    }
}

}  // namespace vorn::cli
