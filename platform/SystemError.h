#pragma once
// Text of a system error number (errno), in the user's language where the C library has it.
#include <string>

namespace vorn {

// The C library's message for `err`, without a trailing line break.
std::string SystemErrorText(int err);

}  // namespace vorn
