#include "tools/gateway-sim/SimScripts.h"

#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <vector>

#include "tools/gateway-sim/CGatewaySim.h"

namespace vorn {
namespace fs = std::filesystem;

namespace {

const char* const kScriptFolders[] = {"/var/vorncmd/", "/etc/vorncmd/", "/usr/sbin/", "/sbin/"};
const char kFactoryRecordStart[] = "if [ -L /config/etc ]; then UPDHISTORY=";
const char kHistoryShow[] =
    "if [ -L /config/etc ]; then cat /app/updhistory; else cat /updhistory; fi";
const char kCfgbkHeader[] = "#sim cfgbk\n";

bool InScriptFolder(const std::string& path) {
    for (const char* folder : kScriptFolders) {
        if (path.rfind(folder, 0) == 0 && path.size() > std::string(folder).size()) {
            return true;
        }
    }
    return false;
}

std::string BaseName(const std::string& path) {
    return path.substr(path.find_last_of('/') + 1);
}

// The value after a marker line "#sim: KEY " in a text.
bool MarkerValue(const std::string& text, const std::string& key, std::string& value) {
    const std::string marker = "#sim: " + key;
    std::size_t pos = 0;
    while ((pos = text.find(marker, pos)) != std::string::npos) {
        if (pos == 0 || text[pos - 1] == '\n') {
            std::size_t end = text.find('\n', pos);
            value = text.substr(pos + marker.size(), end == std::string::npos
                                                         ? std::string::npos
                                                         : end - pos - marker.size());
            if (!value.empty() && value[0] == ' ')
                value.erase(0, 1);
            if (!value.empty() && value.back() == '\r')
                value.pop_back();
            return true;
        }
        ++pos;
    }
    return false;
}

// MarkerValue over a file, line by line, without holding the file whole: application images
// are hundreds of megabytes.
bool FileMarkerValue(const fs::path& path, const std::string& key, std::string& value) {
    std::ifstream in(path, std::ios::binary);
    const std::string marker = "#sim: " + key;
    std::string line;       // the current line while it can still be the marker line
    bool skipping = false;  // the current line cannot be it: look for its end only
    std::vector<char> buf(1 << 20);
    while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0) {
        const char* p = buf.data();
        const char* end = p + in.gcount();
        while (p < end) {
            if (skipping) {
                p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
                if (!p) {
                    break;
                }
                ++p;
                skipping = false;
                continue;
            }
            const char c = *p++;
            if (c == '\n') {
                if (MarkerValue(line, key, value)) {
                    return true;
                }
                line.clear();
                continue;
            }
            line += c;
            if (line.size() <= marker.size() && marker.compare(0, line.size(), line) != 0) {
                line.clear();
                skipping = true;
            }
        }
    }
    return !skipping && MarkerValue(line, key, value);
}

std::string DateText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S UTC %Y", &tm);
    return buf;
}

void AppendFile(const CSimFileSystem& fs, const std::string& path, const std::string& text) {
    std::string old;
    fs.ReadFile(path, old);
    fs.WriteFile(path, old + text);
}

SimCommandReply Failure(const std::string& text) {
    SimCommandReply r;
    r.result = 1;
    r.resultText = text.empty() || text.back() == '\n' ? text : text + "\n";
    return r;
}

SimCommandReply RunScript(const SimCommandRequest& req, const CSimFileSystem& fs,
                          const SimScriptOptions& options) {
    const std::string path = req.word;
    const std::string name = BaseName(path);
    std::string script;
    fs.ReadFile(path, script);
    std::string failText;
    if (MarkerValue(script, "fail", failText)) {
        return Failure(failText);
    }
    for (const std::string& key : {path, name}) {
        if (auto it = options.failing.find(key); it != options.failing.end()) {
            return Failure(it->second.empty() ? name + " failed" : it->second);
        }
    }
    SimCommandReply ok;
    if (name == "bakcfgsh") {
        std::string cfg;
        if (!fs.ReadFile("/config/cfg", cfg)) {
            cfg = "hostname=gateway\n";
            fs.WriteFile("/config/cfg", cfg);
        }
        if (!fs.Exists("/config/cfgversion")) {
            std::string version;
            fs.ReadFile("/app/appversion", version);
            fs.WriteFile("/config/cfgversion", version.substr(0, version.find('\n')) + "\n");
        }
        fs.WriteFile("/stmp/cfgbk", kCfgbkHeader + cfg);
    } else if (name == "rcovcfgsh") {
        std::string image;
        if (!fs.ReadFile("/stmp/cfgbk", image) || image.rfind(kCfgbkHeader, 0) != 0) {
            return Failure("rcovcfgsh: /stmp/cfgbk is not a configuration backup");
        }
        fs.WriteFile("/config/cfg", image.substr(sizeof kCfgbkHeader - 1));
    } else if (name == "cfgsh") {
        std::string cfg;
        if (!fs.ReadFile("/stmp/cfg", cfg)) {
            return Failure("cfgsh: no default configuration in /stmp/cfg");
        }
        fs.WriteFile("/config/cfg", cfg);
    } else if (name == "appsh") {
        const fs::path image = fs.Resolve("/stmp/app");
        std::error_code ec;
        if (image.empty() || !fs::is_regular_file(image, ec)) {
            return Failure("appsh: no application image in /stmp/app");
        }
        const std::uintmax_t size = fs::file_size(image, ec);
        if (ec) {
            return Failure("appsh: no application image in /stmp/app");
        }
        AppendFile(fs, "/app/installed", std::to_string(size) + " bytes installed\n");
        std::string version;
        if (FileMarkerValue(image, "version", version)) {
            fs.WriteFile("/app/.appversion.pending", version + "\n");
        }
    } else if (name == "updhistory.sh") {
        const std::vector<std::string> words = SplitShellWords(req.args);
        const std::string package = words.empty() ? "" : words[0];
        AppendFile(fs, SimHistoryFile(fs),
                   "update time: " + DateText() + "\npackage name: " + package + "\n\n");
    }
    return ok;
}

