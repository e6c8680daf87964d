// Archive reading on arbitrary bytes: member listing, single-member extraction and the
// archive component's whole extraction, which must never write outside its folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/FuzzProgramFolder.h"
#include "packages/ArchiveAccess.h"
#include "zipbridge/ZipBridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace fs = std::filesystem;
    const auto& home = vorn::fuzz::ScratchFolder();
    const std::string archive = (home / "input.zip").string();
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::vector<vorn::ArchiveMember> members;
    vorn::ListArchiveMembers(archive, members);
    const fs::path box = home / "box" / "dest";
    fs::remove_all(home / "box");
    fs::create_directories(box);
    vorn::ExtractSingleMember(archive, vorn::kPackagePassword, "appversion",
                              (box / "appversion").string());
    std::string dest = box.string() + "/";
    std::string password = vorn::kPackagePassword;
    ZbText names[2] = {};
    ZbText comment{};
    ExtractFile(ZbText{const_cast<char*>(archive.data()), archive.size(), 0}, names, 2, 0, &comment,
                ZbText{dest.data(), dest.size(), 0}, 1,
                ZbText{password.data(), password.size(), 0});
    // Nothing may appear beside the destination folder.
    for (const auto& e : fs::directory_iterator(home / "box")) {
        if (e.path() != box)
            std::abort();
    }
    return 0;
}
