#include "app/cli/FleetList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vorn::cli {
namespace {

constexpr const char* kBlanks = " \t";

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return {};
    const std::size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Calls `each(lineNumber, firstWord, rest)` for every line that is neither blank nor a
// comment; stops at the first error it returns.
template <typename F>
std::string ForEachEntry(const std::string& content, F each) {
    std::istringstream in(content);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t blank = line.find_first_of(kBlanks);
        const std::string word = line.substr(0, blank);
        const std::string rest = blank == std::string::npos
                                     ? ""
                                     : Trim(line.substr(line.find_first_not_of(kBlanks, blank)));
        if (std::string error = each(number, word, rest); !error.empty())
            return error;
    }
    return {};
}

std::string BadAddress(const std::string& label, int line, const std::string& word) {
    return label + " line " + std::to_string(line) + ": bad gateway address '" + word +
           "' (expected ADDR[:PORT], a dotted IPv4 address and a port from 1 to 65535)";
}

}  // namespace

std::string ParseGatewayList(const std::string& content, const std::string& label,
                             std::vector<FleetGateway>& out) {
    std::map<std::string, int> seen;
    std::string error = ForEachEntry(
        content, [&](int line, const std::string& word, const std::string& rest) -> std::string {
            const std::optional<ParsedAddress> parsed = ParseAddress(word);
            if (!parsed)
                return BadAddress(label, line, word);
            FleetGateway g{line, word, *parsed, rest};
            if (auto [it, added] = seen.emplace(g.Key(), line); !added) {
                return label + " line " + std::to_string(line) + ": gateway " + g.Key() +
                       " is already listed on line " + std::to_string(it->second);
            }
            out.push_back(std::move(g));
            return {};
        });
    if (error.empty() && out.empty())
        error = label + ": no gateways listed";
    return error;
}

std::string ParsePasswordList(const std::string& content, const std::string& label,
                              std::map<std::string, std::string>& out) {
    return ForEachEntry(
        content, [&](int line, const std::string& word, const std::string& rest) -> std::string {
            const std::optional<ParsedAddress> parsed = ParseAddress(word);
            if (!parsed)
                return BadAddress(label, line, word);
            if (rest.empty())
                return label + " line " + std::to_string(line) + ": no password";
            FleetGateway g;
            g.address = *parsed;
            out[g.Key()] = rest;
            return {};
        });
}

std::string ReadGatewayList(const std::string& path, std::vector<FleetGateway>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read the gateways file '" + path + "'";
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return ParseGatewayList(content, path, out);
}

std::string ReadPasswordList(const std::string& path, std::map<std::string, std::string>& out) {
    // The mode is checked on the opened file, so a swap after the check cannot slip through.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "cannot read the passwords file '" + path + "': " + std::strerror(errno);
    struct stat st {};
    std::string content, error;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "the passwords file '" + path + "' is not a regular file";
    } else if ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid()) {
        error = "the passwords file '" + path +
                "' must belong to you and be readable by you only (chmod 600)";
    } else {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0)
            content.append(buf, static_cast<std::size_t>(n));
        if (n < 0)
            error = "cannot read the passwords file '" + path + "': " + std::strerror(errno);
    }
    ::close(fd);
    return error.empty() ? ParsePasswordList(content, path, out) : error;
}

}  // namespace vorn::cli
