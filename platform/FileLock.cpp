#include "platform/FileLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/DataFile.h"

namespace vorn {
namespace {

bool SetLock(int fd, short type) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = CFileLock::kLockLength;
    return fcntl(fd, F_SETLK, &fl) == 0;
}

}  // namespace

CFileLock::~CFileLock() { release(); }

LockStatus CFileLock::acquire(const std::filesystem::path& path) {
    release();
    m_error = 0;
    // A holder deletes the file when it releases; if that happens between our open and our
    // lock, we hold a lock on a file that no longer has the name. Check and start over.
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int fd = OpenDataFile(path, O_RDWR | O_CREAT);
        if (fd < 0) {
            m_error = errno;
            return LockStatus::Failed;
        }
        if (!SetLock(fd, F_WRLCK)) {
            const int err = errno;
            ::close(fd);
            if (err == EACCES || err == EAGAIN) {
                // Not deleted: the name belongs to the process that holds the lock.
                return LockStatus::Busy;
            }
            m_error = err;
            return LockStatus::Failed;
        }
        struct stat opened = {}, named = {};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            m_fd = fd;
            m_path = path;
            return LockStatus::Locked;
        }
        ::close(fd);  // the name now points elsewhere (or nowhere): try again
    }
    m_error = EAGAIN;
    return LockStatus::Failed;
}

void CFileLock::release() {
    if (m_fd < 0) {
        return;
    }
    // Delete while still holding the lock, so nobody locks the old file under the name.
    ::unlink(m_path.c_str());
    SetLock(m_fd, F_UNLCK);
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
}

}  // namespace vorn
