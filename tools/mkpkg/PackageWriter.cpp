#include "tools/mkpkg/PackageWriter.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>

#include "lib/ConfSectionReader.h"
#include "packages/ArchiveAccess.h"
#include "packages/BackupFile.h"
#include "packages/Envelope.h"
#include "packages/Md5.h"
#include "zip.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr size_t kBlock = 1 << 20;

bool ReadSource(const ZipEntry& e, const std::function<bool(const char*, size_t)>& sink,
                std::string& error) {
    if (e.source.empty()) {
        return sink(e.data.data(), e.data.size());
    }
    std::ifstream in(e.source, std::ios::binary);
    if (!in) {
        error = "cannot read " + e.source + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> buf(kBlock);
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        std::streamsize n = in.gcount();
        if (n > 0 && !sink(buf.data(), static_cast<size_t>(n))) {
            return false;
        }
    }
    if (in.bad()) {
        error = "cannot read " + e.source;
        return false;
    }
    return true;
}

bool AddEntry(zipFile zf, const ZipEntry& e, const char* pw, std::string& error) {
    uLong crc = crc32(0L, Z_NULL, 0);
    unsigned long long size = 0;
    if (!ReadSource(
            e,
            [&](const char* p, size_t n) {
                crc = crc32_z(crc, reinterpret_cast<const Bytef*>(p), n);
                size += n;
                return true;
            },
            error)) {
        return false;
    }
    zip_fileinfo zi{};
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    zi.tmz_date.tm_sec = static_cast<uInt>(tm.tm_sec);
    zi.tmz_date.tm_min = static_cast<uInt>(tm.tm_min);
    zi.tmz_date.tm_hour = static_cast<uInt>(tm.tm_hour);
    zi.tmz_date.tm_mday = static_cast<uInt>(tm.tm_mday);
    zi.tmz_date.tm_mon = static_cast<uInt>(tm.tm_mon);
    zi.tmz_date.tm_year = static_cast<uInt>(tm.tm_year + 1900);
    // The CRC is known in advance: without data descriptors the password check byte comes
    // from it, which Info-ZIP and other readers require.
    if (zipOpenNewFileInZip3_64(zf, e.name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr,
                                Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8,
                                Z_DEFAULT_STRATEGY, pw, crc, size >= 0xffffffffULL) != ZIP_OK) {
        error = "cannot add member " + e.name;
        return false;
    }
    bool ok = ReadSource(
        e,
        [&](const char* p, size_t n) {
            if (zipWriteInFileInZip(zf, p, static_cast<unsigned>(n)) != ZIP_OK) {
                error = "cannot write member " + e.name;
                return false;
            }
            return true;
        },
        error);
    if (zipCloseFileInZip(zf) != ZIP_OK && ok) {
        error = "cannot write member " + e.name;
        ok = false;
    }
    return ok;
}

bool CopyInto(int out, const std::string& from, std::string& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = "cannot read " + from + ": " + std::strerror(errno);
        return false;
    }
    std::vector<char> buf(kBlock);
    for (;;) {
        ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ::close(in);
            if (n < 0) {
                error = "cannot read " + from;
            }
            return n == 0;
        }
        const char* p = buf.data();
        while (n > 0) {
            ssize_t w = ::write(out, p, static_cast<size_t>(n));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0) {
                error = std::string("cannot write: ") + std::strerror(errno);
                ::close(in);
                return false;
            }
            p += w;
            n -= w;
        }
    }
}

