#pragma once
// The package state of the session: what the last package load found and what the update
// procedures read from it. Owned by the main frame; package functions fill it.
#include <deque>
#include <string>

namespace vorn {

// One step of a combined update: 1 install the member package `name`, 2 factory defaults,
// 3 run the script `name`, 4 refresh the gateway's version before the next package.
struct CombinedStep {
    int type = 0;
    std::string name;
    bool operator==(const CombinedStep&) const = default;
};

struct PackageState {
    std::string m_packagePath;      // full path of the package the user selected
    std::string m_packageFileName;  // file name of the package loaded for an update
    std::string m_packageVersion;   // first line of "appversion" (or the tips title)
    std::string m_cfgVersion;       // first line of "cfgversion" of the package loaded for update
    std::string m_updateTips;       // readme and notices shown before the update
    int m_needRestart = 1;          // 1 when the update restarts the gateway
    std::string m_lastErrorText;    // wording of the last package error
    std::deque<CombinedStep> m_combinedSteps;
    int m_combinedTotal = 0;  // "count" of the combined plan
};

}  // namespace vorn
