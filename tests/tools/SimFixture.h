#pragma once
// A running in-process simulator over a fresh temporary root folder (the first two steps of
// tests/common/GatewayChain.h).
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>

#include "tests/common/GatewayChain.h"
#include "tests/tools/SimClient.h"
#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn::test {

class SimFixture : public ::testing::Test {
protected:
    std::filesystem::path Dir() const { return m_folders.Dir(); }
    std::filesystem::path RootDir() const { return m_folders.SimRoot(); }

    // Starts the simulator; `edit` adjusts the default configuration first.
    void StartSim(const std::function<void(GatewaySimConfig&)>& edit = {}) {
        m_sim = StartGatewaySim(RootDir(), edit);
        ASSERT_TRUE(m_sim);
        ASSERT_NE(m_sim->Port(), 0);
    }
    // Connects and logs in with the default password.
    void ConnectAndLogin() {
        ASSERT_TRUE(m_client.Connect(m_sim->Port()));
        ASSERT_TRUE(m_client.Login("admin"));
    }

    CTestFolders m_folders;
    std::unique_ptr<CGatewaySim> m_sim;
    SimClient m_client;
};

}  // namespace vorn::test
