#include "app/ConnectAttempt.h"

#include "link/CGatewaySession.h"

namespace vorn {

CConnectAttempt::CConnectAttempt(CGatewaySession& session) : m_session(session) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (!m_loginDone) {
            LoginEnded(true);
        } else {
            Finish();  // the version reply did not come; go on without it
        }
    });
}

CConnectAttempt::~CConnectAttempt() {
    if (m_listener) {
        m_session.RemoveSessionListener(m_listener);
    }
}

bool CConnectAttempt::Start(const ConnectCheck& check, const std::string& host, std::uint16_t port,
                            const std::string& password, RememberMode remember, Done done) {
    if (m_running || !check.allowed) {
        return false;
    }
    m_check = check;
    m_password = password;
    m_remember = remember;
    m_done = std::move(done);
    m_result = Result{};
    m_loginDone = m_finished = false;
    if (!m_listener) {
        m_listener = m_session.AddSessionListener([this] { OnSessionChanged(); });
    }
    // Changes during the call itself are read once it has returned.
    if (!m_session.ConnectGateway(host, password, port)) {
        return false;
    }
    m_running = true;
    m_timer.start(m_loginTimeoutMs);
    OnSessionChanged();  // a connect that completed at once
    return true;
}

void CConnectAttempt::OnSessionChanged() {
    if (!m_running || m_evaluatePosted) {
        return;
    }
    m_evaluatePosted = true;
    QTimer::singleShot(0, &m_context, [this] {
        m_evaluatePosted = false;
        Evaluate();
    });
}

void CConnectAttempt::Evaluate() {
    if (!m_running) {
        return;
    }
    if (!m_loginDone) {
        const int state = m_session.SessionState;
        if (state == 0 || (state == kStateLogin && m_session.SessionStep == 0)) {
            LoginEnded(false);
        }
        return;
    }
    if (!m_session.VersionReplyPending() || !m_session.Connected) {
        Finish();
    }
}

void CConnectAttempt::LoginEnded(bool timedOut) {
    m_loginDone = true;
    m_result.timedOut = timedOut;
    if (m_session.Connected) {
        m_result.outcome =
            m_session.DeviceVersion().empty() ? kWizardDeviceChosen : kWizardConnected;
    } else if (!timedOut && m_session.SessionState == kStateLogin) {
        m_result.outcome = kWizardLoginRefused;
    } else {
        m_result.outcome = kWizardConnectFailed;
    }
    m_result.warning = RecordLoginResult(m_check, m_password, m_result.outcome, m_remember);
    if (!timedOut && m_session.Connected && m_session.VersionReplyPending()) {
        // Let the answer to the version message arrive before anything else is sent.
        m_timer.start(m_versionTimeoutMs);
        return;
    }
    Finish();
}

void CConnectAttempt::Finish() {
    if (m_finished) {
        return;
    }
    m_timer.stop();
    m_finished = true;
    m_running = false;
    if (m_done) {
        Done done = m_done;
        done(m_result);
    }
}

}  // namespace vorn
