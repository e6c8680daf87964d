#pragma once
// What a worker leaves in its own program folder that belongs in the real one: its local
// update history lines and its automatic backups. Only the fleet process writes the real
// folder, so the merges never overlap.
#include <filesystem>

namespace vorn::cli {

// Appends the worker's local history lines to the real one, each line in one write.
void MergeHistory(const std::filesystem::path& scratch);
// Copies the worker's automatic backups into the real folder, then prunes it; a name that is
// taken (two gateways behind one address in the same second) gets a number.
void MergeAutoBackups(const std::filesystem::path& scratch);

}  // namespace vorn::cli
