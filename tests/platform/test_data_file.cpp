// Files and folders of the data folder: owner-only modes under any umask, no writing through
// planted links, the program folder as data folder only when it is the user's own, and the
// per-user folder of a run as root.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform/DataFile.h"
#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Sets a umask for the scope.
class CUmask {
public:
    explicit CUmask(mode_t m) : m_old(::umask(m)) {}
    ~CUmask() { ::umask(m_old); }

private:
    mode_t m_old;
};

// Sets or removes an environment variable for the scope.
class CEnv {
public:
    CEnv(const char* name, const char* value) : m_name(name) {
        if (const char* v = std::getenv(name)) {
            m_old = v;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~CEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Data());
        SetDataFolderForTests(Data());
    }
    void TearDown() override { SetDataFolderForTests({}); }
    fs::path Dir() const { return m_tmp.path().toStdString(); }
    fs::path Data() const { return Dir() / "data"; }

    QTemporaryDir m_tmp;
};

TEST_F(DataFileTest, FilesAreOwnerOnlyAndAStricterUmaskHolds) {
    struct Case {
        const char* name;
        mode_t umask;
        mode_t existing;  // 0: the file is new
        mode_t expected;
    } cases[] = {
        {"new, usual umask", 022, 0, 0600},
        {"new, open umask", 0, 0, 0600},
        {"new, umask 077", 077, 0, 0600},
        {"new, umask 0277", 0277, 0, 0400},
        {"earlier file readable by all", 022, 0644, 0600},
        {"earlier file writable by the group", 022, 0660, 0600},
        {"earlier file already stricter", 022, 0400, 0400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = Data() / "f";
        fs::remove(p);
        if (c.existing) {
            WriteFile(p, "earlier");
            ::chmod(p.c_str(), c.existing);
        }
        CUmask mask(c.umask);
        const int fd = OpenDataFile(p, O_WRONLY | O_CREAT | O_APPEND);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        ::close(fd);
        EXPECT_EQ(ModeOf(p), c.expected);
    }
}

TEST_F(DataFileTest, LinksInTheDataFolderAreRefused) {
    const fs::path victim = Dir() / "victim";
    const fs::path other = Dir() / "other";
    fs::create_directories(other);
    struct Case {
        const char* name;
        void (*plant)(const fs::path& data, const fs::path& victim, const fs::path& other);
        fs::path file;  // below the data folder
    } cases[] = {
        {"the file is a link",
         [](const fs::path& data, const fs::path& victim, const fs::path&) {
             fs::create_directories(data / "log");
             fs::create_symlink(victim, data / "log" / "kelmora.log");
         },
         "log/kelmora.log"},
        {"the folder is a link",
         [](const fs::path& data, const fs::path&, const fs::path& other) {
             fs::create_directory_symlink(other, data / "log");
         },
         "log/kelmora.log"},
        {"a dangling link",
         [](const fs::path& data, const fs::path&, const fs::path& other) {
             fs::create_directories(data / "tmp");
             fs::create_symlink(other / "made-here", data / "tmp" / "cfgbk");
         },
         "tmp/cfgbk"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Data());
        fs::create_directories(Data());
        WriteFile(victim, "the victim's text");
        c.plant(Data(), victim, other);
        EXPECT_TRUE(ReachedThroughLink(Data() / c.file));
        errno = 0;
        EXPECT_EQ(OpenDataFile(Data() / c.file, O_WRONLY | O_CREAT | O_TRUNC), -1);
        EXPECT_EQ(errno, ELOOP);
        EXPECT_FALSE(WriteDataFile(Data() / c.file, "x"));
        EXPECT_EQ(ReadFile(victim), "the victim's text");
        EXPECT_TRUE(fs::is_empty(other));
        EXPECT_EQ(FindWriteProblem(Data() / c.file).kind, WriteProblem::Link);
    }
}

TEST_F(DataFileTest, LinksOutsideAndTheDataFolderItselfAreFollowed) {
    // A file the user names outside the data folder is opened as named.
    const fs::path target = Dir() / "saved-here";
    fs::create_symlink(target, Dir() / "link-outside");
    EXPECT_FALSE(InDataFolder(Dir() / "link-outside"));
    EXPECT_TRUE(WriteDataFile(Dir() / "link-outside", "through"));
    EXPECT_EQ(ReadFile(target), "through");
    EXPECT_EQ(ModeOf(target), 0600u);
    // The data folder may itself be a link: the user moved it.
    const fs::path moved = Dir() / "moved";
    fs::create_directories(moved);
    fs::create_directory_symlink(moved, Dir() / "data-link");
    SetDataFolderForTests(Dir() / "data-link");
    EXPECT_TRUE(WriteDataFile(Dir() / "data-link" / "f", "ok"));
    EXPECT_EQ(ReadFile(moved / "f"), "ok");
}

TEST_F(DataFileTest, FoldersAreOwnerOnly) {
    struct Case {
        mode_t umask;
        mode_t expected;
    } cases[] = {{022, 0700}, {0, 0700}, {077, 0700}, {0277, 0500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.umask);
        const fs::path p = Data() / ("u" + std::to_string(c.umask)) / "a" / "b";
        CUmask mask(c.umask);
        ASSERT_TRUE(MakePrivateFolders(p));
        EXPECT_EQ(ModeOf(p), c.expected);
        EXPECT_EQ(ModeOf(p.parent_path()), c.expected);
    }
    // An earlier folder open to others is closed; a link and what it leads to stay.
    const fs::path open = Data() / "open";
    fs::create_directories(open);
    ::chmod(open.c_str(), 0755);
    KeepFolderPrivate(open);
    EXPECT_EQ(ModeOf(open), 0700u);
    const fs::path shared = Dir() / "shared";
    fs::create_directories(shared);
    ::chmod(shared.c_str(), 0755);
    fs::create_directory_symlink(shared, Data() / "shared-link");
    KeepFolderPrivate(Data() / "shared-link");
    EXPECT_EQ(ModeOf(shared), 0755u);
}

TEST_F(DataFileTest, ProgramFolderServesAsDataFolderOnlyWhenItIsTheUsersOwn) {
    struct Case {
        const char* name;
        mode_t mode;
        bool marker;
        bool foreignOwner;
        bool expected;
    } cases[] = {
        {"own, 0755", 0755, false, false, true},
        {"own, 0700", 0700, false, false, true},
        {"group may write", 0775, false, false, false},
        {"others may write", 0757, false, false, false},
        {"world-writable and sticky", 01777, false, false, false},
        {"marked as system-wide", 0755, true, false, false},
        {"owned by another user", 0755, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path p = Dir() / "prog";
        fs::remove_all(p);
        fs::create_directories(p);
        ::chmod(p.c_str(), c.mode);
        if (c.marker) {
            WriteFile(p / kSystemInstallMarker, "");
        }
        if (c.foreignOwner) {
            if (::geteuid() != 0) {
                continue;  // only root can give a folder away
            }
            ASSERT_EQ(::chown(p.c_str(), 65534, 65534), 0);
        }
        EXPECT_EQ(IsPrivateProgramFolder(p), c.expected);
    }
}

// sudo keeps the caller's HOME (and maybe XDG_DATA_HOME): root's per-user folder must not be
// made inside them, or the user later finds a root-owned folder in their home.
TEST_F(DataFileTest, RootDoesNotUseAnotherUsersHome) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root";
    }
    const passwd* pw = ::getpwuid(0);
    ASSERT_TRUE(pw && pw->pw_dir);
    const fs::path rootHome = pw->pw_dir;
    const fs::path userHome = Dir() / "home-of-someone";
    const fs::path ownXdg = Dir() / "xdg-of-root";
    fs::create_directories(userHome / ".local" / "share");
    fs::create_directories(ownXdg);
    ASSERT_EQ(::chown(userHome.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((userHome / ".local").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((userHome / ".local" / "share").c_str(), 65534, 65534), 0);
    struct Case {
        const char* name;
        std::optional<fs::path> home;
        std::optional<fs::path> xdg;
        fs::path expected;
    } cases[] = {
        {"HOME of another user", userHome, std::nullopt,
         rootHome / ".local" / "share" / "vornupdater"},
        {"XDG_DATA_HOME inside it", userHome, userHome / ".local" / "share",
         rootHome / ".local" / "share" / "vornupdater"},
        {"XDG_DATA_HOME not made yet inside it", userHome, userHome / "new" / "share",
         rootHome / ".local" / "share" / "vornupdater"},
        {"root's own XDG_DATA_HOME", userHome, ownXdg, ownXdg / "vornupdater"},
        {"root's own HOME", Dir(), std::nullopt, Dir() / ".local" / "share" / "vornupdater"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CEnv home("HOME", c.home ? c.home->c_str() : nullptr);
        CEnv xdg("XDG_DATA_HOME", c.xdg ? c.xdg->c_str() : nullptr);
        EXPECT_EQ(UserDataFolder(), c.expected);
    }
    EXPECT_FALSE(fs::exists(userHome / ".local" / "share" / "vornupdater"));
}

TEST_F(DataFileTest, WriteProblemsNameTheEntryInTheWay) {
    fs::create_directories(Data() / "log");
    WriteFile(Data() / "tmp", "a file where a folder belongs");
    WriteProblem p = FindWriteProblem(Data() / "tmp" / "cfgbk");
    EXPECT_EQ(p.kind, WriteProblem::NotFolder);
    EXPECT_EQ(p.where, Data() / "tmp");
    EXPECT_EQ(FindWriteProblem(Data() / "log" / "kelmora.log").kind, WriteProblem::None);
    if (::geteuid() != 0) {  // root may write whatever the modes say
        ::chmod((Data() / "log").c_str(), 0500);
        p = FindWriteProblem(Data() / "log" / "kelmora.log");
        EXPECT_EQ(p.kind, WriteProblem::NotWritable);
        EXPECT_EQ(p.where, Data() / "log");
        ::chmod((Data() / "log").c_str(), 0700);
    }
}

}  // namespace
}  // namespace vorn
