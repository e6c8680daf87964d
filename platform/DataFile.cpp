#include "platform/DataFile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

// `path` relative to the data folder, or empty when it lies outside.
fs::path RelativeToData(const fs::path& path) {
    const fs::path data = fs::absolute(DataFolder()).lexically_normal();
    const fs::path p = fs::absolute(path).lexically_normal();
    fs::path rel = p.lexically_relative(data);
    if (rel.empty() || *rel.begin() == ".." || rel == ".") {
        return {};
    }
    return rel;
}

bool IsLink(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string UserName(uid_t uid) {
    if (const passwd* pw = ::getpwuid(uid); pw && pw->pw_name) {
        return pw->pw_name;
    }
    return std::to_string(uid);
}

}  // namespace

bool InDataFolder(const fs::path& path) {
    return !RelativeToData(path).empty();
}

bool ReachedThroughLink(const fs::path& path) {
    const fs::path rel = RelativeToData(path);
    fs::path at = fs::absolute(DataFolder()).lexically_normal();
    for (const fs::path& part : rel) {
        at /= part;
        if (IsLink(at)) {
            return true;
        }
    }
    return false;
}

int OpenDataFile(const fs::path& path, int flags) {
    flags |= O_CLOEXEC;
    if (InDataFolder(path)) {
        if (ReachedThroughLink(path.parent_path())) {
            errno = ELOOP;
            return -1;
        }
        flags |= O_NOFOLLOW;  // the file itself, without a gap between check and open
    }
    const int fd = ::open(path.c_str(), flags, kFileMode);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0) {
        ::fchmod(fd, st.st_mode & 07700);
    }
    return fd;
}

bool WriteDataFile(const fs::path& path, std::string_view text) {
    const int fd = OpenDataFile(path, O_WRONLY | O_CREAT | O_TRUNC);
    if (fd < 0) {
        return false;
    }
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            const int err = w < 0 ? errno : ENOSPC;
            ::close(fd);
            errno = err;
            return false;
        }
        p += w;
        left -= static_cast<std::size_t>(w);
    }
    return ::close(fd) == 0;
}

bool CopyDataFile(const fs::path& from, const fs::path& to, std::error_code& ec,
                  bool exclusive) {
    ec.clear();
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        ec.assign(errno, std::generic_category());
        return false;
    }
    const int out =
        OpenDataFile(to, O_WRONLY | O_CREAT | (exclusive ? O_EXCL : O_TRUNC));
    if (out < 0) {
        ec.assign(errno, std::generic_category());
        ::close(in);
        return false;
    }
    std::vector<char> buf(256 * 1024);
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ec.assign(errno, std::generic_category());
            break;
        }
        if (n == 0) {
            break;
        }
        for (const char* p = buf.data(); n > 0;) {
            const ssize_t w = ::write(out, p, static_cast<std::size_t>(n));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w <= 0) {
                ec.assign(w < 0 ? errno : ENOSPC, std::generic_category());
                break;
            }
            p += w;
            n -= w;
        }
        if (ec) {
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && !ec) {
        ec.assign(errno, std::generic_category());
    }
    return !ec;
}

bool MakePrivateFolder(const fs::path& dir) {
    if (::mkdir(dir.c_str(), kFolderMode) == 0) {
        return true;
    }
    struct stat st {};
    return errno == EEXIST && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakePrivateFolders(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (dir.has_relative_path() && dir.parent_path() != dir) {
        MakePrivateFolders(dir.parent_path());
    }
    return MakePrivateFolder(dir);
}

void KeepFolderPrivate(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0) {
        ::chmod(path.c_str(), st.st_mode & 07700);
    }
}

WriteProblem FindWriteProblem(const fs::path& path) {
    fs::path p = fs::absolute(path).lexically_normal();
    bool isTarget = true;  // the file itself; every entry above it must be a folder
    for (;;) {
        struct stat lst {};
        if (::lstat(p.c_str(), &lst) == 0) {
            struct stat st {};
            if ((S_ISLNK(lst.st_mode) && InDataFolder(p)) || ::stat(p.c_str(), &st) != 0) {
                return {WriteProblem::Link, p, {}};  // refused, or leading nowhere
            }
            if (!isTarget && !S_ISDIR(st.st_mode)) {
                return {WriteProblem::NotFolder, p, {}};
            }
            if (::access(p.c_str(), W_OK) != 0) {
                if (st.st_uid != ::geteuid()) {
                    // Name the outermost folder of that owner within the data folder: the one
                    // to remove or give back (a whole folder left by a run as root).
                    struct stat up {};
                    while (InDataFolder(p) && ::stat(p.parent_path().c_str(), &up) == 0 &&
                           up.st_uid == st.st_uid) {
                        p = p.parent_path();
                    }
                    return {WriteProblem::Owner, p, UserName(st.st_uid)};
                }
                return {WriteProblem::NotWritable, p, {}};
            }
            return {};
        }
        if (!p.has_relative_path()) {
            return {};
        }
        p = p.parent_path();
        isTarget = false;
    }
}

}  // namespace vorn
