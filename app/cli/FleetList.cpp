#include "app/cli/FleetList.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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

// Reads the "<what> file" `path` whole. Only a regular file of at most kMaxListFileBytes is
// read: a device (/dev/zero) or a FIFO would never end, and opening does not wait for a FIFO's
// writer. With `ownerOnly` the file must belong to this user and be private to them. The
// checks are made on the opened file, so a swap after the check cannot slip through.
std::string ReadListFile(const std::string& path, const char* what, bool ownerOnly,
                         std::string& content) {
    const std::string label = std::string("the ") + what + " file '" + path + "'";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return "cannot read " + label + ": " + std::strerror(errno);
    struct stat st {};
    std::string error;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = label + " is not a regular file";
    } else if (ownerOnly && ((st.st_mode & 077) != 0 || st.st_uid != ::geteuid())) {
        error = label + " must belong to you and be readable by you only (chmod 600)";
    } else if (static_cast<unsigned long long>(st.st_size) > kMaxListFileBytes) {
        error = label + " is larger than " + std::to_string(kMaxListFileBytes / 1024) + " KiB";
    } else {
        char buf[4096];
        ssize_t n = 0;
        while (error.empty() && (n = ::read(fd, buf, sizeof buf)) > 0) {
            content.append(buf, static_cast<std::size_t>(n));
            if (content.size() > kMaxListFileBytes)  // it grew while being read
                error = label + " is larger than " + std::to_string(kMaxListFileBytes / 1024) +
                        " KiB";
        }
        if (n < 0 && error.empty())
            error = "cannot read " + label + ": " + std::strerror(errno);
    }
    ::close(fd);
    return error;
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
    // Not ForEachEntry: that trims the line, and blanks around a password are part of it.
    int number = 0;
    for (std::size_t start = 0; start < content.size();) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();  // a CR LF line end
        const std::size_t b = line.find_first_not_of(kBlanks);
        if (b == std::string::npos || line[b] == '#')
            continue;
        const std::size_t blank = line.find_first_of(kBlanks, b);
        const std::string word = line.substr(b, blank == std::string::npos ? blank : blank - b);
        const std::optional<ParsedAddress> parsed = ParseAddress(word);
        if (!parsed)
            return BadAddress(label, number, word);
        const std::string password = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (password.empty())
            return label + " line " + std::to_string(number) + ": no password";
        if (password.find('\r') != std::string::npos || password.find('\0') != std::string::npos)
            return label + " line " + std::to_string(number) +
                   ": a password cannot contain a carriage return or a zero byte";
        FleetGateway g;
        g.address = *parsed;
        out[g.Key()] = password;
    }
    return {};
}

std::string ReadGatewayList(const std::string& path, std::vector<FleetGateway>& out) {
    std::string content;
    if (std::string error = ReadListFile(path, "gateways", false, content); !error.empty())
        return error;
    return ParseGatewayList(content, path, out);
}

std::string ReadPasswordList(const std::string& path, std::map<std::string, std::string>& out) {
    std::string content;
    if (std::string error = ReadListFile(path, "passwords", true, content); !error.empty())
        return error;
    return ParsePasswordList(content, path, out);
}

}  // namespace vorn::cli
