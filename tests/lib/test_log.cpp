// The program log: daily truncation rule, line format, levels, and whole lines from threads.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <sstream>
#include <thread>
#include <vector>

#include "lib/Clock.h"
#include "lib/Log.h"
#include "tests/common/FileText.h"
#include "tests/common/TempProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Noon local time on a fixed day, so "yesterday" is never the same date.
SystemTime LocalNoon(int year, int month, int day) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { SetClockForTests(LocalNoon(2026, 3, 14)); }
    void TearDown() override {
        CloseLog();
        SetClockForTests({});
    }
    fs::path LogPath() const { return m_dir / "log" / "kelmora.log"; }
    void Seed(const std::string& text, SystemTime written) {
        fs::create_directories(m_dir / "log");
        test::WriteFile(LogPath(), text);
        auto sys = written;
        fs::last_write_time(LogPath(), fs::file_time_type::clock::from_sys(sys));
    }
    test::TempProgramFolder m_dir{false};
};

TEST_F(LogTest, NewFileGetsTheCreateHeader) {
    LogWrite("before the log is open", kLogInfo);
    ASSERT_EQ(OpenLog(), 0);
    EXPECT_EQ(test::ReadFile(LogPath()), "The file is inexistent. Create now!\n");
}

TEST_F(LogTest, FileWrittenYesterdayIsCleared) {
    Seed("old line\n", LocalNoon(2026, 3, 13));
    ASSERT_EQ(OpenLog(), 0);
    EXPECT_EQ(test::ReadFile(LogPath()),
              "The lastwrite time is: 2026-03-13The current time is: 2026-03-14"
              "(clear file before writing)\n");
}

TEST_F(LogTest, FileWrittenTodayIsContinued) {
    Seed("old line\n", LocalNoon(2026, 3, 14) - 2h);
    ASSERT_EQ(OpenLog(), 0);
    LogWrite("next", kLogWarn);
    EXPECT_EQ(test::ReadFile(LogPath()),
              "old line\n"
              "The lastwrite time is: 2026-03-14The current time is: 2026-03-14"
              "(continue write)\n"
              "[12:00:00]:[WARN]   next\n");
}

TEST_F(LogTest, LevelsAndLineFormat) {
    ASSERT_EQ(OpenLog(), 0);
    LogWrite("debug text", kLogDebug);
    LogWrite("info text", kLogInfo);
    AdvanceClockForTests(61s);
    LogWrite("warn text", kLogWarn);
    LogWrite("error text", kLogError);
    LogWrite("last error", kLogErrorLast);
    LogWrite("unknown level", 9);
    LogWrite("negative level", -1);
    EXPECT_EQ(test::ReadFile(LogPath()),
              "The file is inexistent. Create now!\n"
              "[12:00:00]:[INFO]   info text\n"
              "[12:01:01]:[WARN]   warn text\n"
              "[12:01:01]:[ERROR]  error text\n"
              "[12:01:01]:[ERROR]  last error\n");
    EXPECT_EQ(LastErrorText(), "last error");
}

TEST_F(LogTest, OpenFailureReportsTheSystemText) {
    test::WriteFile(m_dir / "log", "a file where the folder should be");
    std::string error;
    int err = OpenLog(&error);
    EXPECT_NE(err, 0);
    EXPECT_EQ(error.rfind("Failed to open kelmora log file: ", 0), 0u) << error;
    EXPECT_FALSE(IsLogOpen());
}

// What stands in the log's way is named with what to do, under the system's text; a link
// planted as the log or its folder is refused and what it points to stays as it was.
TEST_F(LogTest, OpenFailureNamesTheObstacleAndTheRemedy) {
    const fs::path victim = m_dir / "victim.txt";
    struct Case {
        const char* name;
        void (*plant)(const fs::path& dir, const fs::path& victim);
        std::string second;  // the line after the system's text
    } cases[] = {
        {"log is a file",
         [](const fs::path& dir, const fs::path&) { test::WriteFile(dir / "log", "x"); },
         (m_dir / "log").string() + " is not a folder: remove it or rename it."},
        {"kelmora.log is a link",
         [](const fs::path& dir, const fs::path& victim) {
             fs::create_directories(dir / "log");
             fs::create_symlink(victim, dir / "log" / "kelmora.log");
         },
         (m_dir / "log" / "kelmora.log").string() +
             " is a symbolic link. The program does not write through links: remove it."},
        {"log is a link",
         [](const fs::path& dir, const fs::path& victim) {
             fs::create_directory_symlink(victim.parent_path() / "elsewhere", dir / "log");
         },
         (m_dir / "log").string() +
             " is a symbolic link. The program does not write through links: remove it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_dir / "log");
        fs::remove_all(m_dir / "elsewhere");
        fs::create_directories(m_dir / "elsewhere");
        test::WriteFile(victim, "someone's file");
        c.plant(m_dir.path(), victim);
        std::string error;
        EXPECT_NE(OpenLog(&error), 0);
        EXPECT_EQ(error.rfind("Failed to open kelmora log file: ", 0), 0u) << error;
        EXPECT_EQ(error.substr(error.find('\n') + 1), c.second) << error;
        EXPECT_FALSE(IsLogOpen());
        EXPECT_EQ(test::ReadFile(victim), "someone's file");
        EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere"));
    }
}

// The log says what was done on which gateway: it is the user's alone.
TEST_F(LogTest, LogFileIsOwnerOnly) {
    Seed("old line\n", LocalNoon(2026, 3, 14) - 2h);
    fs::permissions(LogPath(), fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_read);
    ASSERT_EQ(OpenLog(), 0);
    EXPECT_EQ(fs::status(LogPath()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(m_dir / "log").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(LogTest, LinesFromManyThreadsStayWhole) {
    ASSERT_EQ(OpenLog(), 0);
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                LogWrite("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                             std::string(200, static_cast<char>('a' + t)),
                         kLogInfo);
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    std::istringstream in(test::ReadFile(LogPath()));
    std::string line;
    std::getline(in, line);  // header
    const std::string prefix = "[12:00:00]:[INFO]   thread ";
    int count = 0;
    while (std::getline(in, line)) {
        ASSERT_EQ(line.rfind(prefix, 0), 0u) << line.substr(0, 80);
        int t = line[prefix.size()] - '0';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line.substr(0, 80);
        std::string tail = " " + std::string(200, static_cast<char>('a' + t));
        ASSERT_GT(line.size(), tail.size());
        EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line.substr(0, 80);
        EXPECT_EQ(line.find(" line "), prefix.size() + 1);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace vorn
