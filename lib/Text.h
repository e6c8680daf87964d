#pragma once
// Small text helpers shared by every layer.
#include <cstdarg>
#include <string>

namespace vorn {

// printf into a std::string.
std::string StrPrintf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string StrVPrintf(const char* fmt, va_list ap);
// Formats a numbered text of the string table with printf arguments.
std::string FormatStr(int id, ...);

}  // namespace vorn
