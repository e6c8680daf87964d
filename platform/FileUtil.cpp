#include "platform/FileUtil.h"

#include <cerrno>
#include <cstdio>

namespace vorn {

namespace fs = std::filesystem;

bool SetReadOnly(const fs::path& p, bool readOnly, std::error_code* ec) {
    std::error_code local;
    std::error_code& e = ec ? *ec : local;
    const fs::perms w = fs::perms::owner_write;
    fs::permissions(p, w, readOnly ? fs::perm_options::remove : fs::perm_options::add, e);
    return !e;
}

bool ClearReadOnly(const fs::path& p) { return SetReadOnly(p, false); }

bool MoveReplace(const fs::path& from, const fs::path& to, std::error_code* ec) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        if (ec) {
            *ec = std::error_code(errno, std::generic_category());
        }
        return false;
    }
    return true;
}

}  // namespace vorn
