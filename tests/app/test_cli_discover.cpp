// `vornupdater discover` output, with the search aimed at responders on 127.0.0.1 (the
// program itself broadcasts; that runs only in tests/app/discover_netns.sh).
#include <gtest/gtest.h>

#include <sstream>

#include "app/cli/CmdDiscover.h"
#include "lib/StringTable.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::cli {
namespace {

class CliDiscover : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Language::English); }

    // Runs discover against one responder announcing `announce` (none when empty), reached
    // from 127.0.0.1 and 127.0.0.2 so that it answers twice.
    int Run(const std::string& announce, bool json) {
        std::unique_ptr<CSimDiscovery> responder;
        std::uint16_t port = 9;  // discard: nothing answers
        if (!announce.empty()) {
            SimDiscoveryConfig cfg;
            cfg.bindAddress = "127.0.0.1";
            cfg.port = 0;
            cfg.announce = announce;
            cfg.extraLongReply = true;
            responder = std::make_unique<CSimDiscovery>(cfg);
            EXPECT_TRUE(responder->Start()) << responder->LastError();
            port = responder->Port();
        }
        CliOperator op(m_out, {json, false}, m_terminal);
        CWizardSearch search(&op);
        search.SetLocalAddresses(std::vector<std::string>{"127.0.0.1", "127.0.0.2"});
        search.SetTarget({"127.0.0.1", port});
        CliEnvironment env{m_out, m_err, m_terminal};
        return RunDiscover(search, op, json, 300, env);
    }

    std::ostringstream m_out, m_err;
    CNoTerminal m_terminal;
};

TEST_F(CliDiscover, PrintsTheGatewaysAsTheConsoleDoes) {
    EXPECT_EQ(Run("10.0.0.5", false), kExitOk);
    EXPECT_EQ(m_out.str(),
              "Searching for Tolbane device. Please wait...\n"
              "Gateway(1) Ip ------- 10.0.0.5\n"
              "Search completed. Found 1 devices.\n");
}

TEST_F(CliDiscover, NoneFoundIsNotAnError) {
    EXPECT_EQ(Run("", false), kExitOk);
    EXPECT_EQ(m_out.str(),
              "Searching for Tolbane device. Please wait...\n"
              "Search completed. No device is found.\n");
    m_out.str("");
    EXPECT_EQ(Run("", true), kExitOk);
    EXPECT_EQ(m_out.str(), "{\"code\":0,\"text\":\"\",\"type\":\"exit\"}\n");
}

TEST_F(CliDiscover, JsonHasOneObjectPerGateway) {
    EXPECT_EQ(Run("192.168.1.1", true), kExitOk);
    EXPECT_EQ(m_out.str(),
              "{\"address\":\"192.168.1.1\",\"index\":1,\"type\":\"gateway\"}\n"
              "{\"code\":0,\"text\":\"\",\"type\":\"exit\"}\n");
}

TEST_F(CliDiscover, RefusesABadTimeout) {
    CliEnvironment env{m_out, m_err, m_terminal};
    for (const char* bad : {"0", "-5", "abc", "600001"}) {
        EXPECT_EQ(RunCli({"discover", "--timeout-ms", bad}, env), kExitUsage) << bad;
    }
    EXPECT_EQ(RunCli({"discover", "extra"}, env), kExitUsage);
}

}  // namespace
}  // namespace vorn::cli
