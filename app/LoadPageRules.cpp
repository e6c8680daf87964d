#include "app/LoadPageRules.h"

#include <filesystem>
#include <system_error>

#include "app/OptionsFile.h"
#include "lib/Log.h"
#include "packages/CombinedPackage.h"

namespace vorn {

int CheckPackagePath(std::string& path, bool preCheck) {
    const auto b = path.find_first_not_of(" \t");
    path = b == std::string::npos ? std::string()
                                  : path.substr(b, path.find_last_not_of(" \t") - b + 1);
    if (preCheck) {
        const bool cssuName = path.size() >= 5 && path.compare(path.size() - 5, 5, ".cssu") == 0;
        if (cssuName || IsCombinedPackage(path)) {
            return 103;
        }
    }
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec) ||
        std::filesystem::is_directory(path, ec)) {
        return 6674;
    }
    return 0;
}

int SaveUpdateTypeLocal() {
    COptionFile options;
    options.Load();
    if (options.SetUpdateType("local") != 0) {
        LogWrite("Save the Update-Type Failed!", kLogError);
    }
    return options.SaveReplacing();
}

}  // namespace vorn
