#pragma once
// A session and an in-process simulator on 127.0.0.1, over a temporary program folder
// (tests/common/GatewayChain.h).
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "lib/StringTable.h"
#include "link/CGatewaySession.h"
#include "platform/ProgramFolder.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::test {

// The session with its hooks observable.
class TestSession : public CGatewaySession {
public:
    using CGatewaySession::CGatewaySession;
    std::string loginVersion;
    int chosenModel = -1, chosenSeries = -1;
    int closedCount = 0;

protected:
    void OnLoginVersion(const std::string& v) override { loginVersion = v; }
    void OnDeviceChosen(int m, int s) override {
        chosenModel = m;
        chosenSeries = s;
    }
    void OnSessionClosed() override { ++closedCount; }
};

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override { m_session = std::make_unique<TestSession>(&m_op); }
    void TearDown() override {
        m_session.reset();
        if (m_sim)
            m_sim->Stop();
    }

    std::filesystem::path Dir() const { return m_folders.Dir(); }

    void StartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        m_sim = StartGatewaySim(m_folders.SimRoot(), edit);
        ASSERT_TRUE(m_sim);
    }

    // Connects and waits until the login ended (state back to 0, or refused in state 3).
    bool Login(const std::string& password = "admin") {
        return LoginSession(*m_session, *m_sim, password);
    }
    bool Idle() {
        return waitFor([&] { return m_session->SessionState == 0; });
    }
    bool SimReceived(const std::string& text) const {
        for (const auto& t : m_sim->ReceivedTexts()) {
            if (t == text)
                return true;
        }
        return false;
    }
    static QByteArray Md5(const std::string& data) {
        return QCryptographicHash::hash(QByteArray::fromStdString(data), QCryptographicHash::Md5)
            .toHex();
    }

    CTestFolders m_folders;
    RecordingOperator m_op;
    std::unique_ptr<TestSession> m_session;
    std::unique_ptr<CGatewaySim> m_sim;
};

}  // namespace vorn::test
