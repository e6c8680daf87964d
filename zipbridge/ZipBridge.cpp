// The archive component over QuaZip's minizip (built with traditional PKWARE encryption).
#include "zipbridge/ZipBridge.h"

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
#include <string>
#include <vector>

#include "lib/MemberName.h"
#include "unzip.h"
#include "zip.h"
#include "zipbridge/ArchiveFile.h"
#include "zipbridge/CheckedMember.h"

namespace {

namespace fs = std::filesystem;
using vorn::SafeMemberName;

constexpr size_t kBlock = 256 * 1024;

// Static TLS model: the library is dlopen'ed, and dynamically allocated TLS of such libraries
// trips up the leak checker's thread scan; the small slot fits the static TLS reserve.
__attribute__((tls_model("initial-exec"))) thread_local std::string t_error;

int Fail(int code, const std::string& text) {
    t_error = text;
    return code;
}

int Ok() {
    t_error.clear();
    return ZB_OK;
}

std::string ToString(const ZbText& t) {
    return (t.data && t.size) ? std::string(t.data, t.size) : std::string();
}

void Store(ZbText* out, const std::string& s) {
    if (!out) {
        return;
    }
    if (!out->data || out->capacity == 0) {
        out->size = 0;
        return;
    }
    size_t n = std::min(s.size(), out->capacity - 1);
    std::memcpy(out->data, s.data(), n);
    out->data[n] = '\0';
    out->size = n;
}

std::string SysError() {
    return std::strerror(errno);
}

// An open archive for reading; minizip closes the QFile with the handle.
struct Reader {
    vorn::CArchiveFile file{QString()};
    unzFile handle = nullptr;
    ~Reader() {
        if (handle) {
            unzClose(handle);
        }
    }
    bool Open(const std::string& path) {
        file.setFileName(QFile::decodeName(QByteArray::fromStdString(path)));
        handle = unzOpen64(&file);
        return handle != nullptr;
    }
    // Name of the current entry; false on a read error.
    bool CurrentName(std::string& name) {
        unz_file_info64 info;
        char buf[65536];
        if (unzGetCurrentFileInfo64(handle, &info, buf, sizeof buf, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            return false;
        }
        name.assign(buf, std::min<size_t>(info.size_filename, sizeof buf - 1));
        return true;
    }
};

// Extracts the current entry to `target`; the target is replaced only when the member
// decrypted, inflated and matched its stored length and CRC.
int ExtractCurrent(Reader& r, const std::string& name, const fs::path& target, const char* pw) {
    std::string error;
    int rc = vorn::ExtractCheckedMember(r.handle, r.file, pw, target.string(), error);
    if (rc == UNZ_OK) {
        return ZB_OK;
    }
    if (rc == UNZ_ERRNO) {
        return Fail(ZB_ERR_WRITE, error);
    }
    return Fail(ZB_ERR_READ, "Member " + name + " is damaged or the password is wrong");
}

bool FileCrc(const std::string& path, uLong& crc, ZPOS64_T& size, std::vector<char>& buf) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    crc = crc32(0L, Z_NULL, 0);
    size = 0;
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(n));
        size += static_cast<ZPOS64_T>(n);
    }
    ::close(fd);
    return true;
}

// Why writing the archive file failed: the file's own error (errno is gone by the time
// minizip reports), else the system's.
std::string DeviceError(const QFile& out) {
    return out.error() != QFileDevice::NoError ? out.errorString().toStdString() : SysError();
}

// What was put into an archive: checked again once it is written.
struct MemberRecord {
    std::string name;
    ZPOS64_T size = 0;
    uLong crc = 0;
};

// Forces the written bytes onto the disk; an error here (a full disk found late, an I/O
// error) means the file is not what was written.
int SyncFile(const std::string& path, const std::string& target) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const std::string err = SysError();
        if (fd >= 0) {
            ::close(fd);
        }
        return Fail(ZB_ERR_WRITE, "Cannot write " + target + ": " + err);
    }
    ::close(fd);
    return ZB_OK;
}

