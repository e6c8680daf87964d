#include "packages/PackageTarget.h"

#include "lib/QuietOperator.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/PreparedPackage.h"
#include "packages/SinglePackage.h"

namespace vorn {
namespace {

std::string ReasonOf(const PackageState& state) {
    std::string r = state.m_lastErrorText.empty() ? LoadStr(6739) : state.m_lastErrorText;
    while (!r.empty() && (r.back() == '\n' || r.back() == '\r')) r.pop_back();
    return r;
}

}  // namespace

bool ReadPackageTarget(const std::string& path, PackageTarget& target, std::string& error) {
    CQuietOperator quiet;
    PackageState state;
    target = {};
    if (!IsCombinedPackage(path)) {
        ClearWorkFolder("unpkg");
        if (!LoadPackageFromPath(state, quiet, path, PackageKind::Single)) {
            error = ReasonOf(state);
            return false;
        }
        target.version = state.m_packageVersion;
        target.needRestart = state.m_needRestart != 0;
        return true;
    }
    target.kind = PackageKind::Combined;
    ClearWorkFolder("compose_unpkg");
    if (!LoadPackageFromPath(state, quiet, path, PackageKind::Combined)) {
        error = ReasonOf(state);
        return false;
    }
    const bool prepared = PreparedPackageInUse();
    const std::string body = WorkPath(PackageFileName(path), "tmp").string();
    if ((!prepared && !ExtractWholePackage(state, quiet, body, "compose_unpkg")) ||
        !ReadCombinedPlan(state)) {
        error = ReasonOf(state);
        if (state.m_lastErrorText.empty()) {
            error = LoadStr(6583);
            while (!error.empty() && error.back() == '\n') error.pop_back();
        }
        return false;
    }
    for (const CombinedStep& step : state.m_combinedSteps) {
        if (step.type != 1) {
            continue;  // factory defaults and scripts inside a plan never restart by themselves
        }
        PackageState member;
        ClearWorkFolder("unpkg");
        const std::string memberPath = WorkPath(step.name, "compose_unpkg").string();
        if (prepared)
            SelectPreparedMember(memberPath);
        const bool loaded = LoadPackageFromPath(member, quiet, memberPath, PackageKind::Single);
        if (prepared)
            UnselectPreparedMember();  // the update selects its members as it loads them
        if (!loaded) {
            error = "member package " + step.name + ": " + ReasonOf(member);
            return false;
        }
        target.version = member.m_packageVersion;
        target.needRestart = target.needRestart || member.m_needRestart != 0;
    }
    return true;
}

}  // namespace vorn
