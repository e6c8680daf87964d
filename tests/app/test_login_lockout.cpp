// Login-error log and the connect rules: counting wrong passwords, the 601-second lock,
// clearing on success, and what a result does to the recent-address list.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "app/ConnectRules.h"
#include "app/LoginErrorLog.h"
#include "app/RecentAddressList.h"
#include "lib/Clock.h"
#include "lib/IniFile.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const std::time_t kStart = 1781000000;  // a fixed moment; the rules take the clock as an argument

class LockoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Language::English);
        m_log.Load(LogFile());
        m_recent.Load(m_dir / "updater.ini");
    }
    fs::path LogFile() const { return WorkPath("loginerror", "tmp"); }

    // One attempt at `now` that ends with `outcome`; returns the refusal or 6798 text.
    std::string Attempt(const std::string& address, std::time_t now, ConnectOutcome outcome,
                        RememberMode remember = RememberMode::AddressAndPassword,
                        const std::string& password = "pw") {
        ConnectCheck c = CheckConnect(address, m_log, now);
        if (!c.allowed) {
            return c.message;
        }
        return ApplyConnectResult(outcome, c, password, remember, m_recent, m_log).message;
    }

    test::TempProgramFolder m_dir{false};
    LoginErrorLog m_log;
    RecentAddressList m_recent;
};

TEST_F(LockoutTest, FifthWrongPasswordLocksForSixHundredSeconds) {
    const std::string a = "10.0.0.7";
    const std::string expected[] = {
        "",
        "",
        "Number of login errors: 3,  Number of remaining attempts: 2\n",
        "Number of login errors: 4,  Number of remaining attempts: 1\n",
        "Number of login errors: 5,  Number of remaining attempts: 0\n",
    };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(Attempt(a, kStart + i, kWizardLoginRefused), expected[i]);
        EXPECT_EQ(m_log.Count(a), i + 1);
    }
    const std::time_t fifth = kStart + 4;
    EXPECT_EQ(Attempt(a, fifth + 600, kWizardConnected),
              "The number of login errors has exceeded 5 and (10.0.0.7) is locked.\n"
              "Please try again after 10 minutes!");
    // Another spelling of the same address is the same entry.
    EXPECT_EQ(CheckConnect("10.0.0.007", m_log, fifth + 10).refusal, 6797);
    EXPECT_EQ(CheckConnect("10.0.0.7:51111", m_log, fifth + 10).refusal, 0);

    // The lock survives a restart: a fresh object reads it from the file.
    LoginErrorLog reread;
    reread.Load(LogFile());
    EXPECT_EQ(CheckConnect(a, reread, fifth + 599).refusal, 6797);

    // After 601 seconds the attempt proceeds and the count starts again.
    ConnectCheck c = CheckConnect(a, m_log, fifth + 601);
    EXPECT_TRUE(c.allowed);
    EXPECT_EQ(m_log.Count(a), 0);
    EXPECT_TRUE(m_log.Exists(a));
    EXPECT_EQ(Attempt(a, fifth + 602, kWizardLoginRefused), "");
    EXPECT_EQ(m_log.Count(a), 1);
}

TEST_F(LockoutTest, SuccessfulLoginClearsTheCount) {
    const std::string a = "10.0.0.8";
    Attempt(a, kStart, kWizardLoginRefused);
    Attempt(a, kStart + 1, kWizardLoginRefused);
    Attempt(a, kStart + 2, kWizardLoginRefused);
    EXPECT_EQ(m_log.Count(a), 3);
    EXPECT_EQ(Attempt(a, kStart + 3, kWizardConnected), "");
    EXPECT_EQ(m_log.Count(a), 0);
    EXPECT_EQ(m_log.Time(a), LoginErrorLog::NoErrorTime());
    // A failed connection counts nothing.
    Attempt(a, kStart + 4, kWizardConnectFailed);
    EXPECT_EQ(m_log.Count(a), 0);
}

TEST_F(LockoutTest, InvalidAddressIsRefusedWith6773) {
    for (const char* text : {"10.0.0", "10.0.0.1:", "10.0.0.1:0", "255.255.255.255"}) {
        SCOPED_TRACE(text);
        ConnectCheck c = CheckConnect(text, m_log, kStart);
        EXPECT_FALSE(c.allowed);
        EXPECT_EQ(c.refusal, 6773);
        EXPECT_EQ(c.message, "Please enter a valid IP address!");
    }
}

