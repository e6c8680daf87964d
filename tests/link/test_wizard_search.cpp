// The wizard's search (per-address sends sharing the sheet socket's port) and the "Select
// Device" dialog logic. Everything stays on 127.0.0.0/8: the local addresses and the
// destination are set by the tests, nothing broadcasts.
#include <gtest/gtest.h>

#include "lib/StringTable.h"
#include "app/CSelectDevice.h"
#include "tests/common/RecordingOperator.h"
#include "tests/common/UdpProbe.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::test {
namespace {

std::uint32_t Addr(const char* dotted) {
    return *ParseDottedAddress(dotted);
}

std::vector<std::string> Dotted(const std::vector<std::uint32_t>& list) {
    std::vector<std::string> out;
    for (auto a : list) out.push_back(DottedAddress(a));
    return out;
}

class WizardSearch : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        m_search.SetSearchTime(300);
        ASSERT_TRUE(m_search.Open());
    }
    // A responder on 127.0.0.1 announcing `announce`.
    std::unique_ptr<CSimDiscovery> Responder(
        const char* announce, const std::function<void(SimDiscoveryConfig&)>& edit = {}) {
        SimDiscoveryConfig cfg;
        cfg.bindAddress = "127.0.0.1";
        cfg.port = 0;
        cfg.announce = announce;
        if (edit)
            edit(cfg);
        auto r = std::make_unique<CSimDiscovery>(cfg);
        EXPECT_TRUE(r->Start()) << r->LastError();
        return r;
    }

    RecordingOperator m_op;
    CWizardSearch m_search{&m_op};
};

struct Finished : CWizardSearch::Listener {
    std::vector<std::uint32_t> found, sorted;
    int finished = 0;
    void OnGatewayFound(std::uint32_t a) override { found.push_back(a); }
    void OnSearchFinished(const std::vector<std::uint32_t>& s) override {
        sorted = s;
        ++finished;
    }
};

TEST_F(WizardSearch, SendsFromEveryAddressAndCollectsRepliesOnTheSheetSocketOnce) {
    auto responder = Responder("10.0.0.5");
    Finished listener;
    m_search.SetListener(&listener);
    // Two "interfaces": the same gateway answers the request sent from each.
    m_search.SetLocalAddresses(std::vector<std::string>{"127.0.0.1", "127.0.0.2"});
    m_search.SetTarget({"127.0.0.1", responder->Port()});
    ASSERT_TRUE(m_search.Start());
    EXPECT_TRUE(m_search.Searching());
    EXPECT_FALSE(m_search.Start()) << "a second start while searching is refused";
    ASSERT_TRUE(waitFor([&] { return listener.finished == 1; }));
    EXPECT_FALSE(m_search.Searching());
    EXPECT_EQ(responder->RequestCount(), 2);
    EXPECT_EQ(m_search.FailedSends(), 0);
    EXPECT_EQ(Dotted(listener.found), std::vector<std::string>{"10.0.0.5"});
    EXPECT_EQ(Dotted(listener.sorted), std::vector<std::string>{"10.0.0.5"});
}

TEST_F(WizardSearch, SortsRepliesAndIgnoresMalformedAndLateOnes) {
    Finished listener;
    m_search.SetListener(&listener);
    UdpProbe probe;
    m_search.SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
    m_search.SetTarget({"127.0.0.1", probe.Port()});
    ASSERT_TRUE(m_search.Start());
    ASSERT_TRUE(probe.Receive(2000));
    for (const auto& d : {ReplyBytes("192.168.1.1"), ReplyBytes("10.0.0.9", 1),
                          ReplyBytes("10.0.0.8", 0, 0x00), ReplyBytes("10.0.0.5")}) {
        ASSERT_TRUE(probe.SendTo(m_search.Port(), d));
    }
    ASSERT_TRUE(waitFor([&] { return listener.finished == 1; }));
    EXPECT_EQ(Dotted(listener.found), (std::vector<std::string>{"192.168.1.1", "10.0.0.5"}));
    EXPECT_EQ(Dotted(listener.sorted), (std::vector<std::string>{"10.0.0.5", "192.168.1.1"}));

    ASSERT_TRUE(probe.SendTo(m_search.Port(), ReplyBytes("10.0.0.4")));  // after timer 1
    waitFor([] { return false; }, 200);
    EXPECT_EQ(listener.found.size(), 2u);
    EXPECT_EQ(m_search.Found().Size(), 2u);
}

TEST_F(WizardSearch, AnAddressThatFailsDoesNotStopTheOthers) {
    auto responder = Responder("10.0.0.5");
    Finished listener;
    m_search.SetListener(&listener);
    // 192.0.2.1 is not a local address (bind fails); "" is a bad argument.
    m_search.SetLocalAddresses(std::vector<std::string>{"192.0.2.1", "", "127.0.0.1"});
    m_search.SetTarget({"127.0.0.1", responder->Port()});
    ASSERT_TRUE(m_search.Start());
    EXPECT_EQ(m_search.FailedSends(), 2);
    ASSERT_TRUE(waitFor([&] { return listener.finished == 1; }));
    EXPECT_EQ(Dotted(listener.sorted), std::vector<std::string>{"10.0.0.5"});
}

// --- The "Select Device" dialog and the page's reactions ---

