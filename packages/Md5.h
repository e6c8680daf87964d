#pragma once
// MD5 digests as 32 lower-case hexadecimal digits.
#include <filesystem>
#include <string>
#include <string_view>

namespace vorn {

std::string Md5Hex(std::string_view text);
// Digest of a file's bytes; false when the file cannot be opened or read.
bool Md5Hex(const std::filesystem::path& file, std::string& hex);

// Streaming form for callers that digest data while they copy it.
class CMd5 {
public:
    CMd5();
    void Update(const void* data, size_t size);
    std::string HexDigest();

private:
    alignas(8) unsigned char m_ctx[128];
};

}  // namespace vorn
