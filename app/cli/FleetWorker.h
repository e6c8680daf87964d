#pragma once
// One gateway of a fleet run: its own scratch program folder, the vornupdater process that
// works on it (a single-gateway command with --json), and what that process reports.
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/FleetList.h"

class QJsonObject;

namespace vorn::cli {

enum class FleetResult { Waiting, Running, Succeeded, Failed, Unreachable, Locked, NotStarted };
// "waiting", "running", "ok", "failed", "unreachable", "locked", "not started".
const char* FleetResultText(FleetResult result);

struct FleetStatus {
    FleetResult result = FleetResult::Waiting;
    std::string activity;  // the gateway's current step, for the progress line
    int percent = -1;      // of the current transfer; -1 when none runs
    std::string versionBefore;
    std::string versionAfter;    // the package's version, or the one read back (verified)
    bool verified = false;       // versionAfter was read back from the gateway
    bool wrongPassword = false;  // the login was refused
    qint64 elapsedMs = 0;
    int exitCode = -1;
    std::vector<std::string> failure;  // error texts, in order
    std::vector<std::string> log;      // the worker's log lines (kept for failed gateways)
};

// Makes `scratch` a program and data folder of its own: the installation's read-only parts
// ("openssl", the helper-script folders, the archive component) linked from `install`, the
// options file copied from `data`. Every working folder the worker creates is its own.
// Error text or "".
std::string PrepareScratchFolder(const std::filesystem::path& install,
                                 const std::filesystem::path& data,
                                 const std::filesystem::path& scratch);

class CFleetWorker {
public:
    CFleetWorker(FleetGateway gateway, std::filesystem::path scratch);
    ~CFleetWorker();
    CFleetWorker(const CFleetWorker&) = delete;
    CFleetWorker& operator=(const CFleetWorker&) = delete;

    const FleetGateway& Gateway() const { return m_gateway; }
    const std::filesystem::path& Scratch() const { return m_scratch; }
    FleetStatus& Status() { return m_status; }
    const FleetStatus& Status() const { return m_status; }

    // Runs `program args` with the scratch folder as its program folder, the password in its
    // environment (never on a command line), no terminal and its own process group, so a
    // Ctrl-C at the terminal reaches only the fleet command. False when it cannot start.
    bool Start(const QString& program, const QStringList& args, const std::string& password);
    bool Running() const;
    // Handles the events written since the last call; `onEvent` sees each line as written.
    // True when the status changed.
    bool Poll(const std::function<void(const std::string&)>& onEvent);
    // After the process ended: the result from its exit status and events, the log lines.
    void Finish();

private:
    void Handle(const QJsonObject& event);
    void AddFailure(std::string text);

    FleetGateway m_gateway;
    std::filesystem::path m_scratch;
    std::unique_ptr<QProcess> m_process;
    QByteArray m_pending;  // an unfinished output line
    QElapsedTimer m_clock;
    FleetStatus m_status;
};

}  // namespace vorn::cli