// The package name of the factory record: the shell word after "echo 'package name: ".
SimCommandReply FactoryRecord(const SimCommandRequest& req, const CSimFileSystem& fs) {
    const std::string marker = "echo 'package name: ";
    const std::size_t at = req.line.find(marker);
    if (at == std::string::npos) {
        return Failure("sh: syntax error");
    }
    const std::size_t wordStart = at + 5;  // the opening quote
    std::size_t end = wordStart;
    bool inSingle = false;
    for (; end < req.line.size(); ++end) {
        const char c = req.line[end];
        if (c == '\'')
            inSingle = !inSingle;
        else if (!inSingle && (c == ' ' || c == '>'))
            break;
        else if (!inSingle && c == '\\')
            ++end;
    }
    const std::vector<std::string> words =
        SplitShellWords(req.line.substr(wordStart, end - wordStart));
    const std::string text = words.empty() ? "" : words[0];
    AppendFile(fs, SimHistoryFile(fs), "default conf time: " + DateText() + "\n" + text + "\n\n");
    SimCommandReply r;
    r.resultText = "done\n";
    return r;
}

}  // namespace

std::vector<std::string> SplitShellWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool have = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (have)
                words.push_back(word);
            word.clear();
            have = false;
        } else if (c == '\'') {
            have = true;
            const std::size_t close = text.find('\'', i + 1);
            word +=
                text.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            i = close == std::string::npos ? text.size() : close;
        } else if (c == '"') {
            have = true;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size() &&
                    std::string("\"\\$`").find(text[i + 1]) != std::string::npos) {
                    ++i;
                }
                word += text[i];
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            have = true;
            word += text[++i];
        } else {
            have = true;
            word += c;
        }
    }
    if (have)
        words.push_back(word);
    return words;
}

std::string SimHistoryFile(const CSimFileSystem& fs) {
    const fs::path link = fs.Root() / "config" / "etc";
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(link, ec)) ? "/app/updhistory" : "/updhistory";
}

bool MakeConfigEtcLink(const fs::path& root) {
    std::error_code ec;
    fs::create_directories(root / "etc", ec);
    fs::create_directories(root / "config", ec);
    fs::remove(root / "config" / "etc", ec);
    fs::create_directory_symlink("../etc", root / "config" / "etc", ec);
    return !ec;
}

void AddScriptCommands(CGatewaySim& sim, const SimScriptOptions& options) {
    auto opts = std::make_shared<SimScriptOptions>(options);
    sim.AddCommandMatcher(
        [](const SimCommandRequest& req) { return req.line.rfind(kFactoryRecordStart, 0) == 0; },
        FactoryRecord);
    sim.AddCommandMatcher([](const SimCommandRequest& req) { return req.line == kHistoryShow; },
                          [](const SimCommandRequest&, const CSimFileSystem& fs) {
                              const std::string file = SimHistoryFile(fs);
                              SimCommandReply r;
                              std::string text;
                              if (!fs.ReadFile(file, text)) {
                                  return Failure("cat: " + file + ": No such file or directory");
                              }
                              r.resultText = text;
                              return r;
                          });
    sim.AddCommandMatcher(
        [root = sim.Root()](const SimCommandRequest& req) {
            if (!InScriptFolder(req.word))
                return false;
            CSimFileSystem fs(root);
            const fs::path local = fs.Resolve(req.word);
            std::error_code ec;
            return !local.empty() && fs::is_regular_file(local, ec);
        },
        [opts](const SimCommandRequest& req, const CSimFileSystem& fs) {
            return RunScript(req, fs, *opts);
        });
    // A restart brings an installed firmware version into effect.
    sim.AddCommand("reboot", [](const SimCommandRequest&, const CSimFileSystem& fs) {
        std::string pending;
        if (fs.ReadFile("/app/.appversion.pending", pending)) {
            fs.WriteFile("/app/appversion", pending);
            fs.Remove("/app/.appversion.pending");
        }
        SimCommandReply r;
        r.reboot = true;
        return r;
    });
}

}  // namespace vorn
