// The simulator's search responder, in-process and through the program's options, on
// 127.0.0.1 only.
#include <QProcess>
#include <QRegularExpression>

#include "link/Discovery.h"
#include "tests/common/UdpProbe.h"
#include "tests/common/WaitFor.h"
#include "tests/tools/SimFixture.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::test {
namespace {

const std::vector<std::uint8_t> kRequest = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

struct Responder {
    explicit Responder(const std::function<void(SimDiscoveryConfig&)>& edit = {}) {
        SimDiscoveryConfig cfg;
        cfg.bindAddress = "127.0.0.1";
        cfg.port = 0;
        cfg.announce = "10.0.0.5";
        if (edit)
            edit(cfg);
        sim = std::make_unique<CSimDiscovery>(cfg);
    }
    std::unique_ptr<CSimDiscovery> sim;
};

// Everything the probe receives within `ms` after the last datagram.
std::vector<std::vector<std::uint8_t>> Drain(UdpProbe& probe, int firstMs, int nextMs = 150) {
    std::vector<std::vector<std::uint8_t>> got;
    for (int ms = firstMs;; ms = nextMs) {
        auto d = probe.Receive(ms);
        if (!d)
            return got;
        got.push_back(*d);
    }
}

TEST(SimDiscovery, AnswersEachRequestToItsSenderAndIgnoresOtherDatagrams) {
    Responder r;
    ASSERT_TRUE(r.sim->Start()) << r.sim->LastError();
    UdpProbe probe;
    for (const auto& other :
         {std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE},
          std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0},
          std::vector<std::uint8_t>{0xAB, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, ReplyBytes("10.0.0.1")}) {
        ASSERT_TRUE(probe.SendTo(r.sim->Port(), other));
    }
    ASSERT_TRUE(probe.SendTo(r.sim->Port(), kRequest));
    const auto got = Drain(probe, 2000);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], ReplyBytes("10.0.0.5"));
    EXPECT_EQ(r.sim->RequestCount(), 1);
    EXPECT_EQ(r.sim->IgnoredCount(), 4);
}

TEST(SimDiscovery, FaultsAddMalformedRepliesRepeatOrLeaveTheReplyOut) {
    struct Case {
        const char* name;
        std::function<void(SimDiscoveryConfig&)> edit;
        std::vector<std::vector<std::uint8_t>> expected;
    };
    const Case cases[] = {
        {"extras",
         [](SimDiscoveryConfig& c) {
             c.extraLongReply = true;
             c.extraOtherPrefix = true;
         },
         {ReplyBytes("10.0.0.5", 0, 0xAB), ReplyBytes("10.0.0.5", 1), ReplyBytes("10.0.0.5")}},
        {"repeat",
         [](SimDiscoveryConfig& c) { c.repeat = 2; },
         {ReplyBytes("10.0.0.5"), ReplyBytes("10.0.0.5")}},
        {"no reply",
         [](SimDiscoveryConfig& c) {
             c.properReply = false;
             c.extraLongReply = true;
         },
         {ReplyBytes("10.0.0.5", 1)}},
    };
    for (const Case& c : cases) {
        Responder r(c.edit);
        ASSERT_TRUE(r.sim->Start()) << c.name;
        UdpProbe probe;
        ASSERT_TRUE(probe.SendTo(r.sim->Port(), kRequest));
        EXPECT_EQ(Drain(probe, 2000), c.expected) << c.name;
    }
}

TEST(SimDiscovery, DelayedReplyComesAfterTheDelay) {
    Responder r([](SimDiscoveryConfig& c) { c.delayMs = 400; });
    ASSERT_TRUE(r.sim->Start());
    UdpProbe probe;
    ASSERT_TRUE(probe.SendTo(r.sim->Port(), kRequest));
    EXPECT_FALSE(probe.Receive(250)) << "not before the delay";
    const auto late = probe.Receive(2000);
    ASSERT_TRUE(late);
    EXPECT_EQ(*late, ReplyBytes("10.0.0.5"));
}

TEST(SimDiscovery, RefusesABadAnnouncedAddress) {
    Responder r([](SimDiscoveryConfig& c) { c.announce = "10.0.0"; });
    EXPECT_FALSE(r.sim->Start());
    EXPECT_NE(r.sim->LastError().find("10.0.0"), std::string::npos);
}

using SimDiscoveryProgram = SimFixture;

TEST_F(SimDiscoveryProgram, DiscoveryOptionsStartTheResponder) {
    QProcess proc;
    proc.start(VORN_GATEWAY_SIM_PROGRAM,
               {"--root", QString::fromStdString(RootDir().string()), "--discovery-port", "0",
                "--discovery-listen", "127.0.0.1", "--announce", "192.168.1.1",
                "--discovery-repeat", "2"});
    ASSERT_TRUE(proc.waitForStarted());
    QString out;
    const QRegularExpression re(
        "discovery on 127\\.0\\.0\\.1:(\\d+) announcing 192\\.168\\.1\\.1\\n");
    ASSERT_TRUE(waitFor(
        [&] {
            proc.waitForReadyRead(50);
            out += QString::fromLocal8Bit(proc.readAllStandardOutput());
            return re.match(out).hasMatch();
        },
        10000))
        << out.toStdString();
    const auto port = static_cast<std::uint16_t>(re.match(out).captured(1).toUInt());
    UdpProbe probe;
    ASSERT_TRUE(probe.SendTo(port, kRequest));
    EXPECT_EQ(Drain(probe, 2000), (std::vector<std::vector<std::uint8_t>>{
                                      ReplyBytes("192.168.1.1"), ReplyBytes("192.168.1.1")}));
    proc.terminate();
    ASSERT_TRUE(proc.waitForFinished(10000));
    EXPECT_EQ(proc.exitCode(), 0);

    for (const QStringList& bad :
         {QStringList{"--announce", "nohost"}, QStringList{"--discovery-port", "65536"},
          QStringList{"--discovery-repeat", "0"}}) {
        QProcess p;
        p.start(VORN_GATEWAY_SIM_PROGRAM,
                QStringList{"--root", QString::fromStdString(RootDir().string())} + bad);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 2) << bad.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace vorn::test
