#include "app/OptionDialogRules.h"

#include <string>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "link/CDES.h"

namespace vorn {
namespace {

std::string Trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

OptionProblem Problem(std::string message, OptionField field) {
    return {std::move(message), field, true};
}

}  // namespace

OptionProblem CheckOption(COptionFile& file, const OptionSettings& v, int flags) {
    if (flags > 15 || flags < 0) {
        return Problem("", OptionField::None);
    }
    if (flags & kCheckProxyIp) {
        if (v.proxyIp.empty()) {
            return Problem(LoadStr(6728), OptionField::ProxyIp);
        }
        if (file.SetProxyIp(v.proxyIp) != 0) {
            return Problem(LoadStr(6716), OptionField::ProxyIp);
        }
    }
    if (flags & kCheckProxyPort) {
        if (v.proxyPort.empty()) {
            return Problem(LoadStr(6729), OptionField::ProxyPort);
        }
        if (file.SetProxyPort(v.proxyPort) != 0) {
            return Problem(LoadStr(6717), OptionField::ProxyPort);
        }
    }
    if (flags & kCheckUser) {
        if (v.authUser.empty()) {
            return Problem(LoadStr(6730), OptionField::User);
        }
        std::string reason;
        if (file.SetAuthUsername(v.authUser, &reason) != 0) {
            return Problem(reason + LoadStr(6718), OptionField::User);
        }
    }
    if (flags & kCheckPassword) {
        const std::string hex = EncodeStoredPassword(v.authPassword);
        if (hex.empty()) {
            LogWrite(
                "COptionDlg::CheckOption() CDES::enc occurs an error when save the "
                "proxy-user-password",
                kLogInfo);
            return Problem(LoadStr(6719), OptionField::Password);
        }
        if (file.SetAuthPassword(hex) != 0) {
            return Problem(LoadStr(6719), OptionField::Password);
        }
    }
    return {};
}

OptionProblem AcceptOptions(COptionFile& file, OptionSettings& v,
                            const std::filesystem::path& path) {
    v.proxyIp = Trimmed(v.proxyIp);
    v.authUser = Trimmed(v.authUser);
    if (file.SetUpdateServer(v.updateServer) != 0 ||
        file.SetSavePackage(v.savePackage ? "yes" : "no") != 0) {
        return Problem("", OptionField::None);  // a refused store keeps the dialog open
    }
    const bool auth = v.useProxy && v.needAuth;
    if (v.useProxy) {
        const int flags = auth ? 15 : kCheckProxyIp | kCheckProxyPort;
        if (OptionProblem p = CheckOption(file, v, flags); !p.ok()) {
            return p;
        }
    }
    if (int rc = file.SetNeedAuth(auth ? "yes" : "no"); rc != 0) {
        LogWrite(
            "occurs errors when save the \"NeedAuth\" to the option-file : " + std::to_string(rc),
            kLogInfo);
        return Problem("", OptionField::None);
    }
    if (int rc = file.SetUseHttpProxy(v.useProxy ? "yes" : "no"); rc != 0) {
        LogWrite("occurs errors when save the \"UseHttpProxy\" to the option-file : " +
                     std::to_string(rc),
                 kLogInfo);
        return Problem("", OptionField::None);
    }
    // Changes that do not reach the file would be lost at the next start: say so and where,
    // and keep the dialog open (Cancel leaves it). SaveReplacing has logged the failure.
    if (int rc = file.SaveReplacing(path); rc != 0) {
        return Problem(OptionSaveErrorText(rc, path), OptionField::None);
    }
    return {};
}

}  // namespace vorn
