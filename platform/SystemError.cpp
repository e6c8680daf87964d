#include "platform/SystemError.h"

#include <cstring>

namespace vorn {
namespace {

// strerror_r comes in two shapes; both are handled so the code builds with either.
[[maybe_unused]] const char* Pick(int result, const char* buffer) {
    return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* Pick(const char* result, const char*) { return result; }

}  // namespace

std::string SystemErrorText(int err) {
    char buffer[256] = {};
    const char* text = Pick(strerror_r(err, buffer, sizeof buffer), buffer);
    std::string out = text && *text ? text : "Unknown error " + std::to_string(err);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

}  // namespace vorn
