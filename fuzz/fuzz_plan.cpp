// The plan of a combined package ("upgrade.conf"): listing it for the person and reading it
// into update steps. A plan that reads names only files inside the package.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz/FuzzProgramFolder.h"
#include "lib/QuietOperator.h"
#include "lib/WorkFolders.h"
#include "packages/CombinedPackage.h"
#include "packages/PackageState.h"

namespace {

void Check(bool ok) {
    if (!ok) {
        __builtin_trap();
    }
}

bool InsidePackage(const std::string& name) {
    if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
        return false;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (name.compare(start, i - start, "..") == 0) {
                return false;
            }
            start = i + 1;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vorn::fuzz::ScratchFolder();
    const std::string path = vorn::WorkPath("upgrade.conf", "compose_unpkg").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vorn::CQuietOperator op;
    vorn::PackageState state;
    vorn::ListCombinedPlan(state, op);
    if (vorn::ReadCombinedPlan(state)) {
        Check(state.m_combinedTotal <= 10000);
        for (const vorn::CombinedStep& step : state.m_combinedSteps) {
            Check(step.type >= 1 && step.type <= 4);
            Check(InsidePackage(step.name));
        }
    }
    return 0;
}
