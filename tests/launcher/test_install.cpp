// `cmake --install` with DESTDIR into a temporary folder: the installed launcher starts the
// installed program, and the installed program writes only into the data folder it chooses.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/common/FileText.h"
#include "tests/common/WaitFor.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

int RunCmake(const QStringList& args, const fs::path& destdir) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(destdir.string()));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(VORN_CMAKE_COMMAND, args);
    return p.waitForFinished(300000) && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Every path under `dir`, for before/after comparisons.
std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        out.insert(e.path().string());
    }
    return out;
}

// Pids of running processes whose executable is `program`.
std::vector<int> ProcessesOf(const fs::path& program) {
    std::vector<int> pids;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::error_code lec;
        if (fs::read_symlink(e.path() / "exe", lec) == program) {
            pids.push_back(std::stoi(name));
        }
    }
    return pids;
}

class InstalledCopy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(s_dir->isValid());
        const QString build = VORN_BINARY_DIR;
        ASSERT_EQ(RunCmake({"--install", build, "--prefix", "/opt/vornupdater"}, Dest()), 0);
        ASSERT_EQ(RunCmake({"--install", build, "--component", "desktop", "--prefix", "/"}, Dest()),
                  0);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static fs::path Temp() { return s_dir->path().toStdString(); }
    static fs::path Dest() { return Temp() / "root"; }
    static fs::path Folder() { return Dest() / "opt" / "vornupdater"; }
    static fs::path Startup() { return Folder() / "STARTUP"; }

    static QProcessEnvironment CleanEnvironment() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"VORN_HOME", "XDG_DATA_HOME", "DISPLAY", "WAYLAND_DISPLAY"}) {
            env.remove(name);
        }
        env.insert("VORN_LANG", "en");
        env.insert("HOME", QString::fromStdString((Temp() / "home").string()));
        return env;
    }

    static std::unique_ptr<QTemporaryDir> s_dir;
};

std::unique_ptr<QTemporaryDir> InstalledCopy::s_dir;

TEST_F(InstalledCopy, LaysOutTheFolderAndTheDesktopFiles) {
    EXPECT_TRUE(fs::is_regular_file(Folder() / "TOLBANE_Updater"));
    EXPECT_TRUE(fs::is_regular_file(Startup() / "vornupdater"));
    EXPECT_EQ(fs::read_symlink(Startup() / "TOLBANE_Updater.exe"), "vornupdater");
    EXPECT_EQ(fs::read_symlink(Startup() / "zipbridge.dll"), "libzipbridge.so");
    for (const char* name :
         {"TOLBANE_Updater.exe", "libssl32.dll", "zipbridge.dll", "libeay32.dll", "libcurl.dll",
          "openssl/openssl.exe", "openssl/libeay32.dll", "openssl/ssleay32.dll",
          "arm_bin/updhistory.sh", "bin/bakcfgsh", "bin_harddisk/rcovcfgsh"}) {
        EXPECT_TRUE(fs::is_regular_file(Startup() / name)) << name;
    }
    EXPECT_EQ(fs::read_symlink(Dest() / "usr/bin/vornupdater"),
              "/opt/vornupdater/STARTUP/vornupdater");
    for (const char* name :
         {"usr/share/applications/org.vornupdater.VornUpdater.desktop",
          "usr/share/metainfo/org.vornupdater.VornUpdater.metainfo.xml",
          "usr/share/icons/hicolor/scalable/apps/org.vornupdater.VornUpdater.svg",
          "usr/share/icons/hicolor/48x48/apps/org.vornupdater.VornUpdater.png",
          "usr/share/man/man1/vornupdater.1.gz", "opt/vornupdater/STARTUP/installed-system-wide"}) {
        EXPECT_TRUE(fs::is_regular_file(Dest() / name)) << name;
    }
}

TEST_F(InstalledCopy, LauncherStartsTheInstalledProgram) {
    const fs::path out = Temp() / "launcher.out";
    QProcess p;
    p.setProcessEnvironment(CleanEnvironment());
    p.setStandardOutputFile(QString::fromStdString(out.string()));
    p.start(QString::fromStdString((Folder() / "TOLBANE_Updater").string()), {});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // Without a command the program prints its usage, or opens its window where the desktop
    // program is built; either shows that the installed program runs.
    const fs::path program = fs::canonical(Startup() / "vornupdater");
    std::vector<int> running;
    ASSERT_TRUE(test::waitFor(
        [&] {
            running = ProcessesOf(program);
            return !running.empty() ||
                   test::ReadFile(out).find("Usage: vornupdater") != std::string::npos;
        },
        30000));
    for (int pid : running) {
        ::kill(pid, SIGTERM);
    }
}

// Where the installed program writes: the start-up opens its log and lock there.
TEST_F(InstalledCopy, ChoosesItsDataFolder) {
    const fs::path home = Temp() / "home";
    const fs::path xdg = Temp() / "xdg";
    const fs::path vornHome = Temp() / "vornhome";
    struct Case {
        const char* name;
        bool marker;
        std::vector<std::pair<QString, QString>> env;
        fs::path expected;
    } cases[] = {
        {"XDG_DATA_HOME",
         true,
         {{"XDG_DATA_HOME", QString::fromStdString(xdg.string())}},
         xdg / "vornupdater"},
        {"no XDG_DATA_HOME", true, {}, home / ".local/share/vornupdater"},
        {"a relative XDG_DATA_HOME is ignored",
         true,
         {{"XDG_DATA_HOME", "relative"}},
         home / ".local/share/vornupdater"},
        {"VORN_HOME overrides",
         true,
         {{"VORN_HOME", QString::fromStdString(vornHome.string())},
          {"XDG_DATA_HOME", QString::fromStdString(xdg.string())}},
         vornHome},
        {"a writable folder that is not installed system-wide",
         false,
         {{"XDG_DATA_HOME", QString::fromStdString(xdg.string())}},
         Startup()},
    };
    const fs::path marker = Startup() / "installed-system-wide";
    const std::string markerText = test::ReadFile(marker);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const fs::path& p : {home, xdg, vornHome}) {
            fs::remove_all(p);
            fs::create_directories(p);
        }
        if (!c.marker) {
            fs::remove(marker);
        }
        const std::set<std::string> before = Tree(Folder());
        QProcessEnvironment env = CleanEnvironment();
        for (const auto& [k, v] : c.env) {
            env.insert(k, v);
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(Temp().string()));
        p.start(QString::fromStdString((Startup() / "vornupdater").string()),
                {"--no-such-command"});
        ASSERT_TRUE(p.waitForFinished(30000));
        EXPECT_TRUE(fs::is_regular_file(c.expected / "log" / "kelmora.log"))
            << p.readAllStandardError().toStdString();
        EXPECT_FALSE(fs::exists(c.expected / "KELMORA_Updater.lock"));  // released at exit
        // Nothing appears in the folders the rule did not choose.
        for (const fs::path& other : {xdg / "vornupdater", home / ".local", vornHome / "log"}) {
            const std::string a = c.expected.string(), b = other.string();
            if (a.rfind(b, 0) != 0 && b.rfind(a, 0) != 0) {
                EXPECT_FALSE(fs::exists(other)) << other;
            }
        }
        if (c.marker) {
            EXPECT_EQ(Tree(Folder()), before);  // the installation stays untouched
        } else {
            fs::remove_all(Startup() / "log");
            test::WriteFile(marker, markerText);
        }
    }
}

}  // namespace
}  // namespace vorn
