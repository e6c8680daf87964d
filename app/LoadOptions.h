#pragma once
// The process-wide settings read from the options file at start and after the options
// dialog saves.
#include <filesystem>
#include <string>

namespace vorn {

// Used when TELCOM_SERVER / NETCOM_SERVER are absent.
inline constexpr const char* kDefaultTelcomServer = "http://update1.vorn.example.com/updater/";
inline constexpr const char* kDefaultNetcomServer = "http://update2.vorn.example.com/updater/";

struct OptionSettings {
    bool savePackage = true;
    int updateServer = 0;  // 0 automatic, 1 first server, 2 second server
    bool useProxy = false;
    std::string proxyIp;
    std::string proxyPort;  // decimal text
    bool needAuth = false;
    std::string authUser;
    std::string authPassword;  // plain text
    std::string telcomServer = kDefaultTelcomServer;
    std::string netcomServer = kDefaultNetcomServer;
};

// Reads the options file at `path`; values that break their rule give the defaults.
OptionSettings LoadOptions(const std::filesystem::path& path);
// The same for this user's options file (OptionFilePath()).
OptionSettings LoadOptions();

// The process-wide settings: read from the options file when the wizard starts, replaced by
// the values the options dialog accepted (UI thread only).
const OptionSettings& CurrentSettings();
void SetCurrentSettings(const OptionSettings& settings);

}  // namespace vorn
