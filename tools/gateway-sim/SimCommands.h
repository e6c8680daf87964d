#pragma once
// Commands run by the simulator's "excute" message, looked up in a table: first by the first
// word of the command line, then by matchers in the order they were added. Handlers run on the
// simulator's thread and may write the output a gateway script would leave in the result file.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/gateway-sim/SimFileSystem.h"

namespace vorn {

struct SimCommandRequest {
    std::string line;  // the whole command line as received
    std::string word;  // its first word
    std::string args;  // the rest, leading blanks removed
};

struct SimCommandReply {
    int result = 0;
    std::optional<std::string> msg;         // "msg" line of the reply
    std::optional<std::string> resultText;  // written to the configured result file
    bool reboot = false;                    // close the connection and refuse for a while
};

using SimCommandHandler =
    std::function<SimCommandReply(const SimCommandRequest&, const CSimFileSystem&)>;
using SimCommandMatcher = std::function<bool(const SimCommandRequest&)>;

class CSimCommandTable {
public:
    void Add(const std::string& word, SimCommandHandler handler);
    void AddMatcher(SimCommandMatcher match, SimCommandHandler handler);
    // The handler for a request, or an empty function for an unknown command.
    SimCommandHandler Find(const SimCommandRequest& request) const;

private:
    std::map<std::string, SimCommandHandler> m_byWord;
    std::vector<std::pair<SimCommandMatcher, SimCommandHandler>> m_matchers;
};

// Splits a command line into word and arguments.
SimCommandRequest ParseCommandLine(const std::string& line);
// The built-in commands: "ls PATH" (result 0 when the path exists) and "reboot".
void AddBuiltinCommands(CSimCommandTable& table);

}  // namespace vorn
