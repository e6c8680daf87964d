// The console's menu rules and the rules of its Connect Device and Modify Password commands.
#include <gtest/gtest.h>

#include "app/ConsoleConnect.h"
#include "app/ConsoleMenuRules.h"
#include "app/ParseAddress.h"
#include "app/RecentAddressList.h"
#include "lib/WorkFolders.h"
#include "tests/common/GatewayChain.h"
#include "tests/common/RecordingOperator.h"

namespace vorn::test {
namespace {

using C = ConsoleCommand;

// The items of every menu in one order; a row of expectations follows it.
const C kCommands[] = {C::ConnectDevice,          C::Disconnect,       C::Search,
                       C::ModifyPassword,         C::BackupConfig,     C::RestoreBackup,
                       C::RestoreFactoryDefaults, C::DeviceUpdateLogs, C::LocalUpdateLogs,
                       C::DeleteLocalLogs,        C::SupportCommand,   C::NicCommand};

TEST(ConsoleMenuRules, EnabledItemsPerSessionStateConnectionAndLayout) {
    struct Case {
        const char* name;
        ConsoleState state;
        // Connect, Disconnect, Search, Password, Backup, Restore, Factory, DevLogs, LocalLogs,
        // DeleteLogs, Command items, NIC items.
        const char* expected;
    };
    auto st = [](int session, bool connected, int layout = 1, bool combined = false,
                 bool wizard = false) {
        ConsoleState s;
        s.sessionState = session;
        s.connected = connected;
        s.layoutFlag = layout;
        s.combinedRunning = combined;
        s.wizardBusy = wizard;
        return s;
    };
    const Case cases[] = {
        {"before login", st(0, false), "1.1.....11.."},
        {"logged in, /etc layout", st(0, true), ".1.111111111"},
        {"logged in, /var layout", st(0, true, 0), ".1.11111111."},
        {"not connected, /var layout", st(0, false, 0), "1.1.....11.."},
        {"searching", st(kStateSearching, false), "............"},
        {"login running", st(kStateLogin, false), ".1.........."},
        {"password change", st(kStatePassword, true), ".1.........."},
        {"single update", st(kStateSingleUpdate, true), ".1.........."},
        {"backup", st(kStateBackup, true), ".1.........."},
        {"restore", st(kStateRestore, true), ".1.........."},
        {"factory defaults", st(kStateFactory, true), ".1.........."},
        {"console upload", st(kStateConsoleUpload, true), ".1.........."},
        {"exchange NICs", st(kStateExchangeNics, true), ".1.........."},
        {"restart wait", st(kStateRestartWait, true), ".1.........."},
        {"combined update between members", st(0, true, 1, true), ".1.........."},
        {"wizard loading its package", st(0, true, 1, false, true), ".1.........."},
        {"wizard connecting, link not up", st(0, false, 1, false, true), "............"},
    };
    for (const Case& c : cases) {
        std::string got;
        for (C command : kCommands) got += ConsoleCommandEnabled(command, c.state) ? '1' : '.';
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(ConsoleConnect, EnteredAddressDecidesWhatHappens) {
    struct Case {
        const char* entered;
        ConsoleConnectDecision::Kind kind;
        const char* address;
    };
    const Case cases[] = {
        {"0.0.0.0", ConsoleConnectDecision::Ignore, ""},
        {"", ConsoleConnectDecision::Ignore, ""},
        {"  ", ConsoleConnectDecision::Ignore, ""},
        {"000.0.0.00", ConsoleConnectDecision::Ignore, ""},
        {"127.0.0.1", ConsoleConnectDecision::Connect, "127.0.0.1"},
        {" 010.0.0.010 ", ConsoleConnectDecision::Connect, "8.0.0.8"},  // octal parts
        {"10.0.0", ConsoleConnectDecision::Refuse, ""},
        {"gateway", ConsoleConnectDecision::Refuse, ""},
        {"255.255.255.255", ConsoleConnectDecision::Refuse, ""},
        // The console always connects to the gateway port.
        {"127.0.0.1:51112", ConsoleConnectDecision::Refuse, ""},
    };
    for (const Case& c : cases) {
        const ConsoleConnectDecision d = DecideConsoleConnect(c.entered);
        EXPECT_EQ(d.kind, c.kind) << c.entered;
        EXPECT_EQ(d.address, c.address) << c.entered;
        EXPECT_EQ(d.refusal, c.kind == ConsoleConnectDecision::Refuse ? 6773 : 0) << c.entered;
    }
}

TEST(ConsoleConnect, PresetIsTheSessionAddressThenTheRecentListThenTheDefault) {
    CTestFolders folders;
    RecordingOperator op;
    CGatewaySession session(&op);
    EXPECT_EQ(ConsoleConnectPreset(session), RecentAddressList::kDefaultAddress);

    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    ASSERT_TRUE(recent.Add("10.1.2.3:8000", "pw"));
    EXPECT_EQ(ConsoleConnectPreset(session), "10.1.2.3");

    // A connect attempt stores its address in the session even when it fails.
    session.ConnectGateway("127.0.0.1", "x", 1);
    EXPECT_EQ(ConsoleConnectPreset(session), "127.0.0.1");
}

TEST(ConsoleConnect, ChangedPasswordReplacesTheRecentEntryOrAddsIt) {
    CTestFolders folders;
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    ASSERT_TRUE(recent.Add("10.0.0.9", "other"));
    ASSERT_TRUE(recent.Add("10.0.0.5", "old"));

    ASSERT_TRUE(RememberChangedPassword("10.0.0.9", kGatewayPort, "new9"));
    ASSERT_TRUE(RememberChangedPassword("10.0.0.7", 8000, "new7"));
    RecentAddressList after;
    after.Load(WorkPath(RecentAddressList::kFileName, ""));
    EXPECT_EQ(after.Lookup("10.0.0.9").password, "new9");
    EXPECT_EQ(after.Lookup("10.0.0.7:8000").password, "new7");
    EXPECT_EQ(after.Lookup("10.0.0.5").password, "old");
    EXPECT_EQ(after.Lookup("10.0.0.7").password, "");  // another key
    EXPECT_EQ(after.Entries().size(), 3u);
}

}  // namespace
}  // namespace vorn::test
