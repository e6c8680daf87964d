#include "packages/ArchiveAccess.h"

#include <QFile>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "lib/WorkFolders.h"
#include "packages/ZipBridgeLoader.h"
#include "unzip.h"
#include "zipbridge/ArchiveFile.h"
#include "zipbridge/CheckedMember.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// An archive opened for reading; minizip closes the file with the handle.
struct Unzip {
    CArchiveFile file{QString()};
    unzFile handle = nullptr;
    explicit Unzip(const std::string& path) {
        file.SetPath(path);
        handle = unzOpen64(&file);
    }
    ~Unzip() {
        if (handle) {
            unzClose(handle);
        }
    }
};

}  // namespace

int ExtractSingleMember(const std::string& archive, const std::string& password,
                        const std::string& member, const std::string& destination) {
    Unzip zip(archive);
    if (!zip.handle) {
        return UNZ_BADZIPFILE;
    }
    unz_global_info64 gi;
    if (int rc = unzGetGlobalInfo64(zip.handle, &gi); rc != UNZ_OK) {
        return rc;
    }
    int rc = unzGoToFirstFile(zip.handle);
    for (ZPOS64_T i = 0; i < gi.number_entry && rc == UNZ_OK; ++i) {
        unz_file_info64 info;
        char name[65536];
        rc = unzGetCurrentFileInfo64(zip.handle, &info, name, sizeof name, nullptr, 0, nullptr, 0);
        if (rc != UNZ_OK) {
            return rc;
        }
        if (info.size_filename == member.size() &&
            member.compare(0, member.size(), name, info.size_filename) == 0) {
            std::string error;
            return ExtractCheckedMember(zip.handle, zip.file,
                                        password.empty() ? nullptr : password.c_str(), destination,
                                        error);
        }
        rc = unzGoToNextFile(zip.handle);
    }
    return (rc == UNZ_OK || rc == UNZ_END_OF_LIST_OF_FILE) ? 2 : rc;
}

bool ListArchiveMembers(const std::string& archive, std::vector<ArchiveMember>& members) {
    members.clear();
    Unzip zip(archive);
    if (!zip.handle) {
        return false;
    }
    int rc = unzGoToFirstFile(zip.handle);
    for (; rc == UNZ_OK; rc = unzGoToNextFile(zip.handle)) {
        unz_file_info64 info;
        char name[65536];
        if (unzGetCurrentFileInfo64(zip.handle, &info, name, sizeof name, nullptr, 0, nullptr, 0) !=
            UNZ_OK) {
            return false;
        }
        members.push_back({std::string(name, std::min<size_t>(info.size_filename, sizeof name - 1)),
                           info.uncompressed_size, info.compressed_size, (info.flag & 1) != 0});
    }
    return rc == UNZ_END_OF_LIST_OF_FILE;
}

bool ExtractMemberSet(PackageKind kind, const std::string& archive) {
    const bool single = kind == PackageKind::Single;
    const std::string folder = single ? "unpkg" : "compose_unpkg";
    auto extract = [&](const std::string& password, const char* member) {
        return ExtractSingleMember(archive, password, member, WorkPath(member, folder).string());
    };
    auto checked = [](int rc) { return rc == 0 || rc == 2; };

    const char* first = single ? "appversion" : "upgrade.conf";
    std::string password = kPackagePassword;
    int rc = extract(password, first);
    if (rc == 2) {
        return false;
    }
    if (rc != 0) {
        password = kOlderPackagePassword;
        if (!checked(extract(password, first))) {
            return false;
        }
    }
    if (single) {
        if (!checked(extract(password, "package.conf")) ||
            !checked(extract(password, "readme.txt"))) {
            return false;
        }
        extract(password, "apppre");
        extract(password, "updversion");
        return true;
    }
    if (!checked(extract(password, "readme.txt"))) {
        return false;
    }
    return checked(extract(password, "package.conf"));
}

bool ExtractWholePackage(PackageState& state, Operator& op, const std::string& archive,
                         const std::string& folder) {
    const ZipBridgeFunctions* zb = ZipBridgeApi();
    if (!zb) {
        op.AppendConsole("Catch error when ExtractFile:\r\n", kBlack);
        op.AppendConsole("the archive component is not loaded", kRed);
        op.AppendConsole("\n", kBlack);
        return false;
    }
    const std::string dest = WorkPath("", folder).string();
    for (const char* password : {kPackagePassword, kOlderPackagePassword}) {
        std::string pw = password;
        ZbText names[2] = {};
        ZbText comment{};
        int rc = zb->ExtractFile(ZbIn(archive), names, 2, 0, &comment, ZbIn(dest), 1, ZbIn(pw));
        if (rc == ZB_OK) {
            return true;
        }
        if (rc == ZB_ERR_UNSAFE_NAME) {
            // The other password cannot make the names safe.
            state.m_lastErrorText = zb->LastError();
            op.AppendConsole(state.m_lastErrorText + "\n", kRed);
            return false;
        }
    }
    return false;
}

}  // namespace vorn
