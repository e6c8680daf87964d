#include "platform/ProfileString.h"

#include <strings.h>

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

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string Cut(std::string s, std::size_t bufferSize) {
    if (bufferSize == 0) {
        return {};
    }
    if (s.size() > bufferSize - 1) {
        s.resize(bufferSize - 1);
    }
    return s;
}

}  // namespace

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t bufferSize,
                             const std::string& file) {
    std::ifstream in(file);
    if (in) {
        bool inSection = false;
        std::string line;
        while (std::getline(in, line)) {
            line = Trim(line);
            if (line.empty() || line[0] == ';') {
                continue;
            }
            if (line[0] == '[') {
                size_t close = line.find(']');
                inSection = close != std::string::npos &&
                            SameName(Trim(line.substr(1, close - 1)), section);
                continue;
            }
            size_t eq = line.find('=');
            if (!inSection || eq == std::string::npos || !SameName(Trim(line.substr(0, eq)), key)) {
                continue;
            }
            std::string value = Trim(line.substr(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
            return Cut(value, bufferSize);
        }
    }
    return Cut(def, bufferSize);
}

}  // namespace vorn
