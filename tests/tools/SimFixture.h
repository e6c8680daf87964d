#pragma once
// A running in-process simulator over a fresh temporary root folder.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "tests/tools/SimClient.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::test {

class SimFixture : public ::testing::Test {
protected:
    std::filesystem::path Dir() const { return m_dir.path().toStdString(); }
    std::filesystem::path RootDir() const { return Dir() / "root"; }

    // Starts the simulator; `edit` adjusts the default configuration first.
    void StartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        GatewaySimConfig cfg;
        cfg.root = RootDir();
        cfg.rebootRefuseMs = 300;
        if (edit) {
            edit(cfg);
        }
        m_sim = std::make_unique<CGatewaySim>(cfg);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
        ASSERT_NE(m_sim->Port(), 0);
    }
    // Connects and logs in with the default password.
    void ConnectAndLogin() {
        ASSERT_TRUE(m_client.Connect(m_sim->Port()));
        ASSERT_TRUE(m_client.Login("admin"));
    }

    static std::string RandomBytes(std::size_t n, unsigned seed = 7) {
        std::mt19937 gen(seed);
        std::string s(n, '\0');
        for (char& c : s) {
            c = static_cast<char>(gen() & 0xFF);
        }
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

    QTemporaryDir m_dir;
    std::unique_ptr<CGatewaySim> m_sim;
    SimClient m_client;
};

}  // namespace vorn::test
