#include "app/OptionsFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <initializer_list>

#include "app/ParseAddress.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "platform/DataFile.h"
#include "platform/FileUtil.h"
#include "platform/ProgramFolder.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxUsernameBytes = 128;
constexpr std::size_t kMaxPasswordHex = 512;
constexpr std::size_t kMaxServerText = 199;

std::string Canonical(std::string_view name) {
    const char* blanks = " \t\r\n";
    std::size_t b = name.find_first_not_of(blanks);
    if (b == std::string_view::npos) {
        return std::string();
    }
    std::size_t e = name.find_last_not_of(blanks);
    std::string out(name.substr(b, e - b + 1));
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) {
        return {};
    }
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

bool AllowedKey(const std::string& section, const std::string& key) {
    auto in = [&](std::initializer_list<const char*> keys) {
        return std::any_of(keys.begin(), keys.end(), [&](const char* k) { return key == k; });
    };
    if (section == kSecUpdateOption) {
        return in({"SAVE_PACKAGE"});
    }
    if (section == kSecNetworkConfig) {
        return in({"UPDATE_SERVER", "USE_HTTP_PROXY", "PROXY_IP", "PROXY_PORT", "NEED_AUTH",
                   "AUTH_USERNAME", "AUTH_PASSWORD", "TELCOM_SERVER", "NETCOM_SERVER"});
    }
    if (section == kSecUpdateDevice) {
        return in({"UPDATE_TYPE"});
    }
    return section == kSecAutoBak;  // any keys
}

bool ParseInt(std::string_view text, long& out) {
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
    }
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool YesNo(std::string_view v) {
    return v == "yes" || v == "no";
}
bool AnyText(std::string_view) {
    return true;
}
bool ProxyIp(std::string_view v) {
    return ParseDottedAddress(v).has_value();
}
bool ReadableUsername(std::string_view v) {
    return v.size() <= kMaxUsernameBytes && v.find(':') == std::string_view::npos;
}
bool PasswordHex(std::string_view v) {
    return !v.empty() && v.size() <= kMaxPasswordHex && std::all_of(v.begin(), v.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
}
bool ServerText(std::string_view v) {
    return v.size() <= kMaxServerText;
}
bool UpdateType(std::string_view v) {
    return v == "local" || v == "online";
}

}  // namespace

bool IsValidProxyUsername(std::string_view name, std::string* reason) {
    if (name.find_first_of("\\/:*?<>|") != std::string_view::npos) {
        if (reason) {
            *reason = LoadStr(6792);
        }
        return false;
    }
    // Texts are UTF-8 here, so the byte count is the length the proxy will see.
    if (name.size() > kMaxUsernameBytes) {
        if (reason) {
            *reason = LoadStr(6791);
        }
        return false;
    }
    return true;
}

fs::path OptionFilePath() {
    return DataFolder() / kOptionFileName;
}

int AutoBackupLimit() {
    COptionFile options;
    options.Load();
    return options.AutoBackupLimit();
}

std::string OptionSaveErrorText(int err, const fs::path& path) {
    return FormatStr(9206, path.string().c_str(), FileErrorText(err, path).c_str());
}

int COptionFile::Load() {
    return Load(OptionFilePath());
}

int COptionFile::SaveReplacing() {
    return SaveReplacing(OptionFilePath());
}

int COptionFile::AutoBackupLimit() const {
    const int n = GetAutobakNum();
    return n >= 0 ? n : kDefaultAutoBackupLimit;
}

COptionFile::COptionFile() {
    // The file holds an enciphered password under a fixed key: owner only.
    m_ini.SetFileMode(0600);
}

int COptionFile::Load(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int err = errno;
        m_ini.Load(path);  // keeps the path; the store stays empty
        return err == ENOENT ? 1 : 0;
    }
    if (S_ISDIR(st.st_mode) || m_ini.Load(path) != 0) {
        return 0;
    }
    for (const std::string& section : m_ini.ListSections()) {
        std::string s = Canonical(section);
        if (s != kSecUpdateOption && s != kSecNetworkConfig && s != kSecUpdateDevice &&
            s != kSecAutoBak) {
            return 0;
        }
        for (const std::string& key : m_ini.ListKeys(section)) {
            if (!AllowedKey(s, Canonical(key))) {
                return 0;
            }
        }
    }
    return 1;
}

int COptionFile::Save(const fs::path& path) {
    return m_ini.Save(path);
}

int COptionFile::SaveReplacing(const fs::path& path) {
    fs::path tmp = path;
    tmp += ".tmp";
    if (ReachedThroughLink(path)) {
        LogWrite("the option-file is a symbolic link, not replaced: " + path.string(), kLogInfo);
        return ELOOP;
    }
    if (m_ini.Save(tmp) != 0) {
        int err = errno ? errno : EIO;
        LogWrite(StrPrintf("occurs errors when save the option-file : %d", err), kLogInfo);
        return err;
    }
    std::error_code ec;
    if (!MoveReplace(tmp, path, &ec)) {
        LogWrite(StrPrintf("MoveFileEx() occurs errors when Save the option-file : %lu",
                           static_cast<unsigned long>(ec.value())),
                 kLogInfo);
        std::error_code ignore;
        fs::remove(tmp, ignore);
        return ec.value() ? ec.value() : EIO;
    }
    return 0;
}

bool COptionFile::Raw(std::string_view section, std::string_view key, std::string& out) const {
    std::string s = Canonical(section);
    std::string k = Canonical(key);
    for (const std::string& name : m_ini.ListSections()) {
        if (Canonical(name) != s) {
            continue;
        }
        for (const std::string& folded : m_ini.ListKeys(name)) {
            if (Canonical(folded) == k) {
                out = std::string(Trim(*m_ini.Find(name, folded)));
                return true;
            }
        }
    }
    return false;
}

