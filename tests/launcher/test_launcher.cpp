// The real launcher in a temporary launcher folder, starting a probe program that records its
// start.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/FileText.h"
#include "tests/common/WaitFor.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

const char kDamaged[] = "The Client Updater program is damaged. Please download again.";
const char kTooLong[] = "Path of the program is too long.";
const char* const kLibraries[] = {"libssl32.dll", "zipbridge.dll", "libeay32.dll", "libcurl.dll"};

struct LaunchRun {
    int exitCode = -1;
    std::string err;
};

// A launcher folder under /tmp: <root>/<padding>/TOLBANE_Updater with STARTUP beside it,
// holding the probe as "TOLBANE_Updater.exe" and the four libraries as plain files.
class LauncherFolder {
public:
    // pathLength 0: a short path; else the launcher's full path has exactly that length.
    explicit LauncherFolder(std::size_t pathLength = 0) : m_root("/tmp/vl-XXXXXX") {
        const fs::path root = m_root.path().toStdString();
        std::string pad = "f";
        const std::size_t fixed = root.string().size() + 2 + std::string("TOLBANE_Updater").size();
        if (pathLength > fixed) {
            pad.assign(pathLength - fixed, 'p');
        }
        m_folder = root / pad;
        m_launcher = m_folder / "TOLBANE_Updater";
        fs::create_directories(startup());
        fs::create_directories(workDir());
        // A copy: the launcher finds its folder through its own resolved path.
        fs::copy_file(VORN_LAUNCHER_PROGRAM, m_launcher);
        fs::create_symlink(VORN_LAUNCH_PROBE, startup() / "TOLBANE_Updater.exe");
        for (const char* lib : kLibraries) {
            test::WriteFile(startup() / lib, "");
        }
    }

    fs::path startup() const { return m_folder / "STARTUP"; }
    fs::path workDir() const { return fs::path(m_root.path().toStdString()) / "cwd"; }
    fs::path record() const { return fs::path(m_root.path().toStdString()) / "record"; }
    const fs::path& launcher() const { return m_launcher; }

    LaunchRun Run(const QStringList& args, const char* lang = "en",
                  const std::function<void(QProcessEnvironment&)>& extra = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("LC_ALL", "C");
        env.insert("VORN_LANG", lang);
        env.insert("VORN_PROBE_RECORD", QString::fromStdString(record().string()));
        env.insert("VORN_PROBE_TAG", "inherited");
        if (extra) {
            extra(env);
        }
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(workDir().string()));
        p.start(QString::fromStdString(m_launcher.string()), args);
        EXPECT_TRUE(p.waitForFinished(30000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardError().toStdString()};
    }

