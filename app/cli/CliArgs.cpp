#include "app/cli/CliArgs.h"

#include <cstdlib>
#include <fstream>

#include "app/ParseAddress.h"
#include "app/cli/CliTerminal.h"
#include "link/CGatewaySession.h"

namespace vorn::cli {

const std::vector<CliOptionSpec>& CommonOptions() {
    static const std::vector<CliOptionSpec> kCommon = {
        {"gateway", 'g', true, "ADDR[:PORT]", "gateway address; port 51111 when absent"},
        {"password-file", 0, true, "FILE",
         "gateway password from the first line of FILE (else $VORN_PASSWORD, else asked)"},
        {"model", 0, true, "N", "device model when the gateway's firmware is damaged"},
        {"series", 0, true, "M", "product series when the gateway's firmware is damaged"},
        {"remember", 0, false, nullptr,
         "after a successful login, remember the address and password (recent list)"},
        {"yes", 0, false, nullptr, "answer Yes/OK to every confirmation"},
        {"json", 0, false, nullptr, "print every line and event as one JSON object per line"},
        {"help", 'h', false, nullptr, "show this help"},
    };
    return kCommon;
}

std::string ParseArgs(const std::vector<std::string>& args, const std::vector<CliOptionSpec>& specs,
                      CliArgs& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            out.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            out.positional.insert(out.positional.end(), args.begin() + static_cast<long>(i) + 1,
                                  args.end());
            break;
        }
        std::string name;
        std::optional<std::string> inlineValue;
        const CliOptionSpec* spec = nullptr;
        if (a[1] == '-') {
            name = a.substr(2);
            if (const std::size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
            for (const CliOptionSpec& s : specs) {
                if (name == s.name)
                    spec = &s;
            }
        } else if (a.size() == 2) {
            for (const CliOptionSpec& s : specs) {
                if (s.shortName && s.shortName == a[1])
                    spec = &s;
            }
        }
        if (!spec) {
            return "unknown option '" + a + "'";
        }
        name = spec->name;
        if (!spec->takesValue) {
            if (inlineValue) {
                return "option '--" + name + "' takes no value";
            }
            out.flags.insert(name);
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                return "option '--" + name + "' needs a value (" + spec->valueName + ")";
            }
            inlineValue = args[++i];
        }
        out.values[name] = *inlineValue;
    }
    return {};
}

bool ParseCount(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::atoi(text.c_str());
    return true;
}

std::string ParseGateway(const std::string& text, std::string& address, std::uint16_t& port) {
    const std::optional<ParsedAddress> parsed = ParseAddress(text);
    if (!parsed) {
        return "bad gateway address '" + text + "' (expected ADDR[:PORT], a dotted IPv4 " +
               "address and a port from 1 to 65535)";
    }
    address = parsed->address;
    port = static_cast<std::uint16_t>(parsed->ConnectPort());
    return {};
}

std::optional<std::string> ReadFirstLine(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read '" + path + "'";
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::optional<std::string> GatewayPassword(const CliArgs& args, CliTerminal& terminal,
                                           std::string& error) {
    if (args.values.count("password-file")) {
        return ReadFirstLine(args.Value("password-file"), error);
    }
    if (const char* env = std::getenv("VORN_PASSWORD")) {
        // The login message is line-based: a line break would add lines of its own.
        if (std::string(env).find_first_of("\r\n") != std::string::npos) {
            error = "VORN_PASSWORD cannot contain line breaks";
            return std::nullopt;
        }
        return std::string(env);
    }
    if (terminal.Available()) {
        if (auto typed = terminal.ReadLine("Gateway password: ", true)) {
            return typed;
        }
    }
    error = "no gateway password: use --password-file FILE, VORN_PASSWORD or a terminal";
    return std::nullopt;
}

}  // namespace vorn::cli
