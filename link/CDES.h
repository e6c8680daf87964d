#pragma once
// DES-ECB under a text key folded to 8 bytes, zero padding, and a 2-byte little-endian plain
// length in front of the ciphertext. No state between calls (each thread keeps the schedule
// of the key it used last).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vorn {

// The key of the link frames, the stored proxy password and the remembered passwords.
inline constexpr std::string_view kLinkKey = "wexkorplin";

namespace CDES {

// Folds a key text of any length into 8 bytes (XOR of 8-byte chunks; a short last chunk
// goes into the first bytes).
void FoldKey(std::string_view key, std::uint8_t out[8]);
// Output size of enc() for n plain bytes: 2 + 8 * ceil(n / 8).
inline std::size_t EncodedSize(std::size_t n) {
    return 2 + 8 * ((n + 7) / 8);
}
// Enciphers n bytes (n <= 65535) of src into dst (EncodedSize(n) bytes). src and dst may not
// overlap.
bool enc(std::string_view key, const void* src, std::size_t n, void* dst);
// Deciphers len bytes; false when len mod 8 != 2. Writes len - 2 bytes to dst and the stored
// plain length to outLen.
bool dec(std::string_view key, const void* src, std::size_t len, void* dst, std::size_t* outLen);

}  // namespace CDES

// The stored form of a password: upper-case hex of CDES::enc("EMPTY-PASSWORD-" + password).
std::string EncodeStoredPassword(const std::string& password);
// Reverses EncodeStoredPassword; false for text that is not such a value.
bool DecodeStoredPassword(const std::string& hex, std::string& password);

}  // namespace vorn
