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

std::string AsciiLower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

namespace {

// Finds the next case-insensitive occurrence of `name` and replaces every occurrence of that
// exact spelling, until no further occurrence is left.
void NormalizeOne(std::string& text, const std::string& name) {
    std::size_t from = 0;
    for (;;) {
        const std::size_t hit = AsciiLower(text).find(name, from);
        if (hit == std::string::npos) {
            return;
        }
        const std::string spelling = text.substr(hit, name.size());
        for (std::size_t pos = 0; (pos = text.find(spelling, pos)) != std::string::npos;
             pos += 7) {
            text.replace(pos, spelling.size(), "KELMORA");
        }
        from = hit + 1;
    }
}

}  // namespace

std::string NormalizeVendorName(std::string text) {
    NormalizeOne(text, "kelmora");
    NormalizeOne(text, "dravel");
    return text;
}

}  // namespace vorn
