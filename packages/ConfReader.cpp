#include "packages/ConfReader.h"

#include <fstream>

namespace vorn {
namespace {

std::string Trim(const std::string& s) {
    const char* ws = " \t\r\n";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(ws) - b + 1);
}

}  // namespace

bool PackageConfReader::Load(const std::string& path) {
    m_values.clear();
    std::ifstream in(path);
    if (!in) {
        return false;
    }
    std::string section = "__g_header__";
    std::string line;
    while (std::getline(in, line)) {
        line = Trim(line.substr(0, 1024));
        if (line.size() <= 2 || line[0] == ';' || line[0] == '#' || line.rfind("//", 0) == 0) {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = Trim(line.substr(1, line.size() - 2));
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        m_values[{section, Trim(line.substr(0, eq))}] = Trim(line.substr(eq + 1));
    }
    return true;
}

std::string PackageConfReader::Get(const std::string& section, const std::string& key) const {
    auto it = m_values.find({section, key});
    return it == m_values.end() ? std::string() : it->second;
}

}  // namespace vorn
