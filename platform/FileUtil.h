#pragma once
// File facilities the program expects: read-only attribute, replace-existing move,
// exclusive open with an advisory lock.
#include <filesystem>
#include <system_error>

namespace vorn {

// Clears or sets the write permission bits (the "read-only attribute").
bool SetReadOnly(const std::filesystem::path& p, bool readOnly, std::error_code* ec = nullptr);
bool ClearReadOnly(const std::filesystem::path& p);
// Moves `from` over `to` in one step, replacing an existing file (rename(2)).
bool MoveReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::error_code* ec = nullptr);

}  // namespace vorn
