#pragma once
// A session and an in-process simulator on 127.0.0.1, over a temporary program folder.
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
    void SetUp() override {
        SetLanguage(Language::English);
        SetProgramFolderForTests(Dir() / "prog");
        std::filesystem::create_directories(Dir() / "prog");
        m_session = std::make_unique<TestSession>(&m_op);
    }
    void TearDown() override {
        m_session.reset();
        if (m_sim)
            m_sim->Stop();
        SetProgramFolderForTests({});
    }

    std::filesystem::path Dir() const { return m_dir.path().toStdString(); }

    void StartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        cfg.rebootRefuseMs = 300;
        if (edit)
            edit(cfg);
        m_sim = std::make_unique<CGatewaySim>(cfg);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
    }

    // Connects and waits until the login ended (state back to 0, or refused in state 3).
    bool Login(const std::string& password = "admin") {
        if (!m_session->ConnectGateway("127.0.0.1", password, m_sim->Port()))
            return false;
        return waitFor([&] {
            return (m_session->SessionState == 0 && m_session->SessionStep == 0) ||
                   (m_session->SessionState == kStateLogin && m_session->SessionStep == 0);
        });
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

    static std::string RandomBytes(std::size_t n, unsigned seed = 7) {
        std::mt19937 gen(seed);
        std::string s(n, '\0');
        for (char& c : s) c = static_cast<char>(gen() & 0xFF);
        return s;
    }
    static std::string ReadLocal(const std::filesystem::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void WriteLocal(const std::filesystem::path& p, const std::string& data) {
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << data;
    }
    static QByteArray Md5(const std::string& data) {
        return QCryptographicHash::hash(QByteArray::fromStdString(data), QCryptographicHash::Md5)
            .toHex();
    }

    QTemporaryDir m_dir;
    RecordingOperator m_op;
    std::unique_ptr<TestSession> m_session;
    std::unique_ptr<CGatewaySim> m_sim;
};

}  // namespace vorn::test
