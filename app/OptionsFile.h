#pragma once
// The options file "updaterconf.ini": where it is (the data folder), its sections and keys,
// the rule each value must follow, the defaults of the values that are not read through
// LoadOptions, and the check of the whole file. Every reader and writer (start-up, the
// desktop program, the command line, the fleet) goes through COptionFile. Section and key
// names are compared after trimming blanks and converting to upper case.
//
// Integer readers return the value, kOptionAbsent (-48) when the key is absent or
// kOptionOutOfRange (-18) when the value breaks its rule. Text readers return 0 with the
// value, or one of those codes with `out` cleared. Setters return 0, 16 for a value that
// breaks its rule, or the key's write-failure code (33-41).
#include <filesystem>
#include <string>
#include <string_view>

#include "lib/IniFile.h"

namespace vorn {

inline constexpr int kOptionAbsent = -48;
inline constexpr int kOptionOutOfRange = -18;
inline constexpr int kOptionBadValue = 16;

inline constexpr const char* kOptionFileName = "updaterconf.ini";
inline constexpr const char* kSecUpdateOption = "OPTION_UPDATE_OPTION";
inline constexpr const char* kSecNetworkConfig = "OPTION_NETWORK_CONFIG";
inline constexpr const char* kSecUpdateDevice = "UPDATE_DEVICE";
inline constexpr const char* kSecAutoBak = "AUTO_BAK";

// This user's options file: "updaterconf.ini" in the data folder.
std::filesystem::path OptionFilePath();

class COptionFile {
public:
    COptionFile();

    // Load and SaveReplacing of this user's options file (OptionFilePath()).
    int Load();
    int SaveReplacing();

    // 1 when the file is valid or absent, 0 when it is damaged (a folder, unreadable, a
    // section other than the four, or a key that its section does not allow).
    int Load(const std::filesystem::path& path);
    // Writes the whole store to `path` (always, even when nothing changed). 0 or -1.
    int Save(const std::filesystem::path& path);
    // The safe rewrite: Save to `path` + ".tmp", then move that over `path`. 0, or the
    // error number of the failed step (the failed move is logged). A symbolic link at `path`
    // in the data folder is neither replaced nor written through (ELOOP).
    int SaveReplacing(const std::filesystem::path& path);

    int GetSavePackage(std::string& out) const;
    int GetUpdateServer() const;
    int GetUseHttpProxy(std::string& out) const;
    int GetProxyIp(std::string& out) const;
    int GetProxyPort() const;
    int GetNeedAuth(std::string& out) const;
    int GetAuthUsername(std::string& out) const;
    int GetAuthPassword(std::string& out) const;  // the enciphered form (hexadecimal)
    int GetTelcomServer(std::string& out) const;
    int GetNetcomServer(std::string& out) const;
    int GetUpdateType(std::string& out) const;
    int GetAutobakNum() const;
    // AUTOBAK_NUM as the number of automatic backups to keep: kDefaultAutoBackupLimit when
    // it is absent or negative.
    int AutoBackupLimit() const;

    int SetSavePackage(std::string_view value);
    int SetUpdateServer(int value);
    int SetUseHttpProxy(std::string_view value);
    int SetProxyIp(std::string_view value);
    int SetProxyPort(std::string_view value);
    int SetNeedAuth(std::string_view value);
    // On 16, `reason` (when given) gets string 6792 or 6791.
    int SetAuthUsername(std::string_view value, std::string* reason = nullptr);
    int SetAuthPassword(std::string_view hex);
    int SetUpdateType(std::string_view value);

    const IniFile& Ini() const { return m_ini; }

private:
    // The value under the section and key as named in the file, trimmed.
    bool Raw(std::string_view section, std::string_view key, std::string& out) const;
    int GetText(std::string_view section, std::string_view key, std::string& out,
                bool (*accept)(std::string_view)) const;
    int Set(std::string_view section, std::string_view key, std::string_view value, bool accepted,
            int writeError);

    IniFile m_ini;
};

// The number of automatic backups to keep, from this user's options file.
int AutoBackupLimit();
// Text 9206 for a failed save of the options file at `path` with system error `err`: the
// file, the system's text, and what is in the way.
std::string OptionSaveErrorText(int err, const std::filesystem::path& path = OptionFilePath());

// Texts a user name setter refuses: one of "\/:*?<>|", or more than 128 bytes as UTF-8.
bool IsValidProxyUsername(std::string_view name, std::string* reason);

}  // namespace vorn
