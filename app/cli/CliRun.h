#pragma once
// One run of a gateway command of vornupdater: the operator, the frame, the login (with the
// connection page's lockout rules), waiting for the procedure and the quiet close. Shared by
// the command files.
#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>
#include <optional>
#include <string>

#include "app/ConnectAttempt.h"
#include "app/ConnectRules.h"
#include "app/cli/Cli.h"
#include "app/cli/CliOperator.h"

namespace vorn::cli {

inline constexpr int kLoginTimeoutMs = 30000;
inline constexpr int kVersionReplyMs = 5000;
// A procedure whose link moves no byte for this long is given up.
inline constexpr int kSilenceTimeoutMs = 120000;

// Handles the events that are due, waiting (without spinning) up to `maxWaitMs` for the first
// one: callers loop on it and look at their conditions and clocks between the calls.
void PumpEvents(int maxWaitMs);

// Runs the event loop until `done` holds or `timeoutMs` passed; the last value of `done`.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);

// What a login learned about the gateway, as event fields: "version", "protocol", "layout"
// ("/etc" or "/var": where its scripts live), "layout_flag" and "product_line".
QJsonObject GatewayFields(const CMainFrame& frame);

// One run of a gateway command: the operator, the frame, the login and the quiet close.
class CliRun {
public:
    CliRun(const CliArgs& args, CliEnvironment& env)
        : m_args(args),
          m_env(env),
          m_op(env.out, {args.Has("json"), env.outIsTerminal && !args.Has("json")}, env.terminal),
          m_frame(&m_op, env.consoleDigest) {
        m_op.SetAssumeYes(args.Has("yes"));
        m_op.SetCommand(args.command);
    }

    CliOperator& Op() { return m_op; }
    // Progress lines of uploads say how much is sent, the rate and the time left.
    void ShowTransferRate() {
        m_op.SetTransferSource([this]() -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
            if (!m_frame.Transferring())
                return std::nullopt;
            return std::make_pair(m_frame.UploadSent(), m_frame.UploadSize());
        });
    }
    CMainFrame& Frame() { return m_frame; }
    const std::string& Address() const { return m_address; }
    // The gateway's version at the first login of this run ("" before it).
    const std::string& VersionBefore() const { return m_versionBefore; }

    int Usage(const std::string& error) {
        m_env.err << "vornupdater: " << error << "\n";
        if (m_args.Has("json")) {
            m_op.Note(error, true);
            m_op.Exit(kExitUsage);
        }
        return kExitUsage;
    }

    // Gateway address, device choice and password; 0 or an exit status.
    int Prepare() {
        const std::string error = ParseGateway(m_args.Value("gateway"), m_address, m_port);
        if (!error.empty()) {
            return Usage(error);
        }
        // The login lockout of the connection page holds here too.
        m_check = CheckConnectAllowed(m_args.Value("gateway"));
        if (!m_check.allowed) {
            m_op.AppendConsole(m_check.message + "\n", kRed);
            m_op.Exit(kExitConnect);
            return kExitConnect;
        }
        if (m_args.values.count("model")) {
            int model = 0, series = 0;
            if (!ParseCount(m_args.Value("model"), model) ||
                !ParseCount(m_args.Value("series"), series)) {
                return Usage("--model and --series take non-negative numbers");
            }
            m_op.SetDevice(std::make_pair(model, series));
        }
        std::string perror;
        std::optional<std::string> password = GatewayPassword(m_args, m_env.terminal, perror);
        if (!password) {
            return Usage(perror);
        }
        m_password = *password;
        return 0;
    }

    // Connects and logs in; 0 or kExitConnect.
    int Login() {
        CConnectAttempt attempt(m_frame);
        attempt.SetLoginTimeout(kLoginTimeoutMs);
        attempt.SetVersionReplyTimeout(kVersionReplyMs);
        const RememberMode remember =
            m_args.Has("remember") ? RememberMode::AddressAndPassword : RememberMode::LeaveList;
        if (!attempt.Start(m_check, m_address, m_port, m_password, remember, {})) {
            return kExitConnect;
        }
        RunUntil([&] { return attempt.Finished(); }, kLoginTimeoutMs + kVersionReplyMs + 5000);
        const CConnectAttempt::Result& result = attempt.Outcome();
        if (!m_loggedIn) {
            // Whether the gateway refused the password (the fleet counts it for the lockout).
            m_op.SetResult("login_refused", result.outcome == kWizardLoginRefused);
        }
        if (result.timedOut) {
            m_op.Note("vornupdater: no answer from the gateway", true);
        }
        if (!result.warning.empty()) {
            const std::string& warning = result.warning;
            m_op.AppendConsole(warning + (warning.back() == '\n' ? "" : "\n"), kRed);
        }
        if (result.timedOut || !m_frame.Connected) {
            return kExitConnect;
        }
        QJsonObject login = GatewayFields(m_frame);
        login.insert("address", QString::fromStdString(m_address));
        login.insert("port", m_port);
        login.insert("text", login.value("version"));
        m_op.Event("login", login);
        if (!m_loggedIn) {
            m_loggedIn = true;
            m_versionBefore = m_frame.DeviceVersion();
            m_op.SetResult("gateway", QString::fromStdString(m_address + ":" +
                                                             std::to_string(m_port)));
            m_op.SetResult("version_before", JsonText(m_versionBefore));
        }
        return kExitOk;
    }

    // Waits until the procedure started on the frame has ended; false when the link fell
    // silent for too long.
    bool WaitProcedure() {
        std::uint64_t moved = 0;
        QElapsedTimer quiet;
        quiet.start();
        while (m_frame.SessionState != 0) {
            const std::uint64_t now = m_frame.BytesSent() + m_frame.BytesReceived();
            if (now != moved) {
                moved = now;
                quiet.restart();
            } else if (quiet.elapsed() > kSilenceTimeoutMs) {
                m_op.Note("vornupdater: the gateway stopped answering", true);
                m_frame.Disconnect();
                return false;
            }
            PumpEvents(20);
        }
        return true;
    }

    // Closes the link without the disconnect messages and reports the status.
    int Finish(int code) {
        // A close that is already queued (a failed send posts one) reports itself first.
        QCoreApplication::processEvents();
        if (m_frame.SessionState != 0) {
            m_frame.Disconnect();
        }
        m_frame.CanClose();
        m_op.Exit(code);
        return code;
    }

private:
    const CliArgs& m_args;
    CliEnvironment& m_env;
    CliOperator m_op;
    CMainFrame m_frame;
    std::string m_address;
    std::uint16_t m_port = kLinkPort;
    std::string m_password;
    ConnectCheck m_check;
    bool m_loggedIn = false;
    std::string m_versionBefore;
};

}  // namespace vorn::cli
