#pragma once
// Prefixes of the texts that carry a result with an event (update and check pages, the
// reconnect notice).
#include <string_view>

namespace vorn {

inline constexpr std::string_view kTokenSucceed = "SUCCEED:";
inline constexpr std::string_view kTokenSucceedEnd = "SUCCEED:END";  // whole combined update
inline constexpr std::string_view kTokenFailed = "FAILED:";
inline constexpr std::string_view kTokenFailedLoad = "FAILEDLOAD:";
inline constexpr std::string_view kTokenAbort = "ABORT:";
inline constexpr std::string_view kTokenSingle = "SINGLE:";
inline constexpr std::string_view kTokenCompose = "COMPOSE:";
inline constexpr std::string_view kTokenLogin = "LOGIN:";

// True when `text` begins with `token`.
inline bool HasToken(std::string_view text, std::string_view token) {
    return text.substr(0, token.size()) == token;
}

}  // namespace vorn
