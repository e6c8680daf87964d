#include "app/Startup.h"

#include "packages/ZipBridgeLoader.h"

#include "app/OptionsFile.h"
#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/WorkFolders.h"
#include "platform/ProgramFolder.h"
#include "platform/SystemError.h"

namespace vorn {

namespace fs = std::filesystem;

namespace {

StartupResult Refuse(int id) {
    return {id, LoadStr(id), 0};
}

// The system's text, and what stands in the way of `path` with what to do about it.
StartupResult SystemError(int err, const fs::path& path) {
    return {kStartupSystemError, FileErrorText(err, path), err};
}

// The "openssl" folder belongs to the installation, not to the data folder.
bool OpensslFolderComplete() {
    fs::path dir = InstallPath("", "openssl");
    std::error_code ec;
    for (const char* name : kOpensslFiles) {
        if (!fs::is_regular_file(dir / name, ec)) {
            fs::remove(dir, ec);  // removes the folder only when it is empty
            return false;
        }
    }
    return true;
}

}  // namespace

CStartup::~CStartup() {
    Release();
}

// The lock lives in the data folder: copies in different folders run side by side, and each
// user of a shared installation has a lock of their own.
StartupResult CStartup::TakeLock() {
    const fs::path path = DataFolder() / kLockFileName;
    switch (m_lock.acquire(path)) {
        case LockStatus::Locked:
            return {};
        case LockStatus::Busy:
            return Refuse(6589);  // the file belongs to the running instance: it stays
        case LockStatus::Failed:
            break;
    }
    return SystemError(m_lock.error(), path);
}

StartupResult CStartup::Run() {
    std::string error;
    if (int err = OpenLog(&error); err != 0) {
        return {kStartupSystemError, error, err};
    }
    m_logOpened = true;

    if (StartupResult r = TakeLock(); !r.ok()) {
        LogWrite("single-instance lock refused: " + r.message, kLogInfo);
        return r;
    }
    COptionFile options;
    if (options.Load() == 0) {
        LogWrite("the option file is damaged", kLogError);
        return Refuse(6788);
    }
    if (!OpensslFolderComplete()) {
        LogWrite("the openssl folder is incomplete", kLogError);
        return Refuse(6794);
    }
    // Measured in the program folder, so VORN_HOME decides, not where the build put the file.
    if (ProgramPath().string().size() > kMaxProgramPath) {
        LogWrite("the program path is too long: " + ProgramPath().string(), kLogError);
        return Refuse(6732);
    }
    // The archive component is a required part of the installation.
    if (std::string zipError; !LoadZipBridge(zipError)) {
        LogWrite("the archive component cannot be loaded: " + zipError, kLogError);
        return Refuse(6794);
    }
    LogWrite("start-up checks passed in " + ProgramFolder().string() + ", data in " +
                 DataFolder().string(),
             kLogInfo);
    return {};
}

// Releasing the lock deletes its file (while still locked, see CFileLock).
void CStartup::Release() {
    m_lock.release();
    if (m_logOpened) {
        CloseLog();
        m_logOpened = false;
    }
}

}  // namespace vorn
