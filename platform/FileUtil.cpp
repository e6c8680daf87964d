#include "platform/FileUtil.h"

#include <cerrno>
#include <cstdio>

namespace vorn {

namespace fs = std::filesystem;

bool SetReadOnly(const fs::path& p, bool readOnly, std::error_code* ec) {
    std::error_code local;
    std::error_code& e = ec ? *ec : local;
    e.clear();
    if (readOnly) {
        fs::permissions(p, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove, e);
    } else {
        fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, e);
    }
    return !e;
}

bool ClearReadOnly(const fs::path& p) { return SetReadOnly(p, false); }

bool IsReadOnly(const fs::path& p) {
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    return !ec && fs::exists(st) && (st.permissions() & fs::perms::owner_write) == fs::perms::none;
}

bool MoveReplace(const fs::path& from, const fs::path& to, std::error_code* ec) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        if (ec) {
            *ec = std::error_code(errno, std::generic_category());
        }
        return false;
    }
    if (ec) {
        ec->clear();
    }
    return true;
}

}  // namespace vorn
