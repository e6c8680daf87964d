#pragma once
// A main frame logged in to an in-process simulator that runs gateway scripts, over a
// temporary program folder with the archive component and the helper scripts (the chain of
// tests/common/GatewayChain.h); package builders and the simulator's transcript as a list of
// lines.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "lib/StringTable.h"
#include "operations/CMainFrame.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/ProgramFolder.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::test {

namespace fs = std::filesystem;

inline std::string ReadAll(const fs::path& p) {
    return ReadLocal(p);
}
inline void WriteAll(const fs::path& p, const std::string& data) {
    WriteLocal(p, data);
}

class GatewayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(LoadZipBridge(error, VORN_ZIPBRIDGE_PATH)) << error;
        InstallHelperScripts();
    }
    void TearDown() override {
        m_frame.reset();
        if (m_sim)
            m_sim->Stop();
    }

    fs::path Dir() const { return m_folders.Dir(); }
    fs::path Prog() const { return m_folders.Prog(); }
    fs::path SimRoot() const { return m_folders.SimRoot(); }

    void InstallHelperScripts() {
        for (const char* folder : {"arm_bin", "bin", "bin_harddisk"}) {
            fs::create_directories(Prog() / folder);
            for (const char* script : {"updhistory.sh", "bakcfgsh", "prercovcfgsh", "rcovcfgsh"}) {
                fs::copy_file(fs::path(VORN_SOURCE_DIR) / "helper-scripts" / "gateway" / script,
                              Prog() / folder / script, fs::copy_options::overwrite_existing);
            }
        }
    }

    // Starts the simulator (with scripts) and logs the frame in.
    void StartAndLogin(const std::function<void(GatewaySimConfig&)>& edit = {},
                       const SimScriptOptions& scripts = {}) {
        m_sim = StartGatewaySim(SimRoot(), edit, 200,
                                [&](CGatewaySim& sim) { AddScriptCommands(sim, scripts); });
        ASSERT_TRUE(m_sim);
        m_frame = std::make_unique<CMainFrame>(&m_op);
        Login();
        m_loginEntries = m_sim->Transcript().size();
    }
    void Login() { ASSERT_TRUE(LoginAndAwaitVersion(*m_frame, *m_sim)); }

    // What the simulator received since the login: text messages as they are, each run of
    // binary frames as "[N bytes]".
    std::vector<std::string> Sent() const {
        std::vector<std::string> out;
        const auto entries = m_sim->Transcript();
        for (std::size_t i = m_loginEntries; i < entries.size(); ++i) {
            out.push_back(entries[i].binary ? "[" + std::to_string(entries[i].bytes) + " bytes]"
                                            : entries[i].text);
        }
        return out;
    }
    static std::string Put(const std::string& path) { return "put\nfile:" + path + "\n"; }
    static std::string Get(const std::string& path) { return "get\nfile:" + path + "\n"; }
    static std::string Exec(const std::string& cmd) { return "excute\ncmd:" + cmd + "\n"; }
    static std::string Data(const std::string& content) {
        return "[" + std::to_string(content.size()) + " bytes]";
    }
    static std::vector<std::string> Upload(const std::string& path, const std::string& content) {
        return {Put(path), Data(content), "putover\n"};
    }

    // A single package file built from members.
    std::string MakePackage(const std::string& name,
                            const std::map<std::string, std::string>& members) {
        const fs::path folder = Dir() / (name + ".d");
        fs::remove_all(folder);
        for (const auto& [member, data] : members) WriteAll(folder / member, data);
        const std::string out = (Dir() / name).string();
        std::string error;
        EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
        return out;
    }
    // The members of a package with `apps` application pairs.
    static std::map<std::string, std::string> Members(
        int apps, const std::string& version = "KELMORA GW V301") {
        std::map<std::string, std::string> m = {
            {"appversion", version + "\n"},
            {"cfgversion", "KELMORA GW V300R001\n"},
            {"apppre", "#!/bin/sh\nexit 0\n"},
        };
        for (int i = 1; i <= apps; ++i) {
            m["app" + std::to_string(i)] =
                "image " + std::to_string(i) + "\n" + std::string(3000 * i, 'x');
            m["appsh" + std::to_string(i)] = "#!/bin/sh\n# install " + std::to_string(i) + "\n";
        }
        return m;
    }

    // Loads a package as the load page does and waits until the update has ended.
    bool RunUpdate(const std::string& package) {
        if (!m_frame->LoadLocalPackage(package))
            return false;
        return waitFor([&] { return FinalEvent() && m_frame->SessionState == 0; }, 20000);
    }
    const RecordingOperator::Event* FinalEvent() const {
        for (const auto& e : m_op.updatePage) {
            if (e.code == 12)
                return &e;
        }
        return nullptr;
    }
    std::vector<std::string> Events(int code) const {
        std::vector<std::string> out;
        for (const auto& e : m_op.updatePage) {
            if (e.code == code)
                out.push_back(e.text);
        }
        return out;
    }
    std::string SimFile(const std::string& remote) const {
        return ReadAll(m_sim->LocalPath(remote));
    }

    CTestFolders m_folders;
    RecordingOperator m_op;
    std::unique_ptr<CGatewaySim> m_sim;
    std::unique_ptr<CMainFrame> m_frame;
    std::size_t m_loginEntries = 0;
};

// Concatenates vectors of expected lines.
inline std::vector<std::string> Seq(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace vorn::test
