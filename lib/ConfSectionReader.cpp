#include "lib/ConfSectionReader.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace vorn {

namespace {

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) {
        return {};
    }
    std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

}  // namespace

bool ConfSectionReader::Load(const std::filesystem::path& path) {
    m_values.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) {
        return false;
    }
    // Shared lock for the duration of the read, so a writer using locks is not seen halfway.
    ::flock(::fileno(f), LOCK_SH);
    std::string section = kHeaderSection;
    int note = 0;
    // Whole lines are read: a long line is never cut into a second line that could pass for
    // a key of its own.
    char* buf = nullptr;
    std::size_t cap = 0;
    ssize_t n;
    while ((n = ::getline(&buf, &cap, f)) >= 0) {
        std::string_view line = Trim(std::string_view(buf, static_cast<std::size_t>(n)));
        if (line.size() <= 2 || line[0] == ';' || line[0] == '#' || line.substr(0, 2) == "//") {
            m_values[{section, "__m_note" + std::to_string(note++)}] = std::string(line);
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            section = std::string(Trim(line.substr(1, line.size() - 2)));
            note = 0;
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        m_values[{section, std::string(Trim(line.substr(0, eq)))}] =
            std::string(Trim(line.substr(eq + 1)));
    }
    std::free(buf);
    ::flock(::fileno(f), LOCK_UN);
    std::fclose(f);
    return true;
}

std::string ConfSectionReader::Get(const std::string& section, const std::string& key) const {
    auto it = m_values.find({section, key});
    return it == m_values.end() ? std::string() : it->second;
}

}  // namespace vorn
