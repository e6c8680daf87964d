#pragma once
// A scratch program folder for the package fuzz targets, created once per process.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/ProgramFolder.h"

namespace vorn::fuzz {

inline const std::filesystem::path& ScratchFolder() {
    static const std::filesystem::path folder = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vornfuzz-XXXXXX").string();
        const char* made = ::mkdtemp(tmpl.data());
        std::filesystem::path p = made ? made : "/tmp";
        SetProgramFolderForTests(p);
        return p;
    }();
    return folder;
}

}  // namespace vorn::fuzz
