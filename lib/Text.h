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
// ASCII letters to lower case; other bytes unchanged.
std::string AsciiLower(std::string s);
// Vendor-name normalisation of version texts: every spelling of "kelmora" and "dravel", in any
// letter case, becomes "KELMORA", so gateway and package versions compare independently of it.
std::string NormalizeVendorName(std::string text);

}  // namespace vorn
