#pragma once
// The chain every integration test stands on: a temporary program folder, the gateway
// simulator running on 127.0.0.1 over a root folder beside it, and a session logged in to
// it. Fixtures take as much of the chain as they need.
#include <gtest/gtest.h>

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
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::test {

// Step 1: a temporary folder with "prog" as the process's program folder (English texts)
// and "root" for the simulator, both removed at the end.
class CTestFolders {
public:
    CTestFolders() {
        SetLanguage(Language::English);
        std::filesystem::create_directories(Prog());
        SetProgramFolderForTests(Prog());
    }
    ~CTestFolders() { SetProgramFolderForTests({}); }
    CTestFolders(const CTestFolders&) = delete;
    CTestFolders& operator=(const CTestFolders&) = delete;

    std::filesystem::path Dir() const { return m_dir.path().toStdString(); }
    std::filesystem::path Prog() const { return Dir() / "prog"; }
    std::filesystem::path SimRoot() const { return Dir() / "root"; }

private:
    QTemporaryDir m_dir;
};

// Step 2: the simulator over `root`; `edit` adjusts the configuration first, `beforeStart`
// adds commands. Null (with a test failure) when it does not start.
inline std::unique_ptr<CGatewaySim> StartGatewaySim(
    const std::filesystem::path& root, const std::function<void(GatewaySimConfig&)>& edit = {},
    int rebootRefuseMs = 300, const std::function<void(CGatewaySim&)>& beforeStart = {}) {
    GatewaySimConfig cfg;
    cfg.root = root;
    cfg.rebootRefuseMs = rebootRefuseMs;
    if (edit) {
        edit(cfg);
    }
    auto sim = std::make_unique<CGatewaySim>(cfg);
    if (beforeStart) {
        beforeStart(*sim);
    }
    if (!sim->Start()) {
        ADD_FAILURE() << sim->LastError();
        return nullptr;
    }
    return sim;
}

// Step 3: connects `session` and waits until the login ended: logged in (state and step 0)
// or refused (state 3, step 0). False when it did not end.
inline bool LoginSession(CGatewaySession& session, const CGatewaySim& sim,
                         const std::string& password = "admin") {
    if (!session.ConnectGateway("127.0.0.1", password, sim.Port())) {
        return false;
    }
    return waitFor([&] {
        return (session.SessionState == 0 && session.SessionStep == 0) ||
               (session.SessionState == kStateLogin && session.SessionStep == 0);
    });
}

// Logged in, and the gateway's answer to the version message arrived.
inline bool LoginAndAwaitVersion(CGatewaySession& session, const CGatewaySim& sim,
                                 const std::string& password = "admin") {
    return LoginSession(session, sim, password) && session.Connected &&
           waitFor([&] { return session.ProtocolVersion != 0; });
}

// Files of the tests.
inline std::string RandomBytes(std::size_t n, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return s;
}
inline std::string ReadLocal(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void WriteLocal(const std::filesystem::path& p, const std::string& data) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << data;
}

}  // namespace vorn::test
