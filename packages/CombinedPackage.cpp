#include "packages/CombinedPackage.h"

#include <fnmatch.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "lib/ConfSectionReader.h"
#include "lib/Log.h"
#include "lib/MemberName.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/ArchiveAccess.h"
#include "packages/Envelope.h"
#include "packages/SinglePackage.h"
#include "packages/ZipBridgeLoader.h"
#include "platform/DataFile.h"
#include "platform/FileUtil.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Matching(const fs::path& folder, const std::string& mask) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
        if (::fnmatch(mask.c_str(), e.path().filename().c_str(), FNM_PERIOD) == 0 &&
            e.is_regular_file(ec)) {
            out.push_back(e.path());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void ClearStores() {
    for (const char* folder : {"compose_pkg", "compose_unpkg", "curpkg", "oldpkg"}) {
        ClearWorkFolder(folder);
    }
}

int PlanCount(const ConfSectionReader& conf) {
    return std::atoi(conf.Get("Total", "count").c_str());
}

// Entries looked at in a plan: a "count" far beyond any real plan would otherwise keep the
// listing busy for minutes over sections that do not exist.
constexpr int kMaxPlanEntries = 10000;


}  // namespace

bool IsCombinedPackage(const std::string& pattern) {
    if (pattern.empty()) {
        for (const auto& p : Matching(WorkPath("", "compose_pkg"), "*.cssu")) {
            if (HasCombinedHeader(p.string())) {
                return true;
            }
        }
        return false;
    }
    fs::path path(pattern);
    std::string name = path.filename().string();
    if (name.find_first_of("*?") == std::string::npos) {
        return HasCombinedHeader(pattern);
    }
    fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    for (const auto& p : Matching(folder, name)) {
        if (HasCombinedHeader(p.string())) {
            return true;
        }
    }
    return false;
}

std::string FindStoredCombinedPackage() {
    auto found = Matching(WorkPath("", "compose_pkg"), "*.cssu");
    return found.empty() ? std::string() : found.front().string();
}

bool ListCombinedPlan(PackageState& state, Operator& op) {
    ConfSectionReader conf;
    if (!conf.Load(WorkPath("upgrade.conf", "compose_unpkg").string())) {
        op.AppendConsole(LoadStr(6575), kRed);
        return false;
    }
    state.m_updateTips = LoadStr(6576);
    op.AppendConsole(state.m_updateTips, kBlack);
    ShowUpdateTips(state, op, PackageKind::Combined);
    std::string order = LoadStr(6617);
    op.AppendConsole(order, kBlack);
    state.m_updateTips += order;
    state.m_combinedTotal = PlanCount(conf);
    int line = 1;
    for (int i = 1; i <= std::min(state.m_combinedTotal, kMaxPlanEntries); ++i) {
        const std::string section = std::to_string(i);
        const std::string type = conf.Get(section, "type");
        if (type.empty()) {
            continue;
        }
        std::string text;
        switch (std::atoi(type.c_str())) {
            case 1:
                text = FormatStr(6578, line, conf.Get(section, "name").c_str(),
                                 conf.Get(section, "appversion").c_str());
                break;
            case 2:
                text = FormatStr(6577, line);
                break;
            case 3:
                text = FormatStr(6579, line, conf.Get(section, "name").c_str());
                break;
            default:
                continue;
        }
        ++line;
        op.AppendConsole(text, kBlack);
        state.m_updateTips += text;
    }
    return true;
}

bool LoadCombinedPackageFromPath(PackageState& state, Operator& op, const std::string& path) {
    const std::string fileName = PackageFileName(path);
    if (!CheckCombinedPackageEnvelope(state, op, path, fileName)) {
        return false;
    }
    const std::string body = WorkPath(fileName, "tmp").string();
    if (!ExtractMemberSet(PackageKind::Combined, body)) {
        LogWrite("Obtain single file error.try extract files.", kLogWarn);
        if (!ExtractWholePackage(state, op, body, "compose_unpkg")) {
            return false;
        }
    }
    state.m_needRestart = 0;
    if (ListCombinedPlan(state, op)) {
        state.m_packageVersion = LoadStr(6796);
        std::string notice = LoadStr(6573);
        op.AppendConsole(notice, kBlack);
        state.m_updateTips += notice;
        return true;
    }
    std::string text = LoadStr(6572);
    op.AppendConsole(text, kRed);
    state.m_lastErrorText = text;
    ClearWorkFolder("tmp");
    ClearWorkFolder("compose_unpkg");
    return false;
}

