#pragma once
// The traditional zip encryption (three keys driven by CRC-32 steps over the plain bytes): the
// decrypting side, for the checked member extractor.
#include <zlib.h>

#include <cstddef>
#include <cstdint>

namespace vorn {

class CZipDecipher {
public:
    // Keys set up from `password` (its bytes up to the terminating zero).
    explicit CZipDecipher(const char* password);
    // Deciphers `n` bytes in place; successive calls continue the stream.
    void Decrypt(std::uint8_t* data, std::size_t n);

private:
    const z_crc_t* m_crc;
    std::uint32_t m_k0 = 0x12345678;
    std::uint32_t m_k1 = 0x23456789;
    std::uint32_t m_k2 = 0x34567890;
};

}  // namespace vorn
