#include "zipbridge/CheckedMember.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vorn {
namespace {

bool WriteAll(int fd, const char* p, size_t n) {
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

// Reads the open member into `fd`. The archive library checks the CRC only when the member
// was read to its stored size; a wrong password can also end the deflate stream early, so the
// length and CRC of what was written are checked here against the central directory.
int CopyMember(unzFile archive, int fd, const unz_file_info64& info, const std::string& destination,
               std::string& error) {
    std::vector<char> buf(256 * 1024);
    uLong crc = crc32(0L, Z_NULL, 0);
    ZPOS64_T written = 0;
    for (;;) {
        int n = unzReadCurrentFile(archive, buf.data(), static_cast<unsigned>(buf.size()));
        if (n < 0) {
            return n;
        }
        if (n == 0) {
            break;
        }
        if (!WriteAll(fd, buf.data(), static_cast<size_t>(n))) {
            error = "Cannot write " + destination + ": " + std::strerror(errno);
            return UNZ_ERRNO;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(n));
        written += static_cast<ZPOS64_T>(n);
    }
    if (written != info.uncompressed_size || crc != info.crc) {
        return UNZ_CRCERROR;
    }
    return UNZ_OK;
}

}  // namespace

int ExtractCheckedMember(unzFile archive, const char* password, const std::string& destination,
                         std::string& error) {
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
    ::fchmod(fd, 0644);
    int rc = unzOpenCurrentFilePassword(archive, password);
    if (rc == UNZ_OK) {
        rc = CopyMember(archive, fd, info, destination, error);
        int closeRc = unzCloseCurrentFile(archive);
        if (rc == UNZ_OK) {
            rc = closeRc;
        }
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

}  // namespace vorn
