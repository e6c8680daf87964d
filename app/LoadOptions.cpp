#include "app/LoadOptions.h"

#include "app/OptionsFile.h"
#include "link/CDES.h"

namespace vorn {

OptionSettings LoadOptions(const std::filesystem::path& path) {
    OptionSettings o;
    COptionFile file;
    file.Load(path);
    std::string v;

    file.GetSavePackage(v);
    o.savePackage = v.empty() || v[0] != 'n';

    int server = file.GetUpdateServer();
    o.updateServer = server >= 0 && server <= 2 ? server : 0;

    if (file.GetUseHttpProxy(v) != 0) {
        v = "no";
    }
    o.useProxy = !v.empty() && v[0] == 'y';
    bool proxyOk = file.GetProxyIp(o.proxyIp) == 0;
    int port = proxyOk ? file.GetProxyPort() : kOptionAbsent;
    if (port > 0) {
        o.proxyPort = std::to_string(port);
    } else {
        proxyOk = false;
        o.useProxy = false;
        o.proxyIp.clear();
        o.proxyPort.clear();
    }

    if (proxyOk && file.GetNeedAuth(v) == 0) {
        o.needAuth = !v.empty() && v[0] == 'y';
        std::string hex;
        if (file.GetAuthUsername(o.authUser) != 0 || file.GetAuthPassword(hex) != 0 ||
            !DecodeStoredPassword(hex, o.authPassword)) {
            o.needAuth = false;
            o.authUser.clear();
            o.authPassword.clear();
        }
    }

    if (file.GetTelcomServer(v) == 0 && !v.empty()) {
        o.telcomServer = v;
    }
    if (file.GetNetcomServer(v) == 0 && !v.empty()) {
        o.netcomServer = v;
    }
    return o;
}

OptionSettings LoadOptions() {
    return LoadOptions(OptionFilePath());
}

namespace {
OptionSettings& Settings() {
    static OptionSettings settings;
    return settings;
}
}  // namespace

const OptionSettings& CurrentSettings() {
    return Settings();
}

void SetCurrentSettings(const OptionSettings& settings) {
    Settings() = settings;
}

}  // namespace vorn
