#pragma once
// The program folder: the folder of the running executable, or VORN_HOME when set.
#include <filesystem>

namespace vorn {

std::filesystem::path ProgramFolder();
// Full path of the running executable as seen from the program folder (the executable's
// file name inside ProgramFolder()); used for the path-length check.
std::filesystem::path ProgramPath();
// Tests and tools may pin the folder explicitly; an empty path returns to the default rule.
void SetProgramFolderForTests(const std::filesystem::path& folder);

}  // namespace vorn
