#pragma once
// Start-up checks shared by both front ends, in this order: open the log, take the
// single-instance lock "KELMORA_Updater.lock" of the data folder, check the options file
// (6788), the "openssl" folder (6794) and the length of the program's path (6732). The GUI
// shows a refusal in a message box; the headless front end prints it to stderr and exits 4.
#include <filesystem>
#include <string>

#include "platform/FileLock.h"

namespace vorn {

inline constexpr const char* kLockFileName = "KELMORA_Updater.lock";
inline constexpr std::size_t kMaxProgramPath = 128;

struct StartupResult {
    // 0 on success; else the string id of the refusal (6589, 6788, 6794, 6732), or
    // kStartupSystemError when the log or the lock file cannot be opened.
    int code = 0;
    std::string message;  // the text to show
    int errorNumber = 0;  // system error number for kStartupSystemError
    bool ok() const { return code == 0; }
};
inline constexpr int kStartupSystemError = -1;

// Holds the log and the lock for the life of the program; the destructor releases the lock,
// deletes the lock file and closes the log.
class CStartup {
public:
    CStartup() = default;
    ~CStartup();
    CStartup(const CStartup&) = delete;
    CStartup& operator=(const CStartup&) = delete;

    StartupResult Run();
    void Release();

private:
    StartupResult TakeLock();

    CFileLock m_lock;
    bool m_logOpened = false;
};

// The three files the "openssl" folder must hold.
inline constexpr const char* kOpensslFiles[] = {"openssl.exe", "libeay32.dll", "ssleay32.dll"};

}  // namespace vorn
