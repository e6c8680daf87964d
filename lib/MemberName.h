#pragma once
// The one rule for names of files inside a package or an archive (header only: the archive
// component uses it too): not empty, not absolute, and no ".." part, whichever separator is
// used, so a name cannot reach outside the folder it is extracted to or looked up in.
#include <cstddef>
#include <string_view>

namespace vorn {

inline bool SafeMemberName(std::string_view name) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (name.substr(start, i - start) == "..") {
                return false;
            }
            start = i + 1;
        }
    }
    return true;
}

}  // namespace vorn
