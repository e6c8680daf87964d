#pragma once
// Reads one key of an INI file the way the system's profile-string reader does: section and
// key names compare without regard to letter case, the value is trimmed and loses one pair of
// surrounding double quotes, a missing file, section or key yields `def`, and the result is
// cut to bufferSize - 1 characters (the reader fills a buffer of that size with a terminator).
#include <cstddef>
#include <string>

namespace vorn {

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& def, std::size_t bufferSize,
                             const std::string& file);

}  // namespace vorn
