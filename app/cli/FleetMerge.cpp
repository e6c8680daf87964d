#include "app/cli/FleetMerge.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <random>

#include "app/OptionsFile.h"
#include "lib/Log.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "platform/DataFile.h"

namespace vorn::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxNameInFile = 40;

std::string Errno(int e) {
    return std::strerror(e);
}

bool WriteAll(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = ENOSPC;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// Copies `from` into a new file `to` (which must not exist) and flushes it. errno on failure.
bool CopyNew(const fs::path& from, const fs::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0)
        return false;
    const int out = OpenDataFile(to, O_WRONLY | O_CREAT | O_EXCL);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        errno = e;
        return false;
    }
    char buf[1 << 16];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || (n > 0 && !WriteAll(out, buf, static_cast<std::size_t>(n)))) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
    }
    int e = errno;
    if (ok && ::fsync(out) != 0) {
        ok = false;
        e = errno;
    }
    if (::close(out) != 0 && ok) {
        ok = false;
        e = errno;
    }
    ::close(in);
    errno = e;
    return ok;
}

// Gives the complete file `temp` the name `to` unless that name is taken (EEXIST).
bool LinkNoReplace(const fs::path& temp, const fs::path& to) {
    if (::link(temp.c_str(), to.c_str()) == 0) {
        ::unlink(temp.c_str());
        return true;
    }
    if (errno == EEXIST)
        return false;
    // A file system without hard links: a rename that refuses to replace.
    return ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string Stamp(std::time_t t, const char* format) {
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char buf[48];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

std::string Who(const FleetGateway& g, const char* nameSeparator) {
    std::string who = g.address.address + "-" + std::to_string(g.address.ConnectPort());
    const std::string name = SafeGatewayName(g.name);
    return name.empty() ? who : who + nameSeparator + name;
}

std::string VersionPart(const std::string& version) {
    return BackupNamePart(version.empty() ? "unknown" : version, kMaxVersionInBackupName);
}

}  // namespace

std::time_t FileWrittenAt(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? st.st_mtime : std::time(nullptr);
}

bool MergeHistory(const fs::path& scratch, std::string& error) {
    const fs::path source = scratch / "updhistory" / "localhistory";
    std::ifstream in(source, std::ios::binary);
    if (!in)
        return true;
    const fs::path target = WorkPath("localhistory", "updhistory");
    const int fd = OpenDataFile(target, O_WRONLY | O_APPEND | O_CREAT);
    if (fd < 0) {
        error = "cannot record the update history in '" + target.string() + "': " + Errno(errno);
        LogWrite("record local update history failed: " + target.string(), kLogError);
        return false;
    }
    bool ok = true;
    for (std::string line; std::getline(in, line);) {
        line += "\n";
        if (!WriteAll(fd, line.data(), line.size())) {
            error = "cannot record the update history in '" + target.string() + "': " +
                    Errno(errno);
            LogWrite("record local update history failed: " + target.string(), kLogError);
            ok = false;
            break;
        }
    }
    if (ok && ::fsync(fd) != 0) {
        error = "cannot record the update history in '" + target.string() + "': " + Errno(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

std::string KeepFile(const fs::path& source, const fs::path& folder, const std::string& name,
                     std::string& error) {
    std::mt19937_64 random{std::random_device{}()};
    fs::path temp;
    bool copied = false;
    for (int attempt = 0; attempt < 100 && !copied; ++attempt) {
        temp = folder / StrPrintf(".vornfleet-%016llx.part",
                                  static_cast<unsigned long long>(random()));
        copied = CopyNew(source, temp);
        if (!copied && errno != EEXIST)
            break;
    }
    if (!copied) {
        error = "cannot copy '" + source.string() + "' into '" + folder.string() + "': " +
                Errno(errno);
        std::error_code ec;
        if (!temp.empty())
            fs::remove(temp, ec);  // our own unfinished copy, never another file
        return {};
    }
    const fs::path wanted(name);
    const std::string stem = wanted.stem().string(), ext = wanted.extension().string();
    for (int n = 1; n < 10000; ++n) {
        const fs::path target = folder / (n == 1 ? name : stem + "-" + std::to_string(n) + ext);
        if (LinkNoReplace(temp, target)) {
            SyncFolder(folder);
            return target.string();
        }
        if (errno != EEXIST)
            break;
    }
    error = "cannot name the copy of '" + source.string() + "' in '" + folder.string() + "': " +
            Errno(errno);
    std::error_code ec;
    fs::remove(temp, ec);
    return {};
}

std::string SafeGatewayName(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool bad = u < 0x20 || u == 0x7f || std::string_view(" \t()\\/*?:<>|\"").find(c) !=
                                                       std::string_view::npos;
        out += bad ? '_' : c;
    }
    return BackupNamePart(out, kMaxNameInFile);
}

std::string FleetAutoBackupName(const FleetGateway& g, const std::string& version,
                                std::time_t written) {
    return "(" + Who(g, " ") + ")" + VersionPart(version) + "(" +
           Stamp(written, "%y.%m.%d %H-%M-%S") + ").bcf";
}

std::string FleetBackupName(const FleetGateway& g, const std::string& version,
                            std::time_t written) {
    return "kelmora_" + Who(g, "_") + "_" + VersionPart(version) + "_" +
           Stamp(written, "%Y%m%d-%H%M%S") + ".bcf";
}

bool MergeAutoBackups(const fs::path& scratch, const FleetGateway& g, const std::string& version,
                      const std::vector<std::string>& runBackups, std::vector<std::string>& kept,
                      std::string& error) {
    std::error_code ec;
    std::vector<fs::path> sources;
    for (const auto& e : fs::directory_iterator(scratch / "autobak", ec)) {
        if (e.path().extension() == ".bcf" && e.is_regular_file(ec))
            sources.push_back(e.path());
    }
    if (sources.empty())
        return true;
    bool ok = true;
    const fs::path folder = WorkPath("", "autobak");
    for (const fs::path& source : sources) {
        std::string why;
        const std::string target =
            KeepFile(source, folder, FleetAutoBackupName(g, version, FileWrittenAt(source)), why);
        if (target.empty()) {
            LogWrite("keeping the automatic backup " + source.string() + " failed: " + why,
                     kLogError);
            error += (error.empty() ? "" : "; ") + why;
            ok = false;
            continue;
        }
        kept.push_back(target);
    }
    std::vector<fs::path> keep(runBackups.begin(), runBackups.end());
    keep.insert(keep.end(), kept.begin(), kept.end());
    PruneAutoBackups(AutoBackupLimit(), keep);
    return ok;
}

}  // namespace vorn::cli
