#include "packages/PreparedPackage.h"

#include <sys/statvfs.h>

#include <fstream>
#include <map>
#include <mutex>
#include <vector>

#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/ArchiveAccess.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/SinglePackage.h"
#include "platform/DataFile.h"
#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMembersFolder = "members";
constexpr const char* kMembersIndex = "index";

struct Prepared {
    std::mutex mutex;
    bool inUse = false;
    fs::path folder;
    std::map<std::string, std::string> members;  // member name -> its folder under "members"
    std::string current;                         // file name of the package in "unpkg"
};

Prepared& State() {
    static Prepared p;
    return p;
}

std::string Mb(std::uint64_t bytes) {
    return std::to_string((bytes + (1 << 20) - 1) >> 20) + " MB";
}

// The members of `archive` fit into the free space of `folder`'s file system.
bool RoomFor(const std::string& archive, const fs::path& folder, std::string& error) {
    std::uint64_t need = 0, free = 0;
    if (!UnpackedSize(archive, need)) {
        error = "cannot read the member list of " + PackageFileName(archive);
        return false;
    }
    if (FreeSpace(folder, free) && free < need) {
        error = "not enough free space in " + folder.string() + " to unpack " +
                PackageFileName(archive) + ": " + Mb(need) + " needed, " + Mb(free) + " free";
        return false;
    }
    return true;
}

std::string Reason(const PackageState& state, int fallback) {
    std::string r = state.m_lastErrorText.empty() ? LoadStr(fallback) : state.m_lastErrorText;
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.pop_back();
    return r;
}

// An update reads both version members of a single package it unpacked.
bool HasVersionMembers(const std::string& folder, std::string& error) {
    for (const char* member : {"appversion", "cfgversion"}) {
        std::string version;
        if (!ReadVersionMember(WorkPath(member, folder).string(), false, version)) {
            error = std::string("the package has no ") + member;
            return false;
        }
    }
    return true;
}

bool UnpackSingle(const std::string& archive, const std::string& folder, Operator& op,
                  std::string& error) {
    PackageState state;
    if (!RoomFor(archive, WorkPath("", folder), error))
        return false;
    if (!CheckSinglePackageEnvelope(state, op, archive, PackageFileName(archive), false)) {
        error = Reason(state, 6530);
        return false;
    }
    if (!ExtractWholePackage(state, op, archive, folder)) {
        error = Reason(state, 6530);
        return false;
    }
    return HasVersionMembers(folder, error);
}

}  // namespace

bool UnpackedSize(const std::string& archive, std::uint64_t& bytes) {
    std::vector<ArchiveMember> members;
    if (!ListArchiveMembers(archive, members))
        return false;
    bytes = 0;
    for (const ArchiveMember& m : members) bytes += m.size;
    return true;
}

bool FreeSpace(const fs::path& path, std::uint64_t& bytes) {
    struct statvfs st {};
    if (::statvfs(path.c_str(), &st) != 0)
        return false;
    bytes = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    return true;
}

bool UnpackPackage(const std::string& package, const fs::path& folder, Operator& op,
                   std::string& error) {
    if (!IsCombinedPackage(package)) {
        if (!UnpackSingle(package, "unpkg", op, error))
            return false;
        ClearWorkFolder("tmp");
        return true;
    }
    PackageState state;
    if (!RoomFor(package, folder, error))
        return false;
    if (!CheckCombinedPackageEnvelope(state, op, package, PackageFileName(package), false) ||
        !ExtractWholePackage(state, op, package, "compose_unpkg")) {
        error = Reason(state, 6571);
        return false;
    }
    if (!ReadCombinedPlan(state)) {
        error = Reason(state, 6583);
        return false;
    }
    // Every member package once, in the order of the plan.
    WorkPath("", kMembersFolder);
    std::map<std::string, std::string> done;
    std::string index;
    for (const CombinedStep& step : state.m_combinedSteps) {
        if (step.type != 1 && step.type != 3)
            continue;
        std::error_code ec;
        const std::string member = WorkPath(step.name, "compose_unpkg").string();
        if (!fs::is_regular_file(member, ec)) {
            error = "member " + step.name + " is missing";
            return false;
        }
        if (step.type != 1 || done.count(step.name))
            continue;
        const std::string n = std::to_string(done.size() + 1);
        const std::string where = std::string(kMembersFolder) + "/" + n;
        if (!UnpackSingle(member, where, op, error)) {
            error = "member package " + step.name + ": " + error;
            return false;
        }
        done[step.name] = n;
        index += n + "\t" + step.name + "\n";
    }
    if (!WriteDataFile(WorkPath(kMembersIndex, kMembersFolder), index)) {
        error = "cannot write the member list in " + folder.string();
        return false;
    }
    ClearWorkFolder("tmp");
    return true;
}

bool UsePreparedPackage(const std::string& package, const fs::path& folder, std::string& error) {
    Prepared& p = State();
    std::error_code ec;
    const bool combined = IsCombinedPackage(package);
    const fs::path root = fs::absolute(folder).lexically_normal();
    std::map<std::string, std::string> members;
    if (!combined) {
        if (!fs::is_directory(root / "unpkg", ec)) {
            error = "'" + folder.string() + "' holds no unpacked package";
            return false;
        }
    } else {
        std::ifstream in(root / kMembersFolder / kMembersIndex, std::ios::binary);
        if (!in || !fs::is_directory(root / "compose_unpkg", ec)) {
            error = "'" + folder.string() + "' holds no unpacked combined package";
            return false;
        }
        for (std::string line; std::getline(in, line);) {
            const std::size_t tab = line.find('\t');
            if (tab != std::string::npos)
                members[line.substr(tab + 1)] = line.substr(0, tab);
        }
    }
    std::lock_guard lock(p.mutex);
    p.inUse = true;
    p.folder = root;
    p.members = std::move(members);
    if (combined) {
        RedirectWorkFolder("compose_unpkg", root / "compose_unpkg");
        p.current.clear();
    } else {
        RedirectWorkFolder("unpkg", root / "unpkg");
        p.current = PackageFileName(package);
    }
    return true;
}

void StopUsingPreparedPackage() {
    Prepared& p = State();
    std::lock_guard lock(p.mutex);
    p.inUse = false;
    p.members.clear();
    p.current.clear();
    RedirectWorkFolder("unpkg", {});
    RedirectWorkFolder("compose_unpkg", {});
}

bool PreparedPackageInUse() {
    Prepared& p = State();
    std::lock_guard lock(p.mutex);
    return p.inUse;
}

bool SelectPreparedMember(const std::string& memberPath) {
    Prepared& p = State();
    std::lock_guard lock(p.mutex);
    const std::string name =
        fs::path(memberPath).lexically_normal().lexically_relative(p.folder / "compose_unpkg").string();
    const auto it = p.members.find(name);
    if (!p.inUse || it == p.members.end())
        return false;
    RedirectWorkFolder("unpkg", p.folder / kMembersFolder / it->second);
    p.current = PackageFileName(memberPath);
    return true;
}

void UnselectPreparedMember() {
    Prepared& p = State();
    std::lock_guard lock(p.mutex);
    if (!p.members.empty()) {
        RedirectWorkFolder("unpkg", {});
        p.current.clear();
    }
}

std::string PreparedPackageName() {
    Prepared& p = State();
    std::lock_guard lock(p.mutex);
    return p.current;
}

}  // namespace vorn
