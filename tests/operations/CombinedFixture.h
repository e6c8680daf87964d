#pragma once
// A connected main frame, a simulator that runs combined-update scripts, and builders of
// stored combined packages.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "lib/StringTable.h"
#include "operations/CMainFrame.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimDiagnostics.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::test {

namespace fs = std::filesystem;

class CombinedFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        fs::create_directories(Home());
        SetProgramFolderForTests(Home());
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        GatewaySimConfig cfg;
        cfg.root = Dir() / "root";
        cfg.versionText = "KELMORA-GW-2100 V5.2.1\nbuild 7\n";
        cfg.rebootRefuseMs = 0;
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddComposeScriptRunner(*m_sim, "/etc/vorncmd/compose.sh");
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
        m_frame = std::make_unique<CMainFrame>(&m_op);
        Connect();
    }
    void TearDown() override {
        m_frame.reset();
        m_sim->Stop();
        SetProgramFolderForTests({});
    }
    void Connect() {
        ASSERT_TRUE(m_frame->ConnectGateway("127.0.0.1", "admin", m_sim->Port()));
        ASSERT_TRUE(waitFor([&] { return m_frame->Connected && m_frame->SessionState == 0; }));
        m_mark = m_sim->ReceivedTexts().size();
    }
    fs::path Dir() const { return m_dir.path().toStdString(); }
    fs::path Home() const { return Dir() / "prog"; }

    static std::string Plan(const std::vector<std::map<std::string, std::string>>& entries) {
        std::string text = "[Total]\ncount = " + std::to_string(entries.size()) + "\n";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            text += "[" + std::to_string(i + 1) + "]\n";
            for (const auto& [k, v] : entries[i]) text += k + " = " + v + "\n";
        }
        return text;
    }
    // Builds "<name>" from the members into "compose_pkg", where the update finds it.
    void StoreCombined(const std::string& name, const std::map<std::string, std::string>& members) {
        const fs::path src = Dir() / (name + ".d");
        fs::remove_all(src);
        for (const auto& [member, data] : members) {
            fs::create_directories((src / member).parent_path());
            std::ofstream(src / member, std::ios::binary) << data;
        }
        fs::create_directories(Home() / "compose_pkg");
        std::string error;
        ASSERT_TRUE(BuildPackage(src.string(), (Home() / "compose_pkg" / name).string(), "", error))
            << error;
    }
    // Waits for the end of a combined update (success closes the link, failure does not).
    bool UpdateEnded(int timeoutMs = 20000) {
        return waitFor([&] { return !m_frame->CombinedUpdateRunning() && m_frame->SessionState == 0; },
                       timeoutMs);
    }
    std::vector<std::string> UpdateTexts(int code) const {
        std::vector<std::string> v;
        for (const auto& e : m_op.updatePage) {
            if (e.code == code) v.push_back(e.text);
        }
        return v;
    }
    // The messages of the transcript since the login, in order, binary data left out; commands by their line.
    std::vector<std::string> Requests() const {
        std::vector<std::string> v;
        const std::vector<std::string> texts = m_sim->ReceivedTexts();
        for (std::size_t i = m_mark; i < texts.size(); ++i) {
            const std::string& t = texts[i];
            const std::size_t nl = t.find('\n');
            const std::string word = t.substr(0, nl);
            if (word == "login" || word == "version") continue;
            std::string rest = nl == std::string::npos ? "" : t.substr(nl + 1);
            const std::size_t colon = rest.find(':');
            const std::size_t end = rest.find('\n');
            v.push_back(word + (colon == std::string::npos ? "" : " " + rest.substr(colon + 1, end - colon - 1)));
        }
        return v;
    }
    std::string RemoteFile(const std::string& path) const {
        std::ifstream in(m_sim->LocalPath(path), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    QTemporaryDir m_dir;
    RecordingOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CMainFrame> m_frame;
    std::size_t m_mark = 0;  // messages of the login are left out of Requests()
};

}  // namespace vorn::test