// Writes header + body to `out` through a temporary file beside it.
bool WriteEnvelope(const std::string& header, const std::string& body, const std::string& out,
                   std::string& error) {
    std::string tmp = out + ".part";
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + tmp + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
              CopyInto(fd, body, error);
    if (::close(fd) != 0) {
        ok = false;
    }
    if (ok && std::rename(tmp.c_str(), out.c_str()) != 0) {
        error = "cannot write " + out + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        if (error.empty()) {
            error = "cannot write " + out;
        }
        ::unlink(tmp.c_str());
    }
    return ok;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

bool WriteZip(const std::string& path, const std::vector<ZipEntry>& entries,
              const std::string& password, const std::string& comment, std::string& error) {
    std::string tmp = path + ".part";
    bool ok = true;
    {
        QFile file(QFile::decodeName(QByteArray::fromStdString(tmp)));
        // Flags without ZIP_WRITE_DATA_DESCRIPTOR: encrypted members then carry a check byte
        // that every reader accepts.
        zipFile zf = zipOpen3(&file, APPEND_STATUS_CREATE, nullptr, nullptr, ZIP_AUTO_CLOSE);
        if (!zf) {
            error = "cannot create " + tmp;
            return false;
        }
        const char* pw = password.empty() ? nullptr : password.c_str();
        for (const auto& e : entries) {
            if (!AddEntry(zf, e, pw, error)) {
                ok = false;
                break;
            }
        }
        if (zipClose(zf, comment.empty() ? nullptr : comment.c_str()) != ZIP_OK && ok) {
            error = "cannot write " + tmp;
            ok = false;
        }
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
    }
    return ok;
}

bool WriteSingleEnvelope(const std::string& body, const std::string& out, std::string& error) {
    std::string hex;
    if (!Md5Hex(fs::path(body), hex)) {
        error = "cannot read " + body;
        return false;
    }
    std::string header = hex;
    header.push_back('\0');
    return WriteEnvelope(header, body, out, error);
}

bool WriteCombinedEnvelope(const std::string& body, const std::string& out, std::string& error) {
    std::string hex;
    if (!Md5Hex(fs::path(body), hex)) {
        error = "cannot read " + body;
        return false;
    }
    std::string header(kCombinedHeaderSize, '\0');
    header[0] = static_cast<char>(kCombinedMagic & 0xff);
    header[1] = static_cast<char>((kCombinedMagic >> 8) & 0xff);
    std::memcpy(header.data() + kCombinedMd5Offset, hex.data(), hex.size());
    return WriteEnvelope(header, body, out, error);
}

std::vector<ZipEntry> EntriesFromFolder(const std::string& folder, std::string& error) {
    std::vector<ZipEntry> entries;
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = folder + " is not a folder";
        return entries;
    }
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file()) {
            entries.push_back(
                {fs::relative(it->path(), folder).generic_string(), it->path().string(), {}});
        }
    }
    if (ec) {
        error = "cannot list " + folder + ": " + ec.message();
    }
    // Stable member order: the plan and version files first, then by name.
    std::sort(entries.begin(), entries.end(), [](const ZipEntry& a, const ZipEntry& b) {
        auto rank = [](const std::string& n) {
            return (n == "appversion" || n == "upgrade.conf" || n == "cfgversion") ? 0 : 1;
        };
        return std::make_pair(rank(a.name), a.name) < std::make_pair(rank(b.name), b.name);
    });
    return entries;
}

bool BuildCombinedFromPlan(const std::string& plan, const std::string& out,
                           const std::string& password, std::string& error) {
    if (!EndsWith(out, ".cssu")) {
        error = "a combined package must end in .cssu";
        return false;
    }
    ConfSectionReader conf;
    if (!conf.Load(plan)) {
        error = "cannot read plan " + plan;
        return false;
    }
    const fs::path dir = fs::path(plan).parent_path();
    std::vector<ZipEntry> entries{{"upgrade.conf", plan, {}}};
    for (const char* extra : {"readme.txt", "package.conf"}) {
        if (fs::is_regular_file(dir / extra)) {
            entries.push_back({extra, (dir / extra).string(), {}});
        }
    }
    const int count = std::atoi(conf.Get("Total", "count").c_str());
    for (int i = 1; i <= count; ++i) {
        const std::string section = std::to_string(i);
        const std::string type = conf.Get(section, "type");
        if (type != "1" && type != "3") {
            if (type != "2") {
                error = "plan entry " + section + " has no valid type (1, 2 or 3)";
                return false;
            }
            continue;
        }
        const std::string name = conf.Get(section, "name");
        if (name.empty() || name.find_first_of("/\\") != std::string::npos || name == "..") {
            error = "plan entry " + section + " needs a plain file name";
            return false;
        }
        if (!fs::is_regular_file(dir / name)) {
            error = "plan entry " + section + ": " + (dir / name).string() + " is missing";
            return false;
        }
        auto same = [&](const ZipEntry& e) { return e.name == name; };
        if (std::none_of(entries.begin(), entries.end(), same)) {
            entries.push_back({name, (dir / name).string(), {}});
        }
    }
    std::string body = out + ".body";
    const std::string pw = password.empty() ? std::string(kPackagePassword) : password;
    bool ok = WriteZip(body, entries, pw, "", error) && WriteCombinedEnvelope(body, out, error);
    ::unlink(body.c_str());
    return ok;
}

bool BuildPackage(const std::string& folder, const std::string& out, const std::string& password,
                  std::string& error) {
    std::vector<ZipEntry> entries = EntriesFromFolder(folder, error);
    if (!error.empty()) {
        return false;
    }
    if (EndsWith(out, ".bcf")) {
        return WriteZip(out, entries, kOlderPackagePassword, kBackupComment, error);
    }
    const bool single = EndsWith(out, ".ssu");
    if (!single && !EndsWith(out, ".cssu")) {
        error = "the output name must end in .ssu, .cssu or .bcf";
        return false;
    }
    std::string body = out + ".body";
    const std::string pw = password.empty() ? std::string(kPackagePassword) : password;
    bool ok =
        WriteZip(body, entries, pw, "", error) &&
        (single ? WriteSingleEnvelope(body, out, error) : WriteCombinedEnvelope(body, out, error));
    ::unlink(body.c_str());
    return ok;
}

}  // namespace vorn