int COptionFile::GetText(std::string_view section, std::string_view key, std::string& out,
                         bool (*accept)(std::string_view)) const {
    out.clear();
    std::string v;
    if (!Raw(section, key, v)) {
        return kOptionAbsent;
    }
    if (!accept(v)) {
        return kOptionOutOfRange;
    }
    out = std::move(v);
    return 0;
}

int COptionFile::GetSavePackage(std::string& out) const {
    return GetText(kSecUpdateOption, "SAVE_PACKAGE", out, AnyText);
}

int COptionFile::GetUpdateServer() const {
    std::string v;
    if (!Raw(kSecNetworkConfig, "UPDATE_SERVER", v)) {
        return kOptionAbsent;
    }
    long n = 0;
    return ParseInt(v, n) && n >= 0 && n <= 2 ? static_cast<int>(n) : kOptionOutOfRange;
}

int COptionFile::GetUseHttpProxy(std::string& out) const {
    return GetText(kSecNetworkConfig, "USE_HTTP_PROXY", out, AnyText);
}

int COptionFile::GetProxyIp(std::string& out) const {
    return GetText(kSecNetworkConfig, "PROXY_IP", out, ProxyIp);
}

int COptionFile::GetProxyPort() const {
    std::string v;
    if (!Raw(kSecNetworkConfig, "PROXY_PORT", v)) {
        return kOptionAbsent;
    }
    long n = 0;
    return ParseInt(v, n) && n >= 1 && n <= 65535 ? static_cast<int>(n) : kOptionOutOfRange;
}

int COptionFile::GetNeedAuth(std::string& out) const {
    return GetText(kSecNetworkConfig, "NEED_AUTH", out, AnyText);
}

int COptionFile::GetAuthUsername(std::string& out) const {
    return GetText(kSecNetworkConfig, "AUTH_USERNAME", out, ReadableUsername);
}

int COptionFile::GetAuthPassword(std::string& out) const {
    return GetText(kSecNetworkConfig, "AUTH_PASSWORD", out, PasswordHex);
}

int COptionFile::GetTelcomServer(std::string& out) const {
    return GetText(kSecNetworkConfig, "TELCOM_SERVER", out, ServerText);
}

int COptionFile::GetNetcomServer(std::string& out) const {
    return GetText(kSecNetworkConfig, "NETCOM_SERVER", out, ServerText);
}

int COptionFile::GetUpdateType(std::string& out) const {
    return GetText(kSecUpdateDevice, "UPDATE_TYPE", out, UpdateType);
}

int COptionFile::GetAutobakNum() const {
    std::string v;
    if (!Raw(kSecAutoBak, "AUTOBAK_NUM", v)) {
        return kOptionAbsent;
    }
    long n = 0;
    return ParseInt(v, n) && n >= 0 && n <= 0x7FFFFFFF ? static_cast<int>(n) : kOptionOutOfRange;
}

// Writes under the section and key as the file names them (so a padded or lower-case name
// is replaced, not duplicated), or under the canonical names when they are new.
int COptionFile::Set(std::string_view section, std::string_view key, std::string_view value,
                     bool accepted, int writeError) {
    if (!accepted) {
        return kOptionBadValue;
    }
    std::string s = Canonical(section);
    std::string k = Canonical(key);
    std::string sectionName(section);
    for (const std::string& name : m_ini.ListSections()) {
        if (Canonical(name) == s) {
            sectionName = name;
            for (const std::string& folded : m_ini.ListKeys(name)) {
                if (Canonical(folded) == k) {
                    m_ini.RemoveKey(name, folded);
                }
            }
            break;
        }
    }
    return m_ini.SetString(sectionName, key, value) == 0 ? 0 : writeError;
}

int COptionFile::SetSavePackage(std::string_view v) {
    return Set(kSecUpdateOption, "SAVE_PACKAGE", v, YesNo(v), 33);
}

int COptionFile::SetUpdateServer(int v) {
    return Set(kSecNetworkConfig, "UPDATE_SERVER", std::to_string(v), v >= 0 && v <= 2, 34);
}

int COptionFile::SetUseHttpProxy(std::string_view v) {
    return Set(kSecNetworkConfig, "USE_HTTP_PROXY", v, YesNo(v), 35);
}

int COptionFile::SetNeedAuth(std::string_view v) {
    return Set(kSecNetworkConfig, "NEED_AUTH", v, YesNo(v), 36);
}

int COptionFile::SetUpdateType(std::string_view v) {
    return Set(kSecUpdateDevice, "UPDATE_TYPE", v, UpdateType(v), 37);
}

int COptionFile::SetProxyPort(std::string_view v) {
    long n = 0;
    bool ok = ParseInt(v, n) && n >= 1 && n <= 65535 && std::to_string(n) == v;
    return Set(kSecNetworkConfig, "PROXY_PORT", v, ok, 38);
}

int COptionFile::SetProxyIp(std::string_view v) {
    return Set(kSecNetworkConfig, "PROXY_IP", v, IsFullDottedAddress(v), 39);
}

int COptionFile::SetAuthUsername(std::string_view v, std::string* reason) {
    return Set(kSecNetworkConfig, "AUTH_USERNAME", v, IsValidProxyUsername(v, reason), 40);
}

int COptionFile::SetAuthPassword(std::string_view hex) {
    return Set(kSecNetworkConfig, "AUTH_PASSWORD", hex, PasswordHex(hex), 41);
}

}  // namespace vorn
