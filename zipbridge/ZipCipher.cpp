#include "zipbridge/ZipCipher.h"

namespace vorn {
namespace {

// One CRC-32 step over one byte (zlib's table, reflected polynomial).
inline std::uint32_t CrcStep(const z_crc_t* table, std::uint32_t crc, std::uint8_t b) {
    return static_cast<std::uint32_t>(table[(crc ^ b) & 0xFF]) ^ (crc >> 8);
}

// The keys take in one plain byte.
inline void UpdateKeys(const z_crc_t* table, std::uint32_t& k0, std::uint32_t& k1,
                       std::uint32_t& k2, std::uint8_t plain) {
    k0 = CrcStep(table, k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(table, k2, static_cast<std::uint8_t>(k1 >> 24));
}

}  // namespace

CZipDecipher::CZipDecipher(const char* password) : m_crc(get_crc_table()) {
    for (const char* p = password; p && *p; ++p) {
        UpdateKeys(m_crc, m_k0, m_k1, m_k2, static_cast<std::uint8_t>(*p));
    }
}

void CZipDecipher::Decrypt(std::uint8_t* data, std::size_t n) {
    // Each byte depends on the keys the one before left: they stay in registers here.
    const z_crc_t* table = m_crc;
    std::uint32_t k0 = m_k0, k1 = m_k1, k2 = m_k2;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t t = (k2 & 0xFFFF) | 2;
        const auto plain = static_cast<std::uint8_t>(data[i] ^ ((t * (t ^ 1)) >> 8));
        data[i] = plain;
        UpdateKeys(table, k0, k1, k2, plain);
    }
    m_k0 = k0;
    m_k1 = k1;
    m_k2 = k2;
}

}  // namespace vorn
