#pragma once
// What the update tests of the front ends share: the gateway helper scripts in a program
// folder, a small single package the simulator installs, and the texts it received.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "tests/common/GatewayChain.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/mkpkg/PackageWriter.h"

namespace vorn::test {

// The helper scripts the update procedures upload, under every script folder of `prog`.
inline void InstallHelperScripts(const std::filesystem::path& prog,
                                 const std::filesystem::path& sourceDir) {
    for (const char* folder : {"arm_bin", "bin", "bin_harddisk"}) {
        std::filesystem::create_directories(prog / folder);
        for (const char* s : {"updhistory.sh", "bakcfgsh", "prercovcfgsh", "rcovcfgsh"}) {
            std::filesystem::copy_file(sourceDir / "helper-scripts/gateway" / s, prog / folder / s);
        }
    }
}

// A single package `dir`/`name` updating to "KELMORA GW V301"; `extra` adds or replaces
// members. Its members are written to `dir`/`name`.d first.
inline std::string BuildSinglePackage(const std::filesystem::path& dir, const std::string& name,
                                      const std::map<std::string, std::string>& extra = {}) {
    std::map<std::string, std::string> m = {
        {"appversion", "KELMORA GW V301\n"}, {"cfgversion", "KELMORA GW V300R001\n"},
        {"apppre", "#!/bin/sh\n"},           {"app1", "#sim: version KELMORA GW V301\nimage"},
        {"appsh1", "#!/bin/sh\n"},           {"cfgpre", "#!/bin/sh\n"},
        {"cfg", "hostname=factory\n"},       {"cfgsh", "#!/bin/sh\n"},
    };
    for (const auto& [k, v] : extra) m[k] = v;
    const std::filesystem::path folder = dir / (name + ".d");
    for (const auto& [member, data] : m) WriteLocal(folder / member, data);
    const std::string out = (dir / name).string();
    std::string error;
    EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
    return out;
}

// True when the simulator received exactly this text message.
inline bool SimReceived(const CGatewaySim& sim, const std::string& text) {
    const std::vector<std::string> texts = sim.ReceivedTexts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

}  // namespace vorn::test
