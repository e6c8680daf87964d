#pragma once
// Exclusive lock file, the single-instance guard: the file is created or opened read-write
// and its first 200 bytes are write-locked (fcntl, advisory) without waiting. The lock lives
// as long as the object holds it; release() unlocks, closes and deletes the file.
//
// fcntl locks belong to the process: a second acquire from the same process succeeds, so
// the single-instance rule holds between processes only.
#include <filesystem>

namespace vorn {

enum class LockStatus {
    Locked,  // this object holds the lock
    Busy,    // another process holds it
    Failed,  // the file could not be opened or locked; see error()
};

class CFileLock {
public:
    CFileLock() = default;
    ~CFileLock();
    CFileLock(const CFileLock&) = delete;
    CFileLock& operator=(const CFileLock&) = delete;

    LockStatus acquire(const std::filesystem::path& path);
    void release();
    bool held() const { return m_fd >= 0; }
    int error() const { return m_error; }  // errno of the last Failed acquire

    static constexpr off_t kLockLength = 200;

private:
    int m_fd = -1;
    int m_error = 0;
    std::filesystem::path m_path;
};

}  // namespace vorn
