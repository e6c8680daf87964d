// `cmake --install` with DESTDIR into a temporary folder: the installed launcher starts the
// installed program, and the installed program writes only into the data folder it chooses.
// Then the copy laid out as the Debian package lays it out (owned by root, marked as
// system-wide) is used by an ordinary user, as people use it: the wizard's whole update, an
// Options change that outlives a restart, command-line backups, and what goes wrong on their
// machines (a full disk, a read-only folder, a folder left by root, a planted link).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/common/FileText.h"
#include "tests/common/UpdateSupport.h"
#include "tests/common/WaitFor.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"

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


// ---------------------------------------------------------------------------------------------
// The installed copy as an ordinary user

constexpr const char* kMarker = "installed-system-wide";

// How a child program of these tests runs: as the test user or as root, with a umask, a file
// size limit, and in a private mount namespace with tmpfs mounts of its own.
struct ChildSetup {
    bool asUser = true;
    mode_t umask = 022;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    // A small tmpfs at this folder, holding one earlier file and filled up to the last byte:
    // a full disk that no one else sees.
    std::string fullDisk;
    std::string earlierName;
    std::string earlierText;
    // An empty tmpfs over this folder (root's home, so that a run as root leaves nothing in
    // the real one).
    std::string scratchMount;
};

struct ChildResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class OrdinaryUser : public InstalledCopy {
protected:
    static void SetUpTestSuite() {
        InstalledCopy::SetUpTestSuite();
        if (!s_dir) {
            return;
        }
        // The folders on the way to the installation may be passed by every user, as /opt is.
        for (fs::path p = Folder(); p != Temp().parent_path(); p = p.parent_path()) {
            ::chmod(p.c_str(), 0755);
        }
#ifdef VORN_GUI_PROBE
        fs::copy_file(VORN_GUI_PROBE, Startup() / "vorn_gui_probe");
#endif
    }

    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to run programs as another user";
        }
        const passwd* pw = ::getpwnam(VORN_TEST_USER);
        if (!pw) {
            GTEST_SKIP() << "the test user " << VORN_TEST_USER << " does not exist";
        }
        m_uid = pw->pw_uid;
        m_gid = pw->pw_gid;
        // A home of the user's own, new for each test; world-passable parents as in /home.
        m_home = Temp() / ("home-" + std::string(::testing::UnitTest::GetInstance()
                                                     ->current_test_info()
                                                     ->name()));
        fs::remove_all(m_home);
        MakeUserFolder(m_home, 0700);
        MakeUserFolder(m_home / ".runtime", 0700);
        m_simRoot = Temp() / "sim-root";
        fs::remove_all(m_simRoot);
        GatewaySimConfig cfg;
        cfg.root = m_simRoot;
        cfg.rebootRefuseMs = 300;
        m_sim = std::make_unique<CGatewaySim>(cfg);
        AddScriptCommands(*m_sim);
        ASSERT_TRUE(m_sim->Start()) << m_sim->LastError();
        m_installed = Tree(Folder());
    }
    void TearDown() override {
        if (m_sim) {
            m_sim->Stop();
        }
        if (!m_home.empty()) {
            // The installation stays as it was, whatever its users did.
            EXPECT_EQ(Tree(Folder()), m_installed);
        }
    }

    void MakeUserFolder(const fs::path& p, mode_t mode) const {
        fs::create_directories(p);
        ::chmod(p.c_str(), mode);
        ASSERT_EQ(::chown(p.c_str(), m_uid, m_gid), 0);
    }
    fs::path DataFolder() const { return m_home / ".local" / "share" / "vornupdater"; }
    std::string Gateway() const { return "127.0.0.1:" + std::to_string(m_sim->Port()); }
    // A package anyone may read, in a folder anyone may pass.
    std::string Package(const std::string& name) const {
        const fs::path dir = Temp() / "packages";
        fs::create_directories(dir);
        ::chmod(dir.c_str(), 0755);
        const std::string pkg = test::BuildSinglePackage(dir, name);
        ::chmod(pkg.c_str(), 0644);
        return pkg;
    }

    QProcessEnvironment UserEnvironment() const {
        QProcessEnvironment env = CleanEnvironment();
        env.insert("HOME", QString::fromStdString(m_home.string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((m_home / ".runtime").string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VORN_PASSWORD", "admin");
        env.insert("USER", VORN_TEST_USER);
        env.insert("LOGNAME", VORN_TEST_USER);
        return env;
    }

    // Runs `program` with `args` as the child setup says; waits for its end.
    ChildResult Run(const fs::path& program, const QStringList& args, const ChildSetup& setup = {},
                    std::optional<QProcessEnvironment> env = std::nullopt) const {
        QProcess p;
        p.setProcessEnvironment(env ? *env : UserEnvironment());
        p.setWorkingDirectory(QString::fromStdString(m_home.string()));
        const uid_t uid = setup.asUser ? m_uid : 0;
        const gid_t gid = setup.asUser ? m_gid : 0;
        p.setChildProcessModifier([setup, uid, gid] {
            // Only system calls here: this runs between fork and exec.
            if (!setup.fullDisk.empty() || !setup.scratchMount.empty()) {
                if (::unshare(CLONE_NEWNS) != 0 ||
                    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
                    ::_exit(120);
                }
            }
            if (!setup.scratchMount.empty() &&
                ::mount("tmpfs", setup.scratchMount.c_str(), "tmpfs", 0, "size=8m,mode=0700") != 0) {
                ::_exit(121);
            }
            if (!setup.fullDisk.empty()) {
                if (::mount("tmpfs", setup.fullDisk.c_str(), "tmpfs", 0, "size=256k,mode=0700") !=
                        0 ||
                    ::chown(setup.fullDisk.c_str(), uid, gid) != 0) {
                    ::_exit(122);
                }
                const std::string earlier = setup.fullDisk + "/" + setup.earlierName;
                int fd = ::open(earlier.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                if (fd < 0 || ::write(fd, setup.earlierText.data(), setup.earlierText.size()) !=
                                  static_cast<ssize_t>(setup.earlierText.size())) {
                    ::_exit(123);
                }
                ::fchown(fd, uid, gid);
                ::close(fd);
                const std::string filler = setup.fullDisk + "/filler";
                fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
                static char block[4096];
                while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
                }
                while (fd >= 0 && ::write(fd, block, 1) > 0) {
                }
                if (fd >= 0) {
                    ::close(fd);
                }
            }
            if (setup.fileSizeLimit != RLIM_INFINITY) {
                rlimit r{};
                ::getrlimit(RLIMIT_FSIZE, &r);
                r.rlim_cur = setup.fileSizeLimit;
                if (::setrlimit(RLIMIT_FSIZE, &r) != 0) {
                    ::_exit(124);
                }
            }
            ::umask(setup.umask);
            if (uid != 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 ||
                             ::setuid(uid) != 0)) {
                ::_exit(125);
            }
        });
        p.start(QString::fromStdString(program.string()), args);
        ChildResult r;
        if (!p.waitForFinished(180000)) {
            p.kill();
            p.waitForFinished();
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    ChildResult Updater(const QStringList& args, const ChildSetup& setup = {}) const {
        return Run(Startup() / "vornupdater", args, setup);
    }
    // Runs a shell line with the program as $0 (for what must be seen inside the child's own
    // mount namespace).
    ChildResult Shell(const std::string& line, const ChildSetup& setup,
                      std::optional<QProcessEnvironment> env = std::nullopt) const {
        return Run("/bin/sh",
                   {"-c", QString::fromStdString(line),
                    QString::fromStdString((Startup() / "vornupdater").string())},
                   setup, env);
    }

    // Every entry below `dir` with its owner and mode.
    struct Entry {
        std::string path;
        bool folder;
        uid_t owner;
        mode_t mode;
    };
    static std::vector<Entry> Entries(const fs::path& dir) {
        std::vector<Entry> out;
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            struct stat st {};
            ::lstat(e.path().c_str(), &st);
            out.push_back({e.path().string(), S_ISDIR(st.st_mode), st.st_uid, st.st_mode & 07777});
        }
        return out;
    }
    static mode_t ModeOf(const fs::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
    static bool NoTemporaryIn(const fs::path& dir) {
        for (const auto& e : fs::directory_iterator(dir)) {
            if (e.path().filename().string().rfind(".zbnew", 0) == 0) {
                return false;
            }
        }
        return true;
    }

    uid_t m_uid = 0;
    gid_t m_gid = 0;
    fs::path m_home;
    fs::path m_simRoot;
    std::unique_ptr<CGatewaySim> m_sim;
    std::set<std::string> m_installed;
};

// The user's first day: an update from the desktop program, an Options change, a restart, a
// backup from the command line. Everything lands in the user's data folder, private.
TEST_F(OrdinaryUser, UpdateOptionsAndBackupLeavePrivateFilesInTheDataFolder) {
#ifndef VORN_GUI_PROBE
    GTEST_SKIP() << "built without the desktop program";
#else
    const fs::path picture = m_home / "update.png";
    const ChildResult update =
        Run(Startup() / "vorn_gui_probe",
            {"update", QString::fromStdString(Gateway()), "admin",
             QString::fromStdString(Package("switch_v301.ssu")),
             QString::fromStdString(picture.string())});
    ASSERT_EQ(update.exitCode, 0) << update.out << update.err;
    EXPECT_NE(update.out.find("update succeeded"), std::string::npos) << update.out;
    EXPECT_TRUE(test::waitFor([&] { return m_sim->RebootCount() == 1; }, 10000));
    EXPECT_TRUE(test::SimReceived(*m_sim, "excute\ncmd:/etc/vorncmd/apppre\n"));
    EXPECT_GT(fs::file_size(picture), 1000u);
    if (const char* keep = std::getenv("VORN_INSTALL_PICTURE")) {
        fs::copy_file(picture, keep, fs::copy_options::overwrite_existing);
    }

    // Options: saved by one run, shown by the next.
    const fs::path probe = Startup() / "vorn_gui_probe";
    ChildResult set = Run(probe, {"options-set", "2"});
    ASSERT_EQ(set.exitCode, 0) << set.out << set.err;
    ChildResult shown = Run(probe, {"options-show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.out << shown.err;
    EXPECT_NE(shown.out.find("server=2"), std::string::npos) << shown.out;

    // The gateway restarted; a backup from the command line once it answers again.
    const fs::path saved = m_home / "saved.bcf";
    ChildResult backup;
    for (int i = 0; i < 50; ++i) {
        backup = Updater({"backup", "-g", QString::fromStdString(Gateway()), "-o",
                          QString::fromStdString(saved.string())});
        if (backup.exitCode != 3) {  // 3: not connected yet
            break;
        }
        test::waitFor([] { return false; }, 200);
    }
    ASSERT_EQ(backup.exitCode, 0) << backup.out << backup.err;
    EXPECT_EQ(ModeOf(saved), 0600u);

    // What the user has now: owner-only folders and files, all theirs.
    std::set<std::string> names;
    for (const Entry& e : Entries(DataFolder())) {
        SCOPED_TRACE(e.path);
        EXPECT_EQ(e.owner, m_uid);
        EXPECT_EQ(e.mode, e.folder ? 0700u : 0600u);
        names.insert(fs::path(e.path).lexically_relative(DataFolder()).string());
    }
    EXPECT_EQ(ModeOf(DataFolder()), 0700u);
    for (const char* expected :
         {"log/kelmora.log", "updaterconf.ini", "updhistory/localhistory",
          "curpkg/switch_v301.ssu"}) {
        EXPECT_EQ(names.count(expected), 1u) << expected;
    }
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.rfind("autobak/(", 0) == 0; }),
              1);
    EXPECT_EQ(names.count("tmp/cfgbk"), 0u);           // removed after the backups
    EXPECT_EQ(names.count("KELMORA_Updater.lock"), 0u);  // released at exit
    if (const char* listing = std::getenv("VORN_INSTALL_LISTING")) {
        test::WriteFile(listing, "");
        QProcess ls;
        ls.setStandardOutputFile(listing);
        ls.start("ls", {"-lR", QString::fromStdString(DataFolder().string())});
        ls.waitForFinished();
    }
#endif
}

// Where an ordinary user's program writes: a copy of their own is their data folder only
// while no one else may write it; a shared or system-wide one sends them to their per-user
// folder.
TEST_F(OrdinaryUser, ProgramFolderIsTheDataFolderOnlyWhenItIsTheirsAlone) {
    struct Case {
        const char* name;
        mode_t mode;
        bool own;
        bool marker;
        bool inProgramFolder;
    } cases[] = {
        {"their own copy", 0755, true, false, true},
        {"their copy, writable by the group", 0775, true, false, false},
        {"their copy, writable by everyone", 0777, true, false, false},
        {"their copy, marked system-wide", 0755, true, true, false},
        {"root's copy, writable by everyone", 0777, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path copy = m_home / "copy";
        fs::remove_all(copy);
        fs::remove_all(m_home / ".local");
        fs::copy(Startup(), copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        if (!c.marker) {
            fs::remove(copy / kMarker);
        }
        for (const auto& e : fs::recursive_directory_iterator(copy)) {
            ::lchown(e.path().c_str(), c.own ? m_uid : 0, c.own ? m_gid : 0);
        }
        ::chown(copy.c_str(), c.own ? m_uid : 0, c.own ? m_gid : 0);
        ::chmod(copy.c_str(), c.mode);
        const ChildResult r = Run(copy / "vornupdater", {"--no-such-command"});
        EXPECT_NE(r.exitCode, 4) << r.err;
        EXPECT_EQ(fs::exists(copy / "log" / "kelmora.log"), c.inProgramFolder);
        EXPECT_EQ(fs::exists(DataFolder() / "log" / "kelmora.log"), !c.inProgramFolder) << r.err;
        if (!c.inProgramFolder) {
            EXPECT_EQ(ModeOf(DataFolder()), 0700u);
        }
    }
}

// What the user sees when their data folder is in the way: the start-up's text, then what is
// in the way and what to do; exit status 4; nothing written through a planted link.
TEST_F(OrdinaryUser, BlockedDataFolderIsNamedWithTheRemedy) {
    const fs::path victim = m_home / "victim.txt";
    struct Case {
        const char* name;
        std::function<void()> plant;
        std::string second;  // the line after "Failed to open kelmora log file: ..."
    } cases[] = {
        {"left by an earlier run as root",
         [&] {
             fs::create_directories(DataFolder() / "log");  // owned by root
             ::chmod(DataFolder().c_str(), 0755);
         },
         DataFolder().string() + " is owned by root: remove it or fix its owner."},
        {"a link planted as the log",
         [&] {
             MakeUserFolder(DataFolder() / "log", 0700);
             fs::create_symlink(victim, DataFolder() / "log" / "kelmora.log");
         },
         (DataFolder() / "log" / "kelmora.log").string() +
             " is a symbolic link. The program does not write through links: remove it."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(m_home / ".local");
        MakeUserFolder(m_home / ".local" / "share", 0700);
        MakeUserFolder(m_home / ".local", 0700);
        test::WriteFile(victim, "the user's own text");
        c.plant();
        const ChildResult r = Updater({"--no-such-command"});
        EXPECT_EQ(r.exitCode, 4);
        EXPECT_EQ(r.err.rfind("Failed to open kelmora log file: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\n" + c.second + "\n"), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadFile(victim), "the user's own text");
    }
}

// sudo keeps the caller's HOME: a run as root must not leave a root-owned folder there (the
// user's next start would fail); it uses root's own home. Root's home is a scratch tmpfs here.
TEST_F(OrdinaryUser, RunAsRootLeavesTheUsersHomeAlone) {
    const passwd* root = ::getpwuid(0);
    ASSERT_TRUE(root && root->pw_dir);
    ChildSetup setup;
    setup.asUser = false;
    setup.scratchMount = root->pw_dir;
    const std::string rootData = std::string(root->pw_dir) + "/.local/share/vornupdater";
    const ChildResult r =
        Shell("\"$0\" --no-such-command; ls -d '" + rootData + "/log'", setup, UserEnvironment());
    EXPECT_NE(r.out.find(rootData + "/log"), std::string::npos) << r.out << r.err;
    EXPECT_FALSE(fs::exists(m_home / ".local"));
    // And the user's own start afterwards works.
    const ChildResult user = Updater({"--no-such-command"});
    EXPECT_NE(user.exitCode, 4) << user.err;
    EXPECT_TRUE(fs::exists(DataFolder() / "log" / "kelmora.log"));
}

// Backups that cannot be written, the way they fail on users' machines: reported as failed,
// the earlier file untouched, no temporary file left.
TEST_F(OrdinaryUser, BackupFailuresKeepTheEarlierFile) {
    // An image that does not compress: the archive is larger than what the gateway sent.
    std::string image;
    std::uint32_t x = 99;
    for (int i = 0; i < 100000; ++i) {
        x = x * 1103515245u + 12345u;
        image.push_back(static_cast<char>(x >> 24));
    }
    test::WriteLocal(m_sim->LocalPath("/config/cfg"), image);
    const QString gateway = QString::fromStdString(Gateway());
    const std::string earlier = "an earlier backup";

    // A folder of the user's with an earlier backup: the failed backup of `setup` must leave
    // it as it was, with nothing beside it.
    struct Case {
        const char* name;
        const char* folder;
        mode_t folderMode;
        rlim_t fileSizeLimit;
        const char* reason;
    } cases[] = {
        {"a read-only folder", "read-only", 0500, RLIM_INFINITY, "Permission denied"},
        // The download fits under the limit, the archive does not.
        {"a file size limit", "limited", 0700, image.size() + 200, "File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = m_home / c.folder;
        MakeUserFolder(dir, 0700);
        test::WriteFile(dir / "saved.bcf", earlier);
        ::chown((dir / "saved.bcf").c_str(), m_uid, m_gid);
        ::chmod(dir.c_str(), c.folderMode);
        ChildSetup setup;
        setup.fileSizeLimit = c.fileSizeLimit;
        const ChildResult r = Updater(
            {"backup", "-g", gateway, "-o", QString::fromStdString((dir / "saved.bcf").string())},
            setup);
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("The backup file could not be written: "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Back up configurations successfully!"), std::string::npos);
        EXPECT_EQ(test::ReadFile(dir / "saved.bcf"), earlier);
        EXPECT_TRUE(NoTemporaryIn(dir));
    }
    {
        SCOPED_TRACE("a full disk");
        const fs::path dir = m_home / "full";
        MakeUserFolder(dir, 0700);
        ChildSetup setup;
        setup.fullDisk = dir.string();
        setup.earlierName = "saved.bcf";
        setup.earlierText = earlier;
        // The disk exists only in the child's namespace: look at it from there.
        const ChildResult r = Shell(
            "\"$0\" backup -g " + Gateway() + " -o '" + (dir / "saved.bcf").string() +
                "'; rc=$?; echo; echo \"exit $rc\"; cat '" + (dir / "saved.bcf").string() +
                "'; echo; ls -A '" + dir.string() + "'",
            setup);
        EXPECT_NE(r.out.find("The backup file could not be written: "), std::string::npos)
            << r.out << r.err;
        EXPECT_NE(r.out.find("No space left on device"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nexit 1\n" + earlier + "\nfiller\nsaved.bcf\n"), std::string::npos)
            << r.out;
    }
    // The configuration copies never stay behind.
    EXPECT_FALSE(fs::exists(DataFolder() / "tmp" / "cfgbk"));
}

// A "switch_" update whose automatic backup cannot be written stops before the update: the
// gateway receives nothing after the backup's downloads.
TEST_F(OrdinaryUser, FailedAutomaticBackupStopsTheUpdate) {
    MakeUserFolder(m_home / ".local", 0700);
    MakeUserFolder(m_home / ".local" / "share", 0700);
    MakeUserFolder(DataFolder(), 0700);
    MakeUserFolder(DataFolder() / "autobak", 0500);  // read-only for its owner
    const ChildResult r =
        Updater({"update", QString::fromStdString(Package("switch_v301.ssu")), "-g",
                 QString::fromStdString(Gateway()), "--yes"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("The firmware update was not started because the automatic backup "
                         "failed. The device was not changed."),
              std::string::npos)
        << r.out;
    const std::vector<std::string> texts = m_sim->ReceivedTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), "get\nfile:/config/cfgversion\n");
    EXPECT_FALSE(test::SimReceived(*m_sim, "put\nfile:/etc/vorncmd/apppre\n"));
    EXPECT_EQ(m_sim->RebootCount(), 0);
    EXPECT_TRUE(fs::is_empty(DataFolder() / "autobak"));
    EXPECT_FALSE(fs::exists(DataFolder() / "tmp" / "cfgbk"));
}

}  // namespace
}  // namespace vorn
