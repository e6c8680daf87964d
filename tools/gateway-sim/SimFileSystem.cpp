#include "tools/gateway-sim/SimFileSystem.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace vorn {
namespace fs = std::filesystem;

namespace {

bool IsUnder(const fs::path& p, const fs::path& root) {
    auto r = root.begin();
    auto q = p.begin();
    for (; r != root.end(); ++r, ++q) {
        if (q == p.end() || *q != *r) {
            return false;
        }
    }
    return true;
}

}  // namespace

CSimFileSystem::CSimFileSystem(fs::path root) { SetRoot(std::move(root)); }

void CSimFileSystem::SetRoot(fs::path root) {
    std::error_code ec;
    if (!root.empty()) {
        fs::create_directories(root, ec);
        const fs::path canon = fs::canonical(root, ec);
        if (!ec) {
            root = canon;
        }
    }
    m_root = std::move(root);
}

fs::path CSimFileSystem::Resolve(const std::string& remotePath) const {
    if (m_root.empty() || remotePath.find('\0') != std::string::npos) {
        return {};
    }
    fs::path local = m_root;
    std::istringstream parts(remotePath);
    std::string part;
    std::error_code ec;
    while (std::getline(parts, part, '/')) {
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return {};
        }
        local /= part;
        // A link on the way must lead to an existing place inside the root; a dangling one
        // would let a later create follow it anywhere.
        if (fs::is_symlink(fs::symlink_status(local, ec))) {
            const fs::path target = fs::canonical(local, ec);
            if (ec || !IsUnder(target, m_root)) {
                return {};
            }
        }
    }
    const fs::path canon = fs::weakly_canonical(local, ec);
    if (ec || !IsUnder(canon, m_root)) {
        return {};
    }
    return local;
}

bool CSimFileSystem::Exists(const std::string& remotePath) const {
    const fs::path p = Resolve(remotePath);
    std::error_code ec;
    return !p.empty() && fs::exists(p, ec);
}

bool CSimFileSystem::WriteFile(const std::string& remotePath, const std::string& content) const {
    const fs::path p = Resolve(remotePath);
    if (p.empty() || p == m_root) {
        return false;
    }
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    const fs::path tmp = HiddenSibling(p, ".simtmp");
    fs::remove(tmp, ec);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) {
            fs::remove(tmp, ec);
            return false;
        }
    }
    fs::rename(tmp, p, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

bool CSimFileSystem::ReadFile(const std::string& remotePath, std::string& content) const {
    const fs::path p = Resolve(remotePath);
    std::error_code ec;
    if (p.empty() || !fs::is_regular_file(p, ec)) {
        return false;
    }
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool CSimFileSystem::Remove(const std::string& remotePath) const {
    const fs::path p = Resolve(remotePath);
    std::error_code ec;
    return !p.empty() && p != m_root && fs::remove(p, ec);
}

fs::path HiddenSibling(const fs::path& p, const char* suffix) {
    // Appended piece by piece: "." + std::string draws a false -Wrestrict from GCC 12 at -O3.
    std::string name = ".";
    name += p.filename().string();
    name += suffix;
    return p.parent_path() / name;
}

}  // namespace vorn
