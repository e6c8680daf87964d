// Discovery datagrams, the found list and the console search. Replies come from the test or
// the simulator's responder over 127.0.0.1; nothing here broadcasts.
#include <arpa/inet.h>

#include "link/Discovery.h"
#include "tests/common/UdpProbe.h"
#include "tests/link/SessionFixture.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::test {
namespace {

std::uint32_t Addr(const char* dotted) {
    return *ParseDottedAddress(dotted);
}

TEST(DiscoveryReply, OnlyExactTenBytesWithThePrefixCount) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"reply", ReplyBytes("10.0.0.5"), true},
        {"eleven bytes", ReplyBytes("10.0.0.5", 1), false},
        {"nine bytes",
         [] {
             auto d = ReplyBytes("10.0.0.5");
             d.pop_back();
             return d;
         }(),
         false},
        {"other first byte", ReplyBytes("10.0.0.5", 0, 0xAB), false},
        {"request", {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, false},
        {"empty", {}, false},
    };
    for (const Case& c : cases) {
        const auto address = ParseSearchReply(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(address.has_value(), c.accepted) << c.name;
        if (address) {
            EXPECT_EQ(DottedAddress(*address), "10.0.0.5") << c.name;
        }
    }
    // The simulator's reply is what the parser accepts.
    const auto reply = SearchReply(Addr("192.168.1.1"));
    EXPECT_EQ(ParseSearchReply(reply.data(), reply.size()), Addr("192.168.1.1"));
}

TEST(DiscoveryFoundList, KeepsEachAddressOnceAndSortsNumerically) {
    struct Case {
        std::vector<const char*> arrivals;
        std::vector<const char*> sorted;
    };
    const Case cases[] = {
        {{"192.168.1.1", "10.0.0.5"}, {"10.0.0.5", "192.168.1.1"}},
        {{"10.0.0.5", "192.168.1.1"}, {"10.0.0.5", "192.168.1.1"}},
        // Numeric, not textual order; and host byte order, not the order of the wire bytes.
        {{"10.0.0.20", "10.0.0.3", "9.255.255.255"}, {"9.255.255.255", "10.0.0.3", "10.0.0.20"}},
        {{"2.0.0.1", "1.0.0.2"}, {"1.0.0.2", "2.0.0.1"}},
        {{"10.0.0.5", "10.0.0.5", "192.168.1.1", "10.0.0.5"}, {"10.0.0.5", "192.168.1.1"}},
    };
    for (const Case& c : cases) {
        CFoundGateways found;
        for (const char* a : c.arrivals) found.Add(Addr(a));
        std::vector<std::string> sorted;
        for (std::uint32_t a : found.Sorted()) sorted.push_back(DottedAddress(a));
        EXPECT_EQ(sorted, std::vector<std::string>(c.sorted.begin(), c.sorted.end()))
            << c.arrivals.front();
    }
}

class ConsoleSearch : public SessionFixture {
protected:
    void SetUp() override {
        SessionFixture::SetUp();
        m_session->SetSearchTime(300);
    }
    // Starts a search aimed at the probe's port (no responder listens there, so only what
    // the test sends arrives).
    void StartAimedAt(std::uint16_t port) {
        m_session->SetDiscoveryTarget({"127.0.0.1", port});
        ASSERT_TRUE(m_session->SearchGateways());
        ASSERT_EQ(m_session->SessionState, kStateSearching);
        ASSERT_NE(m_session->SearchPort(), 0);
    }
    std::string ConsoleText() const {
        std::string t;
        for (const auto& l : m_op.console) t += l.text;
        return t;
    }
    UdpProbe m_probe;
};

