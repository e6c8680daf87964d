#pragma once
// File facilities the program expects: read-only attribute, replace-existing move.
// The exclusive lock file is platform/FileLock.h.
#include <filesystem>
#include <system_error>

namespace vorn {

// The "read-only attribute": setting it removes every write permission bit, clearing it
// gives the owner write permission back.
bool SetReadOnly(const std::filesystem::path& p, bool readOnly, std::error_code* ec = nullptr);
bool ClearReadOnly(const std::filesystem::path& p);
// True when the owner may not write the file (false also when it does not exist).
bool IsReadOnly(const std::filesystem::path& p);
// Moves `from` over `to` in one step, replacing an existing file (rename(2)).
bool MoveReplace(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::error_code* ec = nullptr);

}  // namespace vorn
