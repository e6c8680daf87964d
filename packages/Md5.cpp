#include "packages/Md5.h"

#include <fcntl.h>
#include <nettle/md5.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vorn {

static_assert(sizeof(md5_ctx) <= 128, "MD5 context storage too small");

namespace {
md5_ctx* Ctx(unsigned char* p) {
    return reinterpret_cast<md5_ctx*>(p);
}
}  // namespace

CMd5::CMd5() {
    md5_init(Ctx(m_ctx));
}

void CMd5::Update(const void* data, size_t size) {
    md5_update(Ctx(m_ctx), size, static_cast<const uint8_t*>(data));
}

std::string CMd5::HexDigest() {
    uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(Ctx(m_ctx), MD5_DIGEST_SIZE, digest);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * MD5_DIGEST_SIZE);
    for (uint8_t b : digest) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

std::string Md5Hex(std::string_view text) {
    CMd5 md5;
    md5.Update(text.data(), text.size());
    return md5.HexDigest();
}

bool Md5Hex(const std::filesystem::path& file, std::string& hex) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    std::vector<char> buf(1 << 20);
    CMd5 md5;
    for (;;) {
        ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) {
            break;
        }
        md5.Update(buf.data(), static_cast<size_t>(n));
    }
    ::close(fd);
    hex = md5.HexDigest();
    return true;
}

}  // namespace vorn
