#include "tools/gateway-sim/SimCommands.h"

namespace vorn {

void CSimCommandTable::Add(const std::string& word, SimCommandHandler handler) {
    m_byWord[word] = std::move(handler);
}

void CSimCommandTable::AddMatcher(SimCommandMatcher match, SimCommandHandler handler) {
    m_matchers.emplace_back(std::move(match), std::move(handler));
}

SimCommandHandler CSimCommandTable::Find(const SimCommandRequest& request) const {
    if (auto it = m_byWord.find(request.word); it != m_byWord.end()) {
        return it->second;
    }
    for (const auto& [match, handler] : m_matchers) {
        if (match(request)) {
            return handler;
        }
    }
    return {};
}

SimCommandRequest ParseCommandLine(const std::string& line) {
    SimCommandRequest r;
    r.line = line;
    const auto begin = line.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return r;
    }
    const auto end = line.find_first_of(" \t", begin);
    r.word = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    if (end != std::string::npos) {
        const auto args = line.find_first_not_of(" \t", end);
        if (args != std::string::npos) {
            r.args = line.substr(args);
        }
    }
    return r;
}

namespace {

// A single argument, with one pair of surrounding quotes removed.
std::string Unquote(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
    if (s.size() >= 2 && (s.front() == '\'' || s.front() == '"') && s.back() == s.front()) {
        s = s.substr(1, s.size() - 2);
    }
    return s;
}

SimCommandReply Ls(const SimCommandRequest& req, const CSimFileSystem& fs) {
    SimCommandReply reply;
    const std::string path = Unquote(req.args);
    if (path.empty()) {
        return reply;
    }
    if (!fs.Exists(path)) {
        reply.result = 1;
        reply.msg = "ls: " + path + ": No such file or directory";
    }
    return reply;
}

SimCommandReply Reboot(const SimCommandRequest&, const CSimFileSystem&) {
    SimCommandReply reply;
    reply.reboot = true;
    return reply;
}

}  // namespace

void AddBuiltinCommands(CSimCommandTable& table) {
    table.Add("ls", Ls);
    table.Add("reboot", Reboot);
}

}  // namespace vorn