// The rename itself reaches the disk with the folder.
void SyncFolder(const fs::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Reads the new archive back: its comment, and each member in order with its name, and with
// the length and CRC of its source after deciphering and inflating it.
int CheckWritten(const std::string& path, const std::string& target, const std::string& comment,
                 const char* pw, const std::vector<MemberRecord>& members) {
    const auto bad = [&](const std::string& why) {
        return Fail(ZB_ERR_WRITE, "The archive written to " + target + " does not read back: " + why);
    };
    Reader r;
    if (!r.Open(path)) {
        return bad("it does not open");
    }
    unz_global_info64 gi;
    if (unzGetGlobalInfo64(r.handle, &gi) != UNZ_OK || gi.number_entry != members.size()) {
        return bad("wrong number of members");
    }
    std::string text(gi.size_comment + 1, '\0');
    const int n = unzGetGlobalComment(r.handle, text.data(), static_cast<uLong>(text.size()));
    if (n < 0 || text.substr(0, static_cast<size_t>(n)) != comment) {
        return bad("wrong comment");
    }
    int rc = unzGoToFirstFile(r.handle);
    for (const MemberRecord& m : members) {
        std::string name;
        unz_file_info64 info;
        if (rc != UNZ_OK || !r.CurrentName(name) || name != m.name) {
            return bad("member " + m.name + " is missing");
        }
        if (vorn::ReadCheckedMember(r.handle, r.file, pw, info) != UNZ_OK ||
            info.uncompressed_size != m.size || info.crc != m.crc) {
            return bad("member " + m.name + " does not match its source");
        }
        rc = unzGoToNextFile(r.handle);
    }
    return ZB_OK;
}

// Adds one file as an encrypted member (the CRC goes first: without data descriptors the
// password check byte is taken from it, which other readers insist on).
int AddMember(zipFile zf, const std::string& path, const char* pw, std::vector<char>& buf,
              MemberRecord& record, const std::string& archive, const QFile& out) {
    uLong crc = 0;
    ZPOS64_T size = 0;
    if (!FileCrc(path, crc, size, buf)) {
        return Fail(ZB_ERR_SOURCE, "Cannot read " + path + ": " + SysError());
    }
    zip_fileinfo zi{};
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        std::tm tm{};
        localtime_r(&st.st_mtime, &tm);
        zi.tmz_date.tm_sec = static_cast<uInt>(tm.tm_sec);
        zi.tmz_date.tm_min = static_cast<uInt>(tm.tm_min);
        zi.tmz_date.tm_hour = static_cast<uInt>(tm.tm_hour);
        zi.tmz_date.tm_mday = static_cast<uInt>(tm.tm_mday);
        zi.tmz_date.tm_mon = static_cast<uInt>(tm.tm_mon);
        zi.tmz_date.tm_year = static_cast<uInt>(tm.tm_year + 1900);
    }
    std::string base = fs::path(path).filename().string();
    record = {base, size, crc};
    int zip64 = size >= 0xffffffffULL ? 1 : 0;
    if (zipOpenNewFileInZip3_64(zf, base.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, pw,
                                crc, zip64) != ZIP_OK) {
        return Fail(ZB_ERR_WRITE, "Cannot add " + base + " to " + archive + ": " + DeviceError(out));
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        zipCloseFileInZip(zf);
        return Fail(ZB_ERR_SOURCE, "Cannot read " + path + ": " + SysError());
    }
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            std::string err = SysError();
            ::close(fd);
            zipCloseFileInZip(zf);
            return Fail(ZB_ERR_SOURCE, "Cannot read " + path + ": " + err);
        }
        if (n == 0) {
            break;
        }
        if (zipWriteInFileInZip(zf, buf.data(), static_cast<unsigned>(n)) != ZIP_OK) {
            std::string err = DeviceError(out);
            ::close(fd);
            zipCloseFileInZip(zf);
            return Fail(ZB_ERR_WRITE, "Cannot write " + archive + ": " + err);
        }
    }
    ::close(fd);
    if (zipCloseFileInZip(zf) != ZIP_OK) {
        return Fail(ZB_ERR_WRITE, "Cannot write " + archive + ": " + DeviceError(out));
    }
    return ZB_OK;
}

}  // namespace