TEST_F(ConsoleSearch, ListsRepliesSortedOnceAndPresetsTheLastAddress) {
    StartAimedAt(m_probe.Port());
    // The request reached the destination.
    const auto request = m_probe.Receive(2000);
    ASSERT_TRUE(request);
    EXPECT_EQ(*request, std::vector<std::uint8_t>({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));

    const std::uint16_t port = m_session->SearchPort();
    for (const auto& d : {ReplyBytes("192.168.1.1"), ReplyBytes("10.0.0.5"),
                          ReplyBytes("192.168.1.1"),           // the same gateway again
                          ReplyBytes("10.0.0.9", 1),           // 11 bytes
                          ReplyBytes("10.0.0.8", 0, 0x12)}) {  // another prefix
        ASSERT_TRUE(m_probe.SendTo(port, d));
    }
    ASSERT_TRUE(waitFor([&] { return m_session->FoundGateways().Size() == 2; }));
    ASSERT_TRUE(Idle());

    ASSERT_EQ(m_op.console.size(), 3u);
    EXPECT_EQ(m_op.console[0].text, "Searching for Tolbane device. Please wait...\n");
    EXPECT_EQ(m_op.console[1].text,
              "Gateway(1) Ip ------- 10.0.0.5\nGateway(2) Ip ------- 192.168.1.1\n");
    EXPECT_EQ(m_op.console[1].colour, kBlue);
    EXPECT_EQ(m_op.console[2].text, "Search completed. Found 2 devices.\n");
    EXPECT_EQ(m_session->Address(), "192.168.1.1");
}

TEST_F(ConsoleSearch, NothingFoundAndLateRepliesIgnored) {
    StartAimedAt(m_probe.Port());
    const std::uint16_t port = m_session->SearchPort();
    const std::string before = m_session->Address();
    ASSERT_TRUE(Idle());
    EXPECT_EQ(
        ConsoleText(),
        "Searching for Tolbane device. Please wait...\nSearch completed. No device is found.\n");

    // A reply after timer 1: read and dropped, nothing listed or shown.
    ASSERT_TRUE(m_probe.SendTo(port, ReplyBytes("10.0.0.5")));
    ASSERT_TRUE(m_probe.SendTo(port, ReplyBytes("10.0.0.6")));
    waitFor([] { return false; }, 300);
    EXPECT_TRUE(m_session->FoundGateways().Empty());
    EXPECT_EQ(m_op.console.size(), 2u);
    EXPECT_EQ(m_session->Address(), before);

    // The socket still serves the next search.
    m_op.console.clear();
    ASSERT_TRUE(m_session->SearchGateways());
    ASSERT_TRUE(m_probe.SendTo(port, ReplyBytes("10.0.0.7")));
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("Gateway(1) Ip ------- 10.0.0.7\n"));
}

TEST_F(ConsoleSearch, RefusedWhileAProcedureRuns) {
    m_session->SessionState = kStateLogin;
    EXPECT_FALSE(m_session->SearchGateways());
    EXPECT_TRUE(m_op.ShownIn("An operation is in process. Please wait...\n", kRed));
    EXPECT_EQ(m_session->SessionState, kStateLogin);
    m_session->SessionState = 0;
}

TEST_F(ConsoleSearch, SimulatorResponderAnswersAndItsFaultsAreIgnored) {
    SimDiscoveryConfig good;
    good.bindAddress = "127.0.0.1";
    good.port = 0;
    good.announce = "10.0.0.5";
    good.extraLongReply = true;
    good.extraOtherPrefix = true;
    good.repeat = 2;
    CSimDiscovery responder(good);
    ASSERT_TRUE(responder.Start()) << responder.LastError();
    m_session->SetDiscoveryTarget({"127.0.0.1", responder.Port()});
    ASSERT_TRUE(m_session->SearchGateways());
    ASSERT_TRUE(Idle());
    EXPECT_EQ(responder.RequestCount(), 1);
    EXPECT_TRUE(m_op.Shown("Gateway(1) Ip ------- 10.0.0.5\n"));
    EXPECT_TRUE(m_op.Shown("Search completed. Found 1 devices.\n"));
    EXPECT_EQ(m_session->Address(), "10.0.0.5");
}

TEST_F(ConsoleSearch, ReplyDelayedBeyondTheTimerIsNotListed) {
    SimDiscoveryConfig late;
    late.bindAddress = "127.0.0.1";
    late.port = 0;
    late.announce = "10.0.0.5";
    late.delayMs = 600;
    CSimDiscovery responder(late);
    ASSERT_TRUE(responder.Start()) << responder.LastError();
    m_session->SetDiscoveryTarget({"127.0.0.1", responder.Port()});
    ASSERT_TRUE(m_session->SearchGateways());
    ASSERT_TRUE(Idle());
    EXPECT_TRUE(m_op.Shown("Search completed. No device is found.\n"));
    waitFor([] { return false; }, 700);  // the late reply arrives meanwhile
    EXPECT_TRUE(m_session->FoundGateways().Empty());
    EXPECT_FALSE(m_op.Shown("Gateway("));
}

}  // namespace
}  // namespace vorn::test
