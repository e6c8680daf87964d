#include "lib/Text.h"

#include <cstdio>
#include <vector>

#include "lib/StringTable.h"

namespace vorn {

std::string StrVPrintf(const char* fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) {
        return std::string();
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string StrPrintf(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = StrVPrintf(fmt, ap);
    va_end(ap);
    return s;
}

std::string FormatStr(int id, ...) {
    va_list ap;
    va_start(ap, id);
    std::string s = StrVPrintf(LoadStr(id), ap);
    va_end(ap);
    return s;
}

}  // namespace vorn
