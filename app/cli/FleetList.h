#pragma once
// The input files of the fleet commands: the gateways file (one gateway per line, "ADDR[:PORT]"
// and an optional name) and the per-gateway passwords file ("ADDR[:PORT] PASSWORD", owner-only).
// Both must be regular files of at most kMaxListFileBytes.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "app/ParseAddress.h"

namespace vorn::cli {

struct FleetGateway {
    int line = 0;      // line of the gateways file
    std::string text;  // the address as written
    ParsedAddress address;
    std::string name;  // "" when the line names none
    // "ADDR:PORT" with the port the connection uses: one key per gateway, however spelled.
    std::string Key() const {
        return address.address + ":" + std::to_string(address.ConnectPort());
    }
};

// The gateways and passwords files are small text files: anything larger is refused.
inline constexpr std::size_t kMaxListFileBytes = 1 << 20;

// Parses the text of a gateways file. Blank lines and lines starting with "#" are skipped;
// every other line must start with an address ParseAddress accepts. A gateway listed twice
// is refused too (two connections to one gateway would fight). Returns the error text naming
// `label` and the line, or "".
std::string ParseGatewayList(const std::string& content, const std::string& label,
                             std::vector<FleetGateway>& out);
std::string ReadGatewayList(const std::string& path, std::vector<FleetGateway>& out);

// Reads a passwords file into Key() -> password. Refused unless it is a regular file that
// only its owner can read or write. The password is the rest of its line after the address
// and the one blank or tab that follows it, byte for byte (blanks included); only a carriage
// return right before the line feed belongs to the line end. Returns the error text, or "".
std::string ReadPasswordList(const std::string& path, std::map<std::string, std::string>& out);
std::string ParsePasswordList(const std::string& content, const std::string& label,
                              std::map<std::string, std::string>& out);

}  // namespace vorn::cli
