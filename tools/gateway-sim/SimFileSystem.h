#pragma once
// The simulator's virtual file system: remote absolute paths ("/app/appversion") live under a
// local root folder. A path with a ".." component, or one that reaches outside the root
// through a symbolic link, is refused; nothing is ever read or written outside the root.
#include <cstdint>
#include <filesystem>
#include <string>

namespace vorn {

class CSimFileSystem {
public:
    explicit CSimFileSystem(std::filesystem::path root = {});
    void SetRoot(std::filesystem::path root);
    const std::filesystem::path& Root() const { return m_root; }

    // Local path for a remote path, or empty when the path is refused. Relative remote paths
    // are taken from "/". Symbolic links on the way must stay inside the root.
    std::filesystem::path Resolve(const std::string& remotePath) const;
    bool Exists(const std::string& remotePath) const;
    // Writes a whole file (parents created) through a temporary file and a rename.
    bool WriteFile(const std::string& remotePath, const std::string& content) const;
    bool ReadFile(const std::string& remotePath, std::string& content) const;
    bool Remove(const std::string& remotePath) const;

private:
    std::filesystem::path m_root;  // canonical once the folder exists
};

// The hidden file beside `p` that a write goes to before it replaces `p`: ".NAME" + suffix.
std::filesystem::path HiddenSibling(const std::filesystem::path& p, const char* suffix);

}  // namespace vorn
