#include "packages/Envelope.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/Md5.h"
#include "platform/DataFile.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

constexpr size_t kCopyBlock = 1 << 20;

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int Release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

// Reads up to n bytes; fewer only at the end of the file. -1 on a read error.
ssize_t ReadFull(int fd, char* p, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r < 0) {
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

bool WriteFull(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w < 0) {
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Writes the blocks handed to it on one thread of its own, in order, one block at a time.
class CBlockWriter {
public:
    explicit CBlockWriter(int fd) : m_fd(fd), m_thread([this] { Run(); }) {}
    ~CBlockWriter() { Finish(); }
    CBlockWriter(const CBlockWriter&) = delete;
    CBlockWriter& operator=(const CBlockWriter&) = delete;

    // Waits until the previous block is written, then hands this one over: the caller may
    // reuse the previous block's memory when this returns. False once a write failed.
    bool Write(const char* p, size_t n) {
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return !m_pending; });
        if (!m_ok) {
            return false;
        }
        m_block = p;
        m_size = n;
        m_pending = true;
        m_cv.notify_all();
        return true;
    }
    // Waits for the last block and ends the thread; false when any write failed.
    bool Finish() {
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return !m_pending; });
            m_done = true;
        }
        m_cv.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_ok;
    }

private:
    void Run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_cv.wait(lock, [this] { return m_pending || m_done; });
            if (!m_pending) {
                return;
            }
            lock.unlock();
            const bool ok = WriteFull(m_fd, m_block, m_size);
            lock.lock();
            m_ok = m_ok && ok;
            m_pending = false;
            m_cv.notify_all();
        }
    }

    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    const char* m_block = nullptr;
    size_t m_size = 0;
    bool m_pending = false;
    bool m_done = false;
    bool m_ok = true;
    std::thread m_thread;  // last: starts when the rest is ready
};

// Copies the rest of `in` to `out` (none when `out` is negative) and digests the copied bytes
// on the way: one pass over the package; a writer thread writes each block while the next one
// is read and digested. False on a read or write error.
bool CopyAndDigest(int in, int out, std::string& hex) {
    std::vector<char> bufs[2] = {std::vector<char>(kCopyBlock), std::vector<char>(kCopyBlock)};
    std::optional<CBlockWriter> writer;
    if (out >= 0) {
        writer.emplace(out);
    }
    CMd5 md5;
    bool ok = true;
    for (int i = 0;; i ^= 1) {
        const ssize_t n = ReadFull(in, bufs[i].data(), bufs[i].size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n > 0) {
            // The writer and the digest only read the block; the next read goes to the other
            // buffer, whose write Write() has waited for.
            if (writer && !writer->Write(bufs[i].data(), static_cast<size_t>(n))) {
                ok = false;
                break;
            }
            md5.Update(bufs[i].data(), static_cast<size_t>(n));
        }
        if (static_cast<size_t>(n) < bufs[i].size()) {
            break;
        }
    }
    ok = (!writer || writer->Finish()) && ok;
    if (ok) {
        hex = md5.HexDigest();
    }
    return ok;
}

// Digests compare as 33 bytes: 32 digits and the terminating zero.
bool FlagMatches(const char* flag, const std::string& hex) {
    return hex.size() == 32 && std::memcmp(flag, hex.data(), 32) == 0 && flag[32] == '\0';
}

void ShowError(PackageState& state, Operator& op, const std::string& text) {
    op.AppendConsole(text, kRed);
    state.m_lastErrorText = text;
}

}  // namespace

std::string PackageFileName(const std::string& path) {
    size_t pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

bool HasCombinedHeader(const std::string& path) {
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) {
        return false;
    }
    unsigned char header[kCombinedHeaderSize];
    if (ReadFull(in.fd, reinterpret_cast<char*>(header), sizeof header) !=
        static_cast<ssize_t>(sizeof header)) {
        return false;
    }
    std::uint32_t magic = header[0] | (header[1] << 8) | (header[2] << 16) |
                          (static_cast<std::uint32_t>(header[3]) << 24);
    return magic == kCombinedMagic;
}

bool CheckSinglePackageEnvelope(PackageState& state, Operator& op, const std::string& path,
                                const std::string& fileName, bool keepBody) {
    try {
        Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
        if (in.fd < 0) {
            std::string err = SystemErrorText(errno);
            op.AppendConsole(err, kRed);
            op.AppendConsole("\n", kBlack);
            state.m_lastErrorText = err;
            return false;
        }
        const std::string body = WorkPath(fileName, "tmp").string();
        Fd out;
        if (keepBody) {
            out.fd = OpenDataFile(body, O_WRONLY | O_CREAT | O_TRUNC);
            if (out.fd < 0) {
                std::string err = SystemErrorText(errno);
                ShowError(state, op, err);
                return false;
            }
        }
        char flag[kMd5FlagSize];
        if (ReadFull(in.fd, flag, sizeof flag) != static_cast<ssize_t>(sizeof flag)) {
            op.AppendConsole("Read package md5 flag failed!\r\n", kRed);
            state.m_lastErrorText = "Read package md5 flag failed!";
            return false;
        }
        std::string hex;
        bool copied = CopyAndDigest(in.fd, out.fd, hex);
        if (keepBody && ::close(out.Release()) != 0) {
            copied = false;
        }
        if (!copied) {
            ShowError(state, op, StrPrintf("Get package(%s) md5 failed.\r\n", body.c_str()));
            return false;
        }
        if (!FlagMatches(flag, hex)) {
            ShowError(state, op, StrPrintf("Check package(%s) md5 failed\r\n", body.c_str()));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        op.AppendConsole("Cath error when read package md5 flag:\r\n", kBlack);
        op.AppendConsole(e.what(), kRed);
        op.AppendConsole("\n", kBlack);
        return false;
    }
}

bool CheckCombinedPackageEnvelope(PackageState& state, Operator& op, const std::string& path,
                                  const std::string& fileName) {
    ClearWorkFolder("tmp");
    auto early = [&](int id) {
        ShowError(state, op, LoadStr(id));
        ClearWorkFolder("tmp");
        return false;
    };
    Fd in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) {
        return early(6565);
    }
    const std::string body = WorkPath(fileName, "tmp").string();
    Fd out{OpenDataFile(body, O_WRONLY | O_CREAT | O_TRUNC)};
    if (out.fd < 0) {
        return early(6566);
    }
    unsigned char header[kCombinedHeaderSize];
    if (ReadFull(in.fd, reinterpret_cast<char*>(header), sizeof header) !=
        static_cast<ssize_t>(sizeof header)) {
        ::close(out.Release());
        return early(6567);
    }
    std::uint32_t magic = header[0] | (header[1] << 8) | (header[2] << 16) |
                          (static_cast<std::uint32_t>(header[3]) << 24);
    if (magic != kCombinedMagic) {
        ::close(out.Release());
        return early(6567);
    }
    std::string hex;
    bool copied = CopyAndDigest(in.fd, out.fd, hex);
    if (::close(out.Release()) != 0) {
        copied = false;
    }
    if (!copied) {
        ShowError(state, op, LoadStr(6569));
        return false;
    }
    if (!FlagMatches(reinterpret_cast<const char*>(header) + kCombinedMd5Offset, hex)) {
        ShowError(state, op, LoadStr(6570));
        return false;
    }
    return true;
}

}  // namespace vorn
