#include "packages/ZipBridgeLoader.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <system_error>
#include <vector>

#include "platform/ProgramFolder.h"

namespace vorn {
namespace {

std::mutex g_mutex;
ZipBridgeFunctions g_functions{};
std::atomic<const ZipBridgeFunctions*> g_loaded{nullptr};

std::filesystem::path ExecutableFolder() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : p.parent_path();
}

}  // namespace

ZbText ZbIn(const std::string& s) {
    return ZbText{const_cast<char*>(s.data()), s.size(), 0};
}

bool LoadZipBridge(std::string& error, const std::filesystem::path& explicitPath) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_loaded.load()) {
        return true;
    }
    std::vector<std::filesystem::path> candidates;
    if (!explicitPath.empty()) {
        candidates.push_back(explicitPath);
    } else {
        candidates.push_back(ExecutableFolder() / kZipBridgeFileName);
        candidates.push_back(ProgramFolder() / kZipBridgeFileName);
    }
    std::string tried;
    for (const auto& path : candidates) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            tried += (tried.empty() ? "" : "; ") + std::string(why ? why : path.string());
            continue;
        }
        ZipBridgeFunctions f{};
        f.GetExtractFileInfo =
            reinterpret_cast<decltype(f.GetExtractFileInfo)>(::dlsym(handle, "GetExtractFileInfo"));
        f.ExtractFile = reinterpret_cast<decltype(f.ExtractFile)>(::dlsym(handle, "ExtractFile"));
        f.AddTozipFile =
            reinterpret_cast<decltype(f.AddTozipFile)>(::dlsym(handle, "AddTozipFile"));
        f.LastError =
            reinterpret_cast<decltype(f.LastError)>(::dlsym(handle, "ZipBridgeLastError"));
        if (!f.GetExtractFileInfo || !f.ExtractFile || !f.AddTozipFile || !f.LastError) {
            tried += (tried.empty() ? "" : "; ") + path.string() + ": missing functions";
            ::dlclose(handle);
            continue;
        }
        g_functions = f;
        g_loaded.store(&g_functions);
        return true;
    }
    error = "The archive component " + std::string(kZipBridgeFileName) + " cannot be loaded (" +
            tried + ")";
    return false;
}

const ZipBridgeFunctions* ZipBridgeApi() {
    return g_loaded.load();
}

}  // namespace vorn