class SelectDevice : public WizardSearch {
protected:
    void SetUp() override {
        WizardSearch::SetUp();
        m_search.SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
        m_search.SetTarget({"127.0.0.1", m_probe.Port()});
    }
    // Runs one search answered by the given addresses.
    void SearchAnswered(const std::vector<const char*>& addresses, bool refresh = false) {
        if (refresh) {
            m_page.Dialog()->Refresh();
            EXPECT_FALSE(m_page.Dialog()->RefreshEnabled());
            ASSERT_TRUE(waitFor([&] { return m_search.Searching(); }));
            EXPECT_EQ(m_page.Dialog()->Status(), "Refreshing...");
            EXPECT_TRUE(m_page.Dialog()->Rows().empty());
        } else {
            ASSERT_TRUE(m_page.Search());
            EXPECT_EQ(m_page.Dialog()->Status(), "Searching...");
            EXPECT_FALSE(m_page.Dialog()->RefreshEnabled());
        }
        ASSERT_TRUE(m_probe.Receive(2000));
        for (const char* a : addresses) ASSERT_TRUE(m_probe.SendTo(m_search.Port(), ReplyBytes(a)));
        ASSERT_TRUE(waitFor([&] { return !m_search.Searching(); }));
    }
    std::vector<std::string> RowTexts() {
        std::vector<std::string> rows;
        for (const auto& r : m_page.Dialog()->Rows()) rows.push_back(r.number + " " + r.address);
        return rows;
    }

    UdpProbe m_probe;
    std::vector<std::string> m_picked;
    CDeviceSearch m_page{m_search, [this](const std::string& a) { m_picked.push_back(a); }};
};

TEST_F(SelectDevice, FinishedSearchFillsRowsAndOkHandsTheAddressToThePage) {
    SearchAnswered({"192.168.1.1", "10.0.0.5"});
    CSelectDevice* dialog = m_page.Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"1 10.0.0.5", "2 192.168.1.1"}));
    EXPECT_EQ(dialog->Status(), "2 device(s)");
    EXPECT_TRUE(dialog->RefreshEnabled());
    EXPECT_EQ(dialog->Selected(), 0);
    EXPECT_EQ(dialog->FocusedControl(), CSelectDevice::Focus::Refresh);

    dialog->Select(1);
    EXPECT_TRUE(dialog->Ok());
    EXPECT_FALSE(dialog->IsOpen());
    ASSERT_TRUE(waitFor([&] { return !m_picked.empty(); }));
    EXPECT_EQ(m_picked, std::vector<std::string>{"192.168.1.1"});
    EXPECT_EQ(m_page.Dialog(), nullptr);
}

TEST_F(SelectDevice, OkHandsTheAddressInNetworkByteOrder) {
    std::vector<std::optional<std::uint32_t>> chosen;
    int cancels = 0;
    CSelectDevice::Callbacks callbacks;
    callbacks.ok = [&](std::optional<std::uint32_t> a) { chosen.push_back(a); };
    callbacks.cancel = [&] { ++cancels; };
    CSelectDevice dialog(std::move(callbacks));
    dialog.Open();
    dialog.AddAddress(Addr("10.0.0.5"));
    dialog.Finish();
    EXPECT_TRUE(dialog.Ok());
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], std::optional<std::uint32_t>(Addr("10.0.0.5")));
    EXPECT_FALSE(dialog.Ok()) << "closed";
    dialog.Cancel();
    EXPECT_EQ(cancels, 0);
    EXPECT_EQ(CSelectDevice::ColumnWidths(400), std::make_pair(80, 280));
}

TEST_F(SelectDevice, RefreshSearchesAgainAndCancelForgetsTheDialog) {
    SearchAnswered({"10.0.0.5"});
    EXPECT_EQ(m_page.Dialog()->Status(), "1 device(s)");
    SearchAnswered({"192.168.1.1", "10.0.0.5", "10.0.0.7"}, /*refresh=*/true);
    EXPECT_EQ(RowTexts(), (std::vector<std::string>{"1 10.0.0.5", "2 10.0.0.7", "3 192.168.1.1"}));
    EXPECT_EQ(m_page.Dialog()->Status(), "3 device(s)");

    m_page.Dialog()->Cancel();
    ASSERT_TRUE(waitFor([&] { return m_page.Dialog() == nullptr; }));
    EXPECT_TRUE(m_picked.empty());
}

TEST_F(SelectDevice, OkWithoutRowsOrWithoutSelection) {
    SearchAnswered({});
    EXPECT_EQ(m_page.Dialog()->Status(), "0 device(s)");
    EXPECT_EQ(m_page.Dialog()->Selected(), -1);
    EXPECT_TRUE(m_page.Dialog()->Ok());  // no address: the page only closes the dialog
    ASSERT_TRUE(waitFor([&] { return m_page.Dialog() == nullptr; }));
    EXPECT_TRUE(m_picked.empty());

    SearchAnswered({"10.0.0.5"});
    m_page.Dialog()->Select(-1);
    EXPECT_FALSE(m_page.Dialog()->Ok()) << "rows but no selection keep the dialog open";
    EXPECT_TRUE(m_page.Dialog()->IsOpen());
    EXPECT_TRUE(m_page.Dialog()->DoubleClick(0));
    ASSERT_TRUE(waitFor([&] { return !m_picked.empty(); }));
    EXPECT_EQ(m_picked, std::vector<std::string>{"10.0.0.5"});
}

TEST_F(SelectDevice, ANewSearchReplacesTheOpenDialogButNotWhileOneRuns) {
    ASSERT_TRUE(m_page.Search());
    CSelectDevice* first = m_page.Dialog();
    EXPECT_FALSE(m_page.Search()) << "refused while searching";
    EXPECT_EQ(m_page.Dialog(), first);
    ASSERT_TRUE(waitFor([&] { return !m_search.Searching(); }));
    ASSERT_TRUE(m_page.Search());
    EXPECT_EQ(m_page.Dialog()->Status(), "Searching...");
}

}  // namespace
}  // namespace vorn::test
