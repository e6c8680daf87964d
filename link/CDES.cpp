#include "link/CDES.h"

#include <nettle/des.h>

#include <cstring>
#include <vector>

namespace vorn {
namespace CDES {
namespace {

std::uint8_t ReverseBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

// Key bit k is bit (k mod 8) of byte k/8 counted from the least significant bit, which is the
// usual DES key taken from bit-reversed bytes. Nettle ignores the parity bits and only reports
// weak keys through its result, which does not matter for this fixed-key use.
// Every frame of a transfer uses the same key: the schedule of the last key is kept per thread.
const des_ctx& Schedule(std::string_view key) {
    thread_local std::string lastKey;
    thread_local des_ctx ctx;
    thread_local bool ready = false;
    if (!ready || key != lastKey) {
        std::uint8_t folded[8];
        FoldKey(key, folded);
        for (auto& b : folded) {
            b = ReverseBits(b);
        }
        des_set_key(&ctx, folded);
        lastKey.assign(key);
        ready = true;
    }
    return ctx;
}

}  // namespace

void FoldKey(std::string_view key, std::uint8_t out[8]) {
    std::memset(out, 0, 8);
    for (std::size_t i = 0; i < key.size(); ++i) {
        out[i % 8] ^= static_cast<std::uint8_t>(key[i]);
    }
}

bool enc(std::string_view key, const void* src, std::size_t n, void* dst) {
    if (n > 0xFFFF) {
        return false;
    }
    const des_ctx& ctx = Schedule(key);
    auto* out = static_cast<std::uint8_t*>(dst);
    const auto* in = static_cast<const std::uint8_t*>(src);
    std::size_t full = n / 8 * 8;
    if (full) {
        des_encrypt(&ctx, full, out + 2, in);
    }
    if (std::size_t r = n % 8) {
        std::uint8_t block[8] = {};
        std::memcpy(block, in + full, r);
        des_encrypt(&ctx, 8, out + 2 + full, block);
    }
    out[0] = static_cast<std::uint8_t>(n & 0xFF);
    out[1] = static_cast<std::uint8_t>(n >> 8);
    return true;
}

bool dec(std::string_view key, const void* src, std::size_t len, void* dst, std::size_t* outLen) {
    if (len % 8 != 2) {
        return false;
    }
    const auto* in = static_cast<const std::uint8_t*>(src);
    *outLen = static_cast<std::size_t>(in[0] | in[1] << 8);
    const des_ctx& ctx = Schedule(key);
    if (len > 2) {
        des_decrypt(&ctx, len - 2, static_cast<std::uint8_t*>(dst), in + 2);
    }
    return true;
}

}  // namespace CDES

namespace {
constexpr char kPasswordMarker[] = "EMPTY-PASSWORD-";
constexpr std::size_t kMarkerLen = sizeof(kPasswordMarker) - 1;
}  // namespace

std::string EncodeStoredPassword(const std::string& password) {
    std::string plain = kPasswordMarker + password;
    if (plain.size() > 0xFFFF) {
        return std::string();
    }
    std::vector<std::uint8_t> out(CDES::EncodedSize(plain.size()));
    CDES::enc(kLinkKey, plain.data(), plain.size(), out.data());
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(out.size() * 2);
    for (std::uint8_t b : out) {
        hex.push_back(kHex[b >> 4]);
        hex.push_back(kHex[b & 15]);
    }
    return hex;
}

bool DecodeStoredPassword(const std::string& hex, std::string& password) {
    password.clear();
    if (hex.size() % 2 != 0) {
        return false;
    }
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int hi = nibble(hex[i]);
        int lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    std::vector<std::uint8_t> plain(bytes.size());
    std::size_t n = 0;
    if (!CDES::dec(kLinkKey, bytes.data(), bytes.size(), plain.data(), &n) ||
        n > bytes.size() - 2 || n < kMarkerLen ||
        std::memcmp(plain.data(), kPasswordMarker, kMarkerLen) != 0) {
        return false;
    }
    password.assign(reinterpret_cast<const char*>(plain.data()) + kMarkerLen, n - kMarkerLen);
    return true;
}

}  // namespace vorn
