#pragma once
// Reading and writing whole files in tests.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vorn::test {

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::filesystem::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace vorn::test
