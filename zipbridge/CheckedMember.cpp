#include "zipbridge/CheckedMember.h"

#include <QIODevice>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "zipbridge/ZipCipher.h"

namespace vorn {
namespace {

// Pieces read, deciphered, inflated and written at a time.
constexpr size_t kChunk = 1024 * 1024;

// A buffer for `size` bytes, at most kChunk long (small members are the common case).
std::vector<std::uint8_t> Buffer(ZPOS64_T size) {
    return std::vector<std::uint8_t>(static_cast<size_t>(std::clamp<ZPOS64_T>(size, 1, kChunk)));
}
constexpr unsigned kEncryptionHeader = 12;

bool WriteAll(int fd, const std::uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// The stored bytes of one member, read in order from the archive file and deciphered when a
// password was given.
class CMemberData {
public:
    CMemberData(QIODevice& file, ZPOS64_T at, ZPOS64_T size, const char* password)
        : m_file(file), m_at(at), m_left(size) {
        if (password) {
            m_cipher.emplace(password);
        }
    }
    ZPOS64_T Left() const { return m_left; }
    // Fills `buf` with the next min(n, Left()) bytes; false when the file ends first or
    // cannot be read.
    bool Read(std::uint8_t* buf, size_t n) {
        n = static_cast<size_t>(std::min<ZPOS64_T>(n, m_left));
        if (!m_file.seek(static_cast<qint64>(m_at))) {
            return false;
        }
        for (size_t got = 0; got < n;) {
            const qint64 r =
                m_file.read(reinterpret_cast<char*>(buf) + got, static_cast<qint64>(n - got));
            if (r <= 0) {
                return false;
            }
            got += static_cast<size_t>(r);
        }
        if (m_cipher) {
            m_cipher->Decrypt(buf, n);
        }
        m_at += n;
        m_left -= n;
        return true;
    }

private:
    QIODevice& m_file;
    ZPOS64_T m_at;
    ZPOS64_T m_left;
    std::optional<CZipDecipher> m_cipher;
};

// The plain bytes of the member go to `fd` (nowhere for -1); their count and CRC are kept
// for the check.
class CMemberSink {
public:
    CMemberSink(int fd, const std::string& destination, std::string& error)
        : m_fd(fd), m_destination(destination), m_error(error) {}
    bool Put(const std::uint8_t* p, size_t n) {
        if (m_fd >= 0 && !WriteAll(m_fd, p, n)) {
            m_error = "Cannot write " + m_destination + ": " + std::strerror(errno);
            return false;
        }
        m_crc = crc32_z(m_crc, p, n);
        m_written += n;
        return true;
    }
    bool Matches(const unz_file_info64& info) const {
        return m_written == info.uncompressed_size && m_crc == info.crc;
    }

private:
    int m_fd;
    const std::string& m_destination;
    std::string& m_error;
    uLong m_crc = crc32(0L, Z_NULL, 0);
    ZPOS64_T m_written = 0;
};

int CopyStored(CMemberData& data, CMemberSink& sink) {
    std::vector<std::uint8_t> buf = Buffer(data.Left());
    while (data.Left() > 0) {
        const size_t n = static_cast<size_t>(std::min<ZPOS64_T>(buf.size(), data.Left()));
        if (!data.Read(buf.data(), n)) {
            return UNZ_BADZIPFILE;
        }
        if (!sink.Put(buf.data(), n)) {
            return UNZ_ERRNO;
        }
    }
    return UNZ_OK;
}

// Inflates until the deflate stream ends or the stored bytes run out; whatever the stream
// produced is written (the length and CRC check decide). `expected` (the stored size) only
// sizes the output buffer.
int CopyDeflated(CMemberData& data, ZPOS64_T expected, CMemberSink& sink) {
    std::vector<std::uint8_t> in = Buffer(data.Left());
    std::vector<std::uint8_t> out = Buffer(expected);
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
        return UNZ_INTERNALERROR;
    }
    int rc = UNZ_OK;
    bool ended = false;
    while (!ended && rc == UNZ_OK && data.Left() > 0) {
        const size_t n = static_cast<size_t>(std::min<ZPOS64_T>(in.size(), data.Left()));
        if (!data.Read(in.data(), n)) {
            rc = UNZ_BADZIPFILE;
            break;
        }
        zs.next_in = in.data();
        zs.avail_in = static_cast<uInt>(n);
        do {
            zs.next_out = out.data();
            zs.avail_out = static_cast<uInt>(out.size());
            const int z = inflate(&zs, Z_NO_FLUSH);
            if (z != Z_OK && z != Z_STREAM_END && z != Z_BUF_ERROR) {
                rc = z == Z_ERRNO ? Z_DATA_ERROR : z;  // UNZ_ERRNO means a write failure here
                break;
            }
            if (!sink.Put(out.data(), out.size() - zs.avail_out)) {
                rc = UNZ_ERRNO;
                break;
            }
            ended = z == Z_STREAM_END;
        } while (!ended && (zs.avail_in > 0 || zs.avail_out == 0));
    }
    inflateEnd(&zs);
    return rc;
}

// Reads the member into `fd`: the password check byte first, then the data. A wrong password
// can pass the check byte and then end the deflate stream early, so the length and CRC of
// what was written are checked against the central directory.
int CopyMember(QIODevice& source, ZPOS64_T at, const unz_file_info64& info, int method,
               const char* password, CMemberSink& sink) {
    CMemberData data(source, at, info.compressed_size, password);
    if (password) {
        std::uint8_t header[kEncryptionHeader];
        if (data.Left() < kEncryptionHeader || !data.Read(header, kEncryptionHeader)) {
            return UNZ_BADZIPFILE;
        }
        // The writer sets the last header byte to the top byte of the CRC, or of the
        // modification time when it does not know the CRC yet: Info-ZIP for a member
        // followed by a data descriptor, QuaZip's writer for an empty member (CRC 0).
        const std::uint8_t check = header[kEncryptionHeader - 1];
        if (check != ((info.crc >> 24) & 0xFF) && check != ((info.dosDate >> 8) & 0xFF)) {
            return UNZ_CRCERROR;
        }
    }
    int rc = method == Z_DEFLATED ? CopyDeflated(data, info.uncompressed_size, sink)
                                  : CopyStored(data, sink);
    if (rc == UNZ_OK && !sink.Matches(info)) {
        rc = UNZ_CRCERROR;
    }
    return rc;
}

// Lets minizip check the local header against the central directory and says where the
// member's data (its encryption header included) starts in the archive file.
int LocateData(unzFile archive, int& method, ZPOS64_T& at) {
    int level = 0;
    if (int rc = unzOpenCurrentFile3(archive, &method, &level, 1, nullptr); rc != UNZ_OK) {
        return rc;
    }
    at = unzGetCurrentFileZStreamPos64(archive);
    const int rc = unzCloseCurrentFile(archive);
    if (rc != UNZ_OK) {
        return rc;
    }
    return method == 0 || method == Z_DEFLATED ? UNZ_OK : UNZ_BADZIPFILE;
}

}  // namespace

int ExtractCheckedMember(unzFile archive, QIODevice& source, const char* password,
                         const std::string& destination, std::string& error) {
    unz_file_info64 info;
    if (int rc = unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0);
        rc != UNZ_OK) {
        return rc;
    }
    std::string tmpl =
        (std::filesystem::path(destination).parent_path() / ".zbpart-XXXXXX").string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        error = "Cannot create " + tmpl + ": " + std::strerror(errno);
        return UNZ_ERRNO;
    }
    // mkstemp creates owner-only (0600): members may be a gateway's configuration.
    int method = 0;
    ZPOS64_T at = 0;
    int rc = LocateData(archive, method, at);
    if (rc == UNZ_OK) {
        CMemberSink sink(fd, destination, error);
        rc = CopyMember(source, at, info, method, password, sink);
    }
    if (::close(fd) != 0 && rc == UNZ_OK) {
        error = "Cannot write " + destination + ": " + std::strerror(errno);
        rc = UNZ_ERRNO;
    }
    if (rc == UNZ_OK && ::rename(tmpl.c_str(), destination.c_str()) != 0) {
        error = "Cannot write " + destination + ": " + std::strerror(errno);
        rc = UNZ_ERRNO;
    }
    if (rc != UNZ_OK) {
        ::unlink(tmpl.c_str());
    }
    return rc;
}

int ReadCheckedMember(unzFile archive, QIODevice& source, const char* password,
                      unz_file_info64& info) {
    if (int rc = unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0);
        rc != UNZ_OK) {
        return rc;
    }
    int method = 0;
    ZPOS64_T at = 0;
    if (int rc = LocateData(archive, method, at); rc != UNZ_OK) {
        return rc;
    }
    const std::string nowhere;
    std::string unused;
    CMemberSink sink(-1, nowhere, unused);
    return CopyMember(source, at, info, method, password, sink);
}

}  // namespace vorn
