#pragma once
// One connect attempt of the connection page or a headless command: ConnectGateway, the
// outcome read from the session's change notifications, the answer to the version message,
// and the recent-address list and login-error count updated by the outcome. It runs from the
// event loop: Start returns at once and `done` is called once when the attempt has ended.
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

#include "app/ConnectRules.h"

namespace vorn {

class CGatewaySession;

class CConnectAttempt {
public:
    struct Result {
        ConnectOutcome outcome = kWizardConnectFailed;
        bool timedOut = false;  // no answer within the login time
        std::string warning;    // 6798 after repeated wrong passwords, or ""
    };
    using Done = std::function<void(const Result&)>;

    explicit CConnectAttempt(CGatewaySession& session);
    ~CConnectAttempt();
    CConnectAttempt(const CConnectAttempt&) = delete;
    CConnectAttempt& operator=(const CConnectAttempt&) = delete;

    void SetLoginTimeout(int ms) { m_loginTimeoutMs = ms; }
    void SetVersionReplyTimeout(int ms) { m_versionTimeoutMs = ms; }

    // `check` comes from CheckConnect / CheckConnectAllowed and must allow the attempt.
    // False when the connect could not even start (nothing is recorded, `done` is not called).
    bool Start(const ConnectCheck& check, const std::string& host, std::uint16_t port,
               const std::string& password, RememberMode remember, Done done);

    bool Running() const { return m_running; }
    bool Finished() const { return m_finished; }
    const Result& Outcome() const { return m_result; }

private:
    void OnSessionChanged();
    void Evaluate();
    void LoginEnded(bool timedOut);
    void Finish();

    CGatewaySession& m_session;
    int m_listener = 0;
    int m_loginTimeoutMs = 30000;
    int m_versionTimeoutMs = 5000;
    QTimer m_timer;
    // Changes are read once the event that made them has been handled (a procedure may pass
    // through intermediate values, e.g. the step before the state).
    QObject m_context;
    bool m_evaluatePosted = false;
    ConnectCheck m_check;
    std::string m_password;
    RememberMode m_remember = RememberMode::LeaveList;
    Done m_done;
    bool m_running = false;
    bool m_loginDone = false;
    bool m_finished = false;
    Result m_result;
};

}  // namespace vorn
