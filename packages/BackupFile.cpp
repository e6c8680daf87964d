#include "packages/BackupFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <vector>

#include "lib/Clock.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/ArchiveAccess.h"
#include "packages/SinglePackage.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/DataFile.h"
#include "platform/FileUtil.h"
#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

long long MtimeNs(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        return 0;
    }
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

}  // namespace

int WriteBackupFile(const std::string& target, std::string* error) {
    const ZipBridgeFunctions* zb = ZipBridgeApi();
    if (!zb) {
        if (error) {
            *error = "the archive component is not loaded";
        }
        return ZB_ERR_PARAM;
    }
    // An automatic backup's folder planted as a link would put the file somewhere else.
    if (ReachedThroughLink(target)) {
        if (error) {
            *error = WriteProblemText(target);
        }
        LogWrite("writing the backup " + target + " refused: a symbolic link on its way", kLogError);
        return ZB_ERR_WRITE;
    }
    std::string files[2] = {WorkPath("cfgversion", "tmp").string(),
                            WorkPath("cfgbk", "tmp").string()};
    ZbText list[2] = {ZbIn(files[0]), ZbIn(files[1])};
    std::string comment = kBackupComment;
    std::string password = kOlderPackagePassword;
    const int rc = zb->AddTozipFile(list, 2, ZbIn(target), ZbIn(comment), ZbIn(password));
    if (rc != ZB_OK) {
        const std::string why = zb->LastError();
        LogWrite("writing the backup " + target + " failed: " + why, kLogError);
        if (error) {
            *error = why;
        }
    }
    return rc;
}

void RemoveBackupCopies() {
    for (const char* name : {"cfgbk", "cfgversion"}) {
        const fs::path p = DataFolder() / "tmp" / name;
        std::error_code ec;
        if (fs::is_regular_file(fs::symlink_status(p, ec)) && !fs::remove(p, ec)) {
            LogWrite("delete " + p.string() + " failed: " + ec.message(), kLogWarn);
        }
    }
}

bool VerifyBackupFile(const std::string& path, std::string& savedVersion) {
    savedVersion.clear();
    const ZipBridgeFunctions* zb = ZipBridgeApi();
    if (!zb) {
        return false;
    }
    ClearReadOnly(path);
    ClearWorkFolder("tmp");
    char nameBuf[2][260] = {};
    ZbText names[2] = {{nameBuf[0], 0, sizeof nameBuf[0]}, {nameBuf[1], 0, sizeof nameBuf[1]}};
    std::vector<char> commentBuf(65536);
    ZbText comment{commentBuf.data(), 0, commentBuf.size()};
    if (zb->GetExtractFileInfo(ZbIn(path), names, 2, 0, &comment) != ZB_OK) {
        return false;
    }
    if (std::string(comment.data, comment.size) != kBackupComment) {
        return false;
    }
    const std::string dest = WorkPath("", "tmp").string();
    const std::string password = kOlderPackagePassword;
    if (zb->ExtractFile(ZbIn(path), names, 2, 0, &comment, ZbIn(dest), 1, ZbIn(password)) !=
        ZB_OK) {
        return false;
    }
    return ReadVersionMember(WorkPath("cfgversion", "tmp").string(), false, savedVersion);
}

bool RestoreCheck(Operator& op, const std::string& path, const std::string& gatewayVersion) {
    op.AppendConsole(LoadStr(6519), kBlack);
    std::string saved;
    if (!VerifyBackupFile(path, saved)) {
        op.AppendConsole(LoadStr(6520), kRed);
        return false;
    }
    if (gatewayVersion.empty()) {
        op.AppendConsole(std::string(LoadStr(6514)) + "\n", kRed);
        return false;
    }
    if (saved != gatewayVersion && !op.AskYesNo(FormatStr(6521, saved.c_str()))) {
        op.AppendConsole(LoadStr(6505), kBlack);
        return false;
    }
    return true;
}

std::string DefaultBackupName(const std::string& address) {
    std::tm tm = LocalNow();
    char date[16];
    std::strftime(date, sizeof date, "%Y%m%d", &tm);
    return StrPrintf("kelmora_%s_%s.bcf", address.c_str(), date);
}

std::string FreeBackupName(const std::string& wanted) {
    const fs::path p(wanted);
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(p, ec))) {
        return wanted;
    }
    const std::string stem = p.stem().string();
    const std::string ext = p.extension().string();
    for (int n = 2;; ++n) {
        const fs::path next = p.parent_path() / (stem + "-" + std::to_string(n) + ext);
        if (!fs::exists(fs::symlink_status(next, ec))) {
            return next.string();
        }
    }
}

std::string AutoBackupPath(const std::string& address, const std::string& gatewayVersion,
                           const std::string& fallback) {
    std::string version = gatewayVersion.empty() ? fallback : gatewayVersion;
    for (char& c : version) {
        if (std::string_view("\\/*?:<>|\"").find(c) != std::string_view::npos) {
            c = '-';
        }
    }
    if (version.size() > kMaxVersionInBackupName) {
        std::size_t cut = kMaxVersionInBackupName;
        while (cut > 0 && (static_cast<unsigned char>(version[cut]) & 0xC0) == 0x80) {
            --cut;  // back to the first byte of the character that does not fit
        }
        version.resize(cut);
    }
    std::tm tm = LocalNow();
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%y.%m.%d %H-%M-%S", &tm);
    return FreeBackupName(
        WorkPath(StrPrintf("(%s)%s(%s).bcf", address.c_str(), version.c_str(), stamp), "autobak")
            .string());
}

void PruneAutoBackups(int limit) {
    if (limit < 0) {
        limit = kDefaultAutoBackupLimit;
    }
    std::vector<std::pair<long long, fs::path>> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(WorkPath("", "autobak"), ec)) {
        if (e.path().extension() == ".bcf" && e.is_regular_file(ec)) {
            files.emplace_back(MtimeNs(e.path()), e.path());
        }
    }
    // Oldest first by last write; equal times stay in a fixed order.
    std::sort(files.begin(), files.end());
    for (size_t i = 0; files.size() - i > static_cast<size_t>(limit); ++i) {
        const fs::path& p = files[i].second;
        ClearReadOnly(p);
        std::error_code e;
        if (!fs::remove(p, e) || e) {
            LogWrite("delete " + p.string() + " failed: " + e.message(), kLogWarn);
        }
    }
}

}  // namespace vorn
