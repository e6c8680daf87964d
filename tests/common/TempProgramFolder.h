#pragma once
// A temporary program folder laid out like the installation folder (build/dist/STARTUP): the
// "openssl" folder with its three links and the archive component. The process uses it as its program folder while the
// object lives; child processes get it through VORN_HOME (Environment()).
#include <QDir>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <filesystem>
#include <system_error>

#include "platform/ProgramFolder.h"

namespace vorn::test {

// The installation folder the build produced.
inline std::filesystem::path DistStartupFolder() {
    return std::filesystem::path(VORN_BINARY_DIR) / "dist" / "STARTUP";
}

class TempProgramFolder {
public:
    explicit TempProgramFolder(bool withOpenssl = true, const QString& pattern = {})
        : m_dir(pattern.isEmpty() ? QDir::tempPath() + "/vorn-XXXXXX" : pattern) {
        m_path = std::filesystem::path(m_dir.path().toStdString());
        if (withOpenssl) {
            namespace fs = std::filesystem;
            fs::create_directory(m_path / "openssl");
            for (const auto& entry : fs::directory_iterator(DistStartupFolder() / "openssl")) {
                fs::copy(entry.path(), m_path / "openssl" / entry.path().filename(),
                         fs::copy_options::copy_symlinks);
            }
            // The archive component lies beside the program in an installation.
            const fs::path zip = DistStartupFolder() / "libzipbridge.so";
            if (fs::exists(zip)) {
                fs::create_symlink(zip, m_path / "libzipbridge.so");
            }
        }
        SetProgramFolderForTests(m_path);
    }
    ~TempProgramFolder() { SetProgramFolderForTests({}); }
    TempProgramFolder(const TempProgramFolder&) = delete;
    TempProgramFolder& operator=(const TempProgramFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return m_path / p; }
    bool valid() const { return m_dir.isValid(); }

    // Environment for a child program that should run in this folder.
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VORN_HOME", QString::fromStdString(m_path.string()));
        env.insert("VORN_LANG", "en");
        return env;
    }

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_path;
};

}  // namespace vorn::test