extern "C" {

int GetExtractFileInfo(ZbText archive, ZbText* names, int slotCount, int /*reserved*/,
                       ZbText* comment) {
    std::string path = ToString(archive);
    if (path.empty()) {
        return Fail(ZB_ERR_PARAM, "No archive given");
    }
    Reader r;
    if (!r.Open(path)) {
        return Fail(ZB_ERR_OPEN, "Cannot open archive " + path);
    }
    unz_global_info64 gi;
    if (unzGetGlobalInfo64(r.handle, &gi) != UNZ_OK) {
        return Fail(ZB_ERR_OPEN, "Cannot read archive " + path);
    }
    std::string text(gi.size_comment + 1, '\0');
    int n = unzGetGlobalComment(r.handle, text.data(), static_cast<uLong>(text.size()));
    if (n < 0) {
        return Fail(ZB_ERR_OPEN, "Cannot read the comment of " + path);
    }
    text.resize(static_cast<size_t>(n));
    Store(comment, text);
    bool more = names && slotCount > 0 && unzGoToFirstFile(r.handle) == UNZ_OK;
    for (int i = 0; names && i < slotCount; ++i) {
        std::string name;
        if (more && r.CurrentName(name)) {
            Store(&names[i], name);
            more = unzGoToNextFile(r.handle) == UNZ_OK;
        } else {
            Store(&names[i], std::string());
            more = false;
        }
    }
    return Ok();
}

int ExtractFile(ZbText archive, ZbText* /*names*/, int /*slotCount*/, int /*reserved*/,
                ZbText* /*comment*/, ZbText destFolder, int /*flag*/, ZbText password) {
    std::string path = ToString(archive);
    std::string dest = ToString(destFolder);
    if (path.empty() || dest.empty()) {
        return Fail(ZB_ERR_PARAM, "No archive or destination folder given");
    }
    std::string pw = ToString(password);
    const char* pwArg = pw.empty() ? nullptr : pw.c_str();
    fs::path destDir(dest);
    std::error_code ec;
    if (!fs::is_directory(destDir, ec)) {
        return Fail(ZB_ERR_WRITE, "Destination folder " + dest + " does not exist");
    }
    Reader r;
    if (!r.Open(path)) {
        return Fail(ZB_ERR_OPEN, "Cannot open archive " + path);
    }
    // Every name is checked before anything is written.
    std::vector<std::string> entries;
    for (int rc = unzGoToFirstFile(r.handle); rc == UNZ_OK; rc = unzGoToNextFile(r.handle)) {
        std::string name;
        if (!r.CurrentName(name)) {
            return Fail(ZB_ERR_OPEN, "Cannot read the member list of " + path);
        }
        if (!SafeMemberName(name)) {
            return Fail(ZB_ERR_UNSAFE_NAME, "Archive refused: member name \"" + name +
                                                "\" leaves the destination folder");
        }
        entries.push_back(std::move(name));
    }
    size_t index = 0;
    for (int rc = unzGoToFirstFile(r.handle); rc == UNZ_OK && index < entries.size();
         rc = unzGoToNextFile(r.handle), ++index) {
        const std::string& name = entries[index];
        fs::path target = destDir / name;
        if (name.back() == '/' || name.back() == '\\') {
            fs::create_directories(target, ec);
            if (ec) {
                return Fail(ZB_ERR_WRITE, "Cannot create " + target.string() + ": " + ec.message());
            }
            continue;
        }
        fs::create_directories(target.parent_path(), ec);
        if (ec) {
            return Fail(ZB_ERR_WRITE,
                        "Cannot create " + target.parent_path().string() + ": " + ec.message());
        }
        if (int e = ExtractCurrent(r, name, target, pwArg); e != ZB_OK) {
            return e;
        }
    }
    return Ok();
}

int AddTozipFile(ZbText* files, int fileCount, ZbText archive, ZbText comment, ZbText password) {
    std::string target = ToString(archive);
    if (target.empty() || (fileCount > 0 && !files)) {
        return Fail(ZB_ERR_PARAM, "No archive or files given");
    }
    std::string pw = ToString(password);
    const char* pwArg = pw.empty() ? nullptr : pw.c_str();
    std::string text = ToString(comment);
    // Beside the target (so the rename stays on one file system), under a short name that
    // fits whatever the target's name is. mkstemp creates it owner-only (0600): an archive
    // may hold a gateway's configuration, and a stricter umask only takes more away.
    const fs::path folder = fs::path(target).parent_path();
    std::string tmpl = (folder.empty() ? fs::path(".zbnew-XXXXXX") : folder / ".zbnew-XXXXXX")
                           .string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        return Fail(ZB_ERR_WRITE, "Cannot create " + target + ": " + SysError());
    }
    ::close(fd);
    std::vector<MemberRecord> members;
    int result = ZB_OK;
    {
        // Unbuffered and closed here, not by minizip: a failed write is seen at once, with
        // its reason still in the file's error.
        QFile out(QFile::decodeName(QByteArray::fromStdString(tmpl)));
        zipFile zf = out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
                         ? zipOpen3(&out, APPEND_STATUS_CREATE, nullptr, nullptr, 0)
                         : nullptr;
        if (!zf) {
            const std::string err = DeviceError(out);
            ::unlink(tmpl.c_str());
            return Fail(ZB_ERR_WRITE, "Cannot create " + target + ": " + err);
        }
        std::vector<char> buf(kBlock);
        for (int i = 0; i < fileCount && result == ZB_OK; ++i) {
            MemberRecord m;
            result = AddMember(zf, ToString(files[i]), pwArg, buf, m, target, out);
            members.push_back(m);
        }
        const bool closed = zipClose(zf, text.empty() ? nullptr : text.c_str()) == ZIP_OK;
        if ((!closed || out.error() != QFileDevice::NoError) && result == ZB_OK) {
            result = Fail(ZB_ERR_WRITE, "Cannot write " + target + ": " + DeviceError(out));
        }
        out.close();
        if (out.error() != QFileDevice::NoError && result == ZB_OK) {
            result = Fail(ZB_ERR_WRITE, "Cannot write " + target + ": " + DeviceError(out));
        }
    }
    // Complete or nothing: on the disk, readable with the password, every member with the
    // length and CRC of its source; only then does it take the target's name.
    if (result == ZB_OK) {
        result = SyncFile(tmpl, target);
    }
    if (result == ZB_OK) {
        result = CheckWritten(tmpl, target, text, pwArg, members);
    }
    if (result == ZB_OK && ::rename(tmpl.c_str(), target.c_str()) != 0) {
        result = Fail(ZB_ERR_WRITE, "Cannot write " + target + ": " + SysError());
    }
    if (result != ZB_OK) {
        ::unlink(tmpl.c_str());
        return result;
    }
    SyncFolder(folder);
    return Ok();
}

const char* ZipBridgeLastError(void) {
    return t_error.c_str();
}

}  // extern "C"