bool LoadLocalCombinedPackage(PackageState& state, Operator& op, CPackageHost& host,
                              const std::string& path) {
    state.m_updateTips.clear();
    state.m_packagePath = path;
    if (!EndsWith(path, ".cssu")) {
        state.m_updateTips.clear();
        state.m_lastErrorText = "Loaded fail!(not a .cssu file)\n";
        op.AppendConsole(state.m_lastErrorText, kRed);
        host.SendToLoadPage("FAILEDLOAD:" + state.m_lastErrorText);
        return false;
    }
    ClearWorkFolder("compose_unpkg");
    if (!LoadCombinedPackageFromPath(state, op, path)) {
        ClearStores();
        op.AppendConsole(LoadStr(6739), kRed);
        host.SendToLoadPage("FAILEDLOAD:" + state.m_lastErrorText);
        state.m_updateTips.clear();
        return false;
    }
    return FinishLocalLoad(state, op, host);
}

bool LoadCombinedPackageForUpdate(PackageState& state, Operator& op, const std::string& path,
                                  const std::string& fileName) {
    CheckCombinedPackageEnvelope(state, op, path, fileName);
    ClearWorkFolder("compose_unpkg");
    if (!ExtractWholePackage(state, op, WorkPath(fileName, "tmp").string(), "compose_unpkg")) {
        std::string text = LoadStr(6571);
        op.AppendConsole(text, kRed);
        ClearWorkFolder("tmp");
        ClearWorkFolder("compose_unpkg");
        op.NotifyUpdatePage(kUpdateError, text);
        return false;
    }
    ClearWorkFolder("compose_pkg");
    std::error_code ec;
    const fs::path target = WorkPath(fileName, "compose_pkg");
    if (!CopyDataFile(path, target, ec)) {
        std::string text = LoadStr(6574);
        op.AppendConsole(text, kRed);
        op.NotifyUpdatePage(kUpdateError, text);
        for (const char* folder : {"tmp", "compose_unpkg", "compose_pkg"}) {
            ClearWorkFolder(folder);
        }
        return false;
    }
    ClearReadOnly(target);
    ClearWorkFolder("tmp");
    return true;
}

bool PrepareCombinedUpdate(PackageState& state, Operator& op) {
    op.AppendConsole(LoadStr(6581), kBlack);
    const std::string stored = FindStoredCombinedPackage();
    ClearWorkFolder("compose_unpkg");
    if (stored.empty() || !ExtractWholePackage(state, op, stored, "compose_unpkg")) {
        op.AppendConsole(LoadStr(6582), kRed);
        ClearWorkFolder("tmp");
        ClearWorkFolder("compose_unpkg");
        return false;
    }
    state.m_needRestart = 0;
    if (!ReadCombinedPlan(state)) {
        op.AppendConsole(LoadStr(6583), kRed);
        return false;
    }
    return true;
}

bool ReadCombinedPlan(PackageState& state) {
    state.m_combinedSteps.clear();
    ConfSectionReader conf;
    if (!conf.Load(WorkPath("upgrade.conf", "compose_unpkg").string())) {
        return false;
    }
    const int count = PlanCount(conf);
    state.m_combinedTotal = count;
    if (count > kMaxPlanEntries) {
        return false;
    }
    std::deque<CombinedStep> steps;
    for (int i = 1; i <= count; ++i) {
        const std::string section = std::to_string(i);
        const std::string type = conf.Get(section, "type");
        if (type.empty()) {
            return false;
        }
        switch (std::atoi(type.c_str())) {
            case 1:
                if (!SafeMemberName(conf.Get(section, "name"))) {
                    return false;
                }
                steps.push_back({4, ""});
                steps.push_back({1, conf.Get(section, "name")});
                break;
            case 2:
                steps.push_back({2, ""});
                break;
            case 3:
                if (!SafeMemberName(conf.Get(section, "name"))) {
                    return false;
                }
                steps.push_back({3, conf.Get(section, "name")});
                break;
            default:
                return false;
        }
    }
    state.m_combinedSteps = std::move(steps);
    return true;
}

void StartMemberPackageLoad(CPackageHost& host, const std::string& member) {
    host.StartSinglePackageLoader(WorkPath(member, "compose_unpkg").string());
}

}  // namespace vorn
