#include "lib/WorkFolders.h"

#include "lib/Log.h"
#include "platform/FileUtil.h"
#include "platform/ProgramFolder.h"

namespace vorn {

namespace fs = std::filesystem;

fs::path WorkPath(const std::string& file, const std::string& folder) {
    fs::path base = DataFolder();
    if (folder.empty()) {
        return file.empty() ? base : base / file;
    }
    fs::path dir = base / folder;
    std::error_code ec;
    fs::create_directory(dir, ec);
    if (file.empty()) {
        return dir / "";
    }
    fs::path p = dir / file;
    // A link's target may lie outside the working folders: its attributes are not ours.
    if (fs::is_regular_file(fs::symlink_status(p, ec)) ||
        fs::is_directory(fs::symlink_status(p, ec))) {
        ClearReadOnly(p);
    }
    return p;
}

fs::path InstallPath(const std::string& file, const std::string& folder) {
    fs::path dir = folder.empty() ? ProgramFolder() : ProgramFolder() / folder;
    return file.empty() ? dir / "" : dir / file;
}

void ClearWorkFolder(const std::string& folder) {
    fs::path dir = DataFolder() / folder;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        return;
    }
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::error_code e;
        if (!fs::is_symlink(fs::symlink_status(entry.path(), e))) {
            ClearReadOnly(entry.path());
        }
        fs::remove_all(entry.path(), e);
        if (e) {
            LogWrite("delete " + entry.path().string() + " failed: " + e.message(), kLogWarn);
        }
    }
}

}  // namespace vorn