TEST_F(LockoutTest, RememberModesDecideWhatTheRecentListKeeps) {
    Attempt("10.0.0.1", kStart, kWizardConnected, RememberMode::AddressAndPassword, "secret");
    Attempt("10.0.0.2", kStart, kWizardDeviceChosen, RememberMode::AddressOnly, "secret");
    Attempt("10.0.0.3", kStart, kWizardConnected, RememberMode::LeaveList, "secret");
    Attempt("10.0.0.4", kStart, kWizardLoginRefused);
    RecentAddressList reread;
    reread.Load(m_dir / "updater.ini");
    ASSERT_EQ(reread.Entries().size(), 2u);
    EXPECT_EQ(reread.Entries()[0].Text(), "10.0.0.2");
    EXPECT_EQ(reread.Entries()[0].password, "");
    EXPECT_EQ(reread.Entries()[1].Text(), "10.0.0.1");
    EXPECT_EQ(reread.Entries()[1].password, "secret");
}

TEST_F(LockoutTest, LogFileLayoutAndLimit) {
    for (int i = 0; i < 105; ++i) {
        m_log.Add("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1), kStart, 1);
    }
    EXPECT_EQ(m_log.Entries().size(), 100u);
    IniFile ini(LogFile());
    EXPECT_EQ(ini.GetInt("IP_CONFIG", "count", 0), 100);
    EXPECT_EQ(ini.Find("IP00", "IP"), "10.0.0.105");
    EXPECT_EQ(ini.Find("IP99", "IP"), "10.0.0.6");
    EXPECT_EQ(ini.Find("IP00", "ERRORCOUNT"), "1");
    std::tm tm{};
    std::time_t t = kStart;
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    EXPECT_EQ(ini.Find("IP00", "TIME"), buf);
}

TEST_F(LockoutTest, UnreadableTimeIsTheNoErrorTimeAndBadCountEndsReading) {
    fs::create_directories(m_dir / "tmp");
    test::WriteFile(LogFile(),
                    "[IP_CONFIG]\r\ncount = 3\r\n"
                    "[IP00]\r\nIP = 10.0.0.1\r\nTIME = yesterday\r\nERRORCOUNT = 5\r\n"
                    "[IP01]\r\nIP = 10.0.0.2\r\nTIME = 2008-10-10 10:10:10\r\nERRORCOUNT = 9\r\n"
                    "[IP02]\r\nIP = 10.0.0.3\r\nTIME = 2008-10-10 10:10:10\r\nERRORCOUNT = 1\r\n");
    LoginErrorLog log;
    log.Load(LogFile());
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Time("10.0.0.1"), LoginErrorLog::NoErrorTime());
    // Long past: the lock has run out and is cleared.
    EXPECT_FALSE(log.IsLocked("10.0.0.1", kStart));
    EXPECT_EQ(log.Count("10.0.0.1"), 0);
}

TEST_F(LockoutTest, StoredTimeAheadOfTheClockLocksNoLongerThanTheLockTime) {
    m_log.Add("10.0.0.9", kStart + 3600, 5);  // the clock was put back an hour
    EXPECT_FALSE(m_log.IsLocked("10.0.0.9", kStart));
    m_log.Add("10.0.0.9", kStart + 300, 5);
    EXPECT_TRUE(m_log.IsLocked("10.0.0.9", kStart));
}

// The headless front end's entry points use the files of the program folder and the clock.
TEST(ConnectRulesHeadless, CheckAndRecordUseTheProgramFolder) {
    SetLanguage(Language::English);
    test::TempProgramFolder dir(false);
    SetClockForTests(std::chrono::system_clock::from_time_t(kStart));
    const std::string a = "127.0.0.1:51112";
    for (int i = 0; i < 5; ++i) {
        ConnectCheck c = CheckConnectAllowed(a);
        ASSERT_TRUE(c.allowed);
        RecordLoginResult(c, "bad", kWizardLoginRefused, false);
        AdvanceClockForTests(std::chrono::seconds(1));
    }
    EXPECT_TRUE(fs::exists(dir / "tmp" / "loginerror"));
    EXPECT_EQ(CheckConnectAllowed(a).refusal, 6797);
    AdvanceClockForTests(std::chrono::seconds(601));
    ConnectCheck c = CheckConnectAllowed(a);
    ASSERT_TRUE(c.allowed);
    EXPECT_EQ(c.address.ConnectPort(), 51112);

    // Without --remember the recent list is left alone; with it, address and password go in.
    EXPECT_EQ(RecordLoginResult(c, "good", kWizardConnected, false), "");
    EXPECT_FALSE(fs::exists(dir / "updater.ini"));
    RecordLoginResult(c, "good", kWizardConnected, true);
    RecentAddressList recent;
    recent.Load(dir / "updater.ini");
    ASSERT_EQ(recent.Entries().size(), 1u);
    EXPECT_EQ(recent.CurrentAddress(), a);
    EXPECT_EQ(recent.CurrentPassword(), "good");
    SetClockForTests({});
}

}  // namespace
}  // namespace vorn
