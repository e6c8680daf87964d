#include "lib/WorkFolders.h"

#include "lib/Log.h"
#include "lib/Text.h"
#include "platform/SystemError.h"
#include "platform/DataFile.h"
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
    MakePrivateFolder(dir);
    KeepFolderPrivate(dir);  // folders of an earlier version were open to everyone
    if (file.empty()) {
        return dir / "";
    }
    fs::path p = dir / file;
    // A link's target may lie outside the working folders: its attributes are not ours.
    std::error_code ec;
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
        if (folder == kLoginErrorFolder && entry.path().filename() == kLoginErrorFile) {
            continue;
        }
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

std::string WriteProblemText(const fs::path& path) {
    const WriteProblem p = FindWriteProblem(path);
    const std::string where = p.where.string();
    switch (p.kind) {
        case WriteProblem::Link:
            return FormatStr(9200, where.c_str());
        case WriteProblem::Owner:
            return FormatStr(9201, where.c_str(), p.owner.c_str());
        case WriteProblem::NotWritable:
            return FormatStr(9202, where.c_str());
        case WriteProblem::NotFolder:
            return FormatStr(9203, where.c_str());
        case WriteProblem::None:
            break;
    }
    return {};
}

std::string FileErrorText(int err, const fs::path& path) {
    std::string text = SystemErrorText(err);
    if (std::string problem = WriteProblemText(path); !problem.empty()) {
        text += "\n" + problem;
    }
    return text;
}

}  // namespace vorn