    // The probe's record: folder, tag, arguments.
    std::vector<std::string> RecordLines() const {
        std::vector<std::string> lines;
        std::istringstream in(test::ReadFile(record()));
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    QTemporaryDir m_root;
    fs::path m_folder;
    fs::path m_launcher;
};

void MakeFolder(const fs::path& p) {
    fs::remove(p);
    fs::create_directory(p);
}

struct Case {
    std::string name;
    std::size_t pathLength;
    std::function<void(const LauncherFolder&)> prepare;
    // Arguments; "@probe" stands for the probe's path, "@missing" for a path that does not exist.
    std::vector<std::string> args;
    std::string lang;
    std::string message;  // empty: the target must start
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"complete folder starts the default target", 0, {}, {}, "en", ""},
        {"launcher path of exactly 128 characters", 128, {}, {}, "en", ""},
        {"launcher path of 129 characters", 129, {}, {}, "en", kTooLong},
        {"129 characters, simplified Chinese",
         129,
         {},
         {},
         "zh_CN",
         "程序路径过长（不能超过 128 字节）。"},
        {"default target missing",
         0,
         [](const LauncherFolder& f) { fs::remove(f.startup() / "TOLBANE_Updater.exe"); },
         {},
         "en",
         kDamaged},
        {"a folder named TOLBANE_Updater.exe counts as missing",
         0,
         [](const LauncherFolder& f) { MakeFolder(f.startup() / "TOLBANE_Updater.exe"); },
         {},
         "en",
         kDamaged},
        {"traditional Chinese shows the English text",
         0,
         [](const LauncherFolder& f) { fs::remove(f.startup() / "zipbridge.dll"); },
         {},
         "zh_TW",
         kDamaged},
        {"a link to nothing counts as missing",
         0,
         [](const LauncherFolder& f) {
             fs::remove(f.startup() / "libcurl.dll");
             fs::create_symlink(f.startup() / "gone.so", f.startup() / "libcurl.dll");
         },
         {},
         "en",
         kDamaged},
        {"target on the command line without the default target",
         0,
         [](const LauncherFolder& f) { fs::remove(f.startup() / "TOLBANE_Updater.exe"); },
         {"@probe"},
         "en",
         ""},
        {"flags are ignored", 0, {}, {"-x", "--verbose"}, "en", ""},
        {"a command-line target still needs the libraries",
         0,
         [](const LauncherFolder& f) { fs::remove(f.startup() / "libeay32.dll"); },
         {"@probe"},
         "en",
         kDamaged},
        {"a command-line target that does not exist",
         0,
         {},
         {"@missing"},
         "en",
         "No such file or directory"},
    };
    for (const char* lib : kLibraries) {
        const std::string name = lib;
        cases.push_back({name + " missing",
                         0,
                         [name](const LauncherFolder& f) { fs::remove(f.startup() / name); },
                         {},
                         "en",
                         kDamaged});
        cases.push_back({name + " is a folder",
                         0,
                         [name](const LauncherFolder& f) { MakeFolder(f.startup() / name); },
                         {},
                         "en",
                         kDamaged});
    }
    return cases;
}

TEST(Launcher, ChecksAndStart) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        LauncherFolder folder(c.pathLength);
        if (c.pathLength) {
            ASSERT_EQ(folder.launcher().string().size(), c.pathLength);
        }
        if (c.prepare) {
            c.prepare(folder);
        }
        QStringList args;
        std::string expectedTarget = (folder.startup() / "TOLBANE_Updater.exe").string();
        for (const std::string& a : c.args) {
            std::string v = a;
            if (a == "@probe") {
                v = expectedTarget = VORN_LAUNCH_PROBE;
            } else if (a == "@missing") {
                v = (folder.startup() / "no-such-program").string();
            }
            args << QString::fromStdString(v);
        }
        const LaunchRun run = folder.Run(args, c.lang.c_str());
        if (c.message.empty()) {
            EXPECT_EQ(run.exitCode, 0);
            EXPECT_EQ(run.err, "");
            ASSERT_TRUE(test::waitFor([&] { return fs::exists(folder.record()); }, 30000));
            // The target path is the whole command line; folder and environment are ours.
            EXPECT_EQ(
                folder.RecordLines(),
                (std::vector<std::string>{folder.workDir().string(), "inherited", expectedTarget}));
        } else {
            EXPECT_EQ(run.exitCode, 1);
            EXPECT_EQ(run.err, c.message + "\n");
            EXPECT_FALSE(fs::exists(folder.record()));
        }
    }
}

// The launcher ends while the program it started still runs.
TEST(Launcher, DoesNotWaitForTheProgram) {
    LauncherFolder folder;
    const fs::path hold = folder.workDir() / "hold";
    const LaunchRun run = folder.Run({}, "en", [&](QProcessEnvironment& env) {
        env.insert("VORN_PROBE_HOLD", QString::fromStdString(hold.string()));
    });
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(test::waitFor([&] { return fs::exists(folder.record()); }, 30000));
    const fs::path done = folder.record().string() + ".done";
    EXPECT_FALSE(fs::exists(done));  // held until we let it go, after the launcher ended
    test::WriteFile(hold, "");
    EXPECT_TRUE(test::waitFor([&] { return fs::exists(done); }, 30000));
}

}  // namespace
}  // namespace vorn
