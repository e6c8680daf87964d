#pragma once
// The file an archive is read from. minizip reads a damaged entry's fields a byte at a time
// and goes on reading past the end of the file (an extra field that claims 64 KB in a
// 250-byte archive): each such read or seek would be a system call. Past the end this file
// answers at once, so a damaged archive is refused as quickly as a good one is read.
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace vorn {

class CArchiveFile : public QFile {
public:
    explicit CArchiveFile(const QString& name) : QFile(name) {}
    // The archive at `path` as bytes: a name that is not UTF-8 does not survive a QString, so
    // reading opens it by these bytes.
    void SetPath(const std::string& path) {
        m_path = path;
        setFileName(QFile::decodeName(QByteArray::fromStdString(path)));
    }
    bool open(OpenMode mode) override {
        bool ok = false;
        if (!m_path.empty() && !(mode & QIODevice::WriteOnly)) {
            const int fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
            ok = fd >= 0 && QFile::open(fd, mode, QFileDevice::AutoCloseHandle);
            if (fd >= 0 && !ok) {
                ::close(fd);
            }
        } else {
            ok = QFile::open(mode);
        }
        m_size = ok ? QFile::size() : 0;
        return ok;
    }
    // A position past the end needs no system call: nothing can be read there.
    bool seek(qint64 pos) override {
        if (pos > m_size && isOpen()) {
            return QIODevice::seek(pos);
        }
        return QFile::seek(pos);
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (pos() >= m_size) {
            return 0;
        }
        return QFile::readData(data, maxSize);
    }

private:
    std::string m_path;
    qint64 m_size = 0;
};

}  // namespace vorn
