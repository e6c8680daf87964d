#include "app/cli/FleetWorker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "app/OptionsFile.h"
#include "app/cli/CliArgs.h"
#include "lib/UpdatePageEvents.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::pair<FleetResult, const char*> kResultTexts[] = {
    {FleetResult::Waiting, "waiting"},       {FleetResult::Running, "running"},
    {FleetResult::Succeeded, "ok"},          {FleetResult::Skipped, "skipped"},
    {FleetResult::Failed, "failed"},         {FleetResult::Unreachable, "unreachable"},
    {FleetResult::Locked, "locked"},         {FleetResult::NotStarted, "not started"},
};

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

std::string Utf8(const QJsonValue& v) {
    return v.toString().toStdString();
}

}  // namespace

const char* FleetResultText(FleetResult result) {
    for (const auto& [r, text] : kResultTexts) {
        if (r == result)
            return text;
    }
    return "";
}

std::optional<FleetResult> FleetResultFromText(const std::string& text) {
    for (const auto& [r, t] : kResultTexts) {
        if (text == t)
            return r;
    }
    return std::nullopt;
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

CFleetWorker::CFleetWorker(FleetGateway gateway, fs::path scratch, int index)
    : m_index(index), m_gateway(std::move(gateway)), m_scratch(std::move(scratch)) {}

bool CFleetWorker::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& password) {
    m_clock.start();
    m_status.result = FleetResult::Running;
    m_status.activity = "connecting";
    m_events = std::make_unique<CLineTail>(m_scratch / kWorkerEvents);
    const std::string error =
        m_process.Start(program, args,
                        {{"VORN_HOME", m_scratch.string()},
                         {"VORN_PASSWORD", password},
                         {"VORN_NO_TTY", "1"}},
                        m_scratch, m_scratch / kWorkerEvents, m_scratch / kWorkerErrors);
    if (!error.empty()) {
        AddFailure(error);
        m_status.result = FleetResult::Failed;
        m_status.activity.clear();
        return false;
    }
    return true;
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
    if (!m_events)
        return false;
    const std::string before = m_status.activity;
    const int percent = m_status.percent;
    const std::string version = m_status.versionBefore;
    for (const std::string& line : m_events->ReadLines()) {
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        if (doc.isObject()) {
            Handle(doc.object());
            onEvent(line);
        } else if (!Trimmed(line).empty()) {
            AddFailure(line);  // not an event: show it with the failure
        }
    }
    return before != m_status.activity || percent != m_status.percent ||
           version != m_status.versionBefore;
}

void CFleetWorker::Handle(const QJsonObject& event) {
    // The documented events carry the facts; the others only what the progress line shows.
    const std::string type = Utf8(event.value("type"));
    const std::string text = Utf8(event.value("text"));
    if (type == "login") {
        if (!m_status.loggedIn && event.contains("version")) {
            m_status.loggedIn = true;
            m_status.versionBefore = Utf8(event.value("version"));
            m_status.activity = "logged in";
        }
    } else if (type == "result") {
        if (!m_status.loggedIn && event.value("version_before").isString()) {
            m_status.loggedIn = true;
            m_status.versionBefore = Utf8(event.value("version_before"));
        }
        m_status.wrongPassword = event.value("login_refused").toBool();
        const QJsonValue after = event.value("version_after");
        m_status.versionAfter = after.isString() ? Utf8(after) : std::string();
        m_status.verified = event.value("version_after_read").toBool();
        // The result is the worker's once it has ended: until then it still runs.
        m_status.skipped = event.value("skipped").toBool();
        const QJsonValue backup = event.value("backup_file");
        if (backup.isString())
            m_status.workerBackup = Utf8(backup);
        for (const QJsonValue& f : event.value("failure").toArray()) AddFailure(Utf8(f));
    } else if (type == "exit") {
        m_status.exitSeen = true;
        m_status.exitCode = event.value("code").toInt(-1);
    } else if (type == "progress") {
        const double sent = event.value("sent").toDouble(-1), size = event.value("size").toDouble(0);
        m_status.percent = sent >= 0 && size > 0 ? std::min(100, static_cast<int>(sent * 100 / size))
                                                 : -1;
    } else if (type == "update" || type == "check") {
        const int code = event.value("code").toInt(-1);
        if (code == kUpdateMember && text.rfind("SINGLE:", 0) == 0) {
            m_status.activity = "sending image " + text.substr(7);
        } else if (code == kUpdateDetail && !Trimmed(text).empty()) {
            m_status.activity = OneLine(text);
            m_status.percent = -1;
        }
    } else if (type == "note" && !Trimmed(text).empty()) {
        m_status.activity = OneLine(text);
        m_status.percent = -1;
    }
}

void CFleetWorker::Conclude(int exitCode) {
    m_status.exitCode = exitCode;
    m_status.percent = -1;
    m_status.activity.clear();
    if (exitCode == kExitOk) {
        m_status.result = m_status.skipped ? FleetResult::Skipped : FleetResult::Succeeded;
    } else {
        m_status.result = exitCode == kExitConnect ? FleetResult::Unreachable : FleetResult::Failed;
    }
    if (m_status.result != FleetResult::Succeeded && m_status.result != FleetResult::Skipped) {
        if (m_status.failure.empty())
            AddFailure("the worker ended with exit status " + std::to_string(exitCode));
        std::ifstream in(m_scratch / "log" / "kelmora.log", std::ios::binary);
        for (std::string line; std::getline(in, line);) m_status.log.push_back(line);
    }
}

void CFleetWorker::Finish() {
    Poll([](const std::string&) {});
    if (m_events && !Trimmed(m_events->Rest()).empty())
        AddFailure(m_events->Rest());
    std::ifstream err(m_scratch / kWorkerErrors, std::ios::binary);
    AddFailure(std::string(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>()));
    int code = m_process.ExitCode();
    if (m_process.SignalNumber() != 0) {
        AddFailure(std::string("the worker process was ended by signal ") +
                   std::to_string(m_process.SignalNumber()) + " (" +
                   ::strsignal(m_process.SignalNumber()) + ")");
        code = -1;
    }
    m_status.elapsedMs = RunningMs();
    Conclude(code);
}

bool CFleetWorker::Adopt() {
    m_events = std::make_unique<CLineTail>(m_scratch / kWorkerEvents);
    Poll([](const std::string&) {});
    if (!m_status.exitSeen)
        return false;
    Conclude(m_status.exitCode);
    return true;
}

void CFleetWorker::Restore(const QJsonObject& o) {
    m_status.earlier = true;
    m_status.result = FleetResultFromText(Utf8(o.value("result"))).value_or(FleetResult::Failed);
    m_status.versionBefore = Utf8(o.value("versionBefore"));
    m_status.versionAfter = Utf8(o.value("versionAfter"));
    m_status.verified = o.value("verified").toBool();
    m_status.exitCode = o.value("exitCode").toInt(-1);
    m_status.elapsedMs = static_cast<qint64>(o.value("seconds").toDouble() * 1000);
    for (const QJsonValue& f : o.value("failure").toArray()) m_status.failure.push_back(Utf8(f));
    for (const QJsonValue& b : o.value("backupFiles").toArray()) m_status.backups.push_back(Utf8(b));
}

}  // namespace vorn::cli
