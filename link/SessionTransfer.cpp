// Sending through the send ring, and file transfer over the link.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "link/CGatewaySession.h"
#include "platform/DataFile.h"
#include "platform/SocketErrors.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

constexpr std::size_t kPiece = 1024;
// A flush that cannot hand a single byte to the socket for this long gives up.
constexpr int kFlushStallMs = 60000;

bool IsUpdateTransferState(int state) {
    return state == kStateSingleUpdate || state == 7;
}

std::string FileName(const std::filesystem::path& p) {
    const std::string s = p.string();
    const std::size_t slash = s.find_last_of("/\\");
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

}  // namespace

std::string FormatThousands(std::uint64_t value) {
    std::string digits = std::to_string(value);
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[i];
        const std::size_t left = n - i - 1;
        if (left > 0 && left % 3 == 0) {
            out += ',';
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Sending

bool CGatewaySession::SendText(const std::string& text) {
    LogWrite(text, kLogDebug);
    if (m_uploading) {
        m_afterUpload.push_back(text);  // sent right after the file's last frame
        return true;
    }
    if (!FlushSendBuffer()) {
        return false;
    }
    std::uint8_t frame[kMaxSendFrame];
    const std::size_t size = BuildTextFrame(text, frame);
    if (size == 0) {
        LogWrite("message too long for one frame", kLogError);
        return false;
    }
    m_sendRing.put(frame, static_cast<std::uint32_t>(size));
    FlushSendBuffer();
    return true;
}

int CGatewaySession::FlushSendBuffer() {
    int stalledMs = 0;
    while (m_sendRing.used() > 0) {
        const std::uint32_t a = m_sendRing.peek(m_staging.data(), kSessionRingSize);
        int sent = m_socket->Send(m_staging.data(), static_cast<int>(a));
        if (sent < 0) {
            const int err = m_socket->LastError();
            if (err != kSockWouldBlock) {
                LogWrite(StrPrintf("Send buffer failed!  %u bytes", a), kLogError);
                LogWrite("Socket error :" + SocketSystemText(err), kLogError);
                m_target.post(WM_LINK_ERROR, kSocketTcp, 0);
                return 0;
            }
            sent = 0;
        }
        LogWrite(StrPrintf("[upload : %dB]", sent), kLogDebug);
        m_sendRing.consume(static_cast<std::uint32_t>(sent));
        m_bytesSent += static_cast<std::uint64_t>(sent);
        if (static_cast<std::uint32_t>(sent) < a) {
            stalledMs = sent > 0 ? 0 : stalledMs + kFlushWaitMs;
            if (stalledMs > kFlushStallMs) {
                LogWrite("Send buffer failed!  Socket error :" + SocketSystemText(kSockTimedOut),
                         kLogError);
                m_target.post(WM_LINK_ERROR, kSocketTcp, 0);
                return 0;
            }
            // Wait (briefly) until the socket takes data again.
            m_socket->WaitWritable(kFlushWaitMs);
        }
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Upload

void CGatewaySession::RequestPut(const std::string& remotePath) {
    SendText(StrPrintf("put\nfile:%s\n", remotePath.c_str()));
}

void CGatewaySession::SendPutOver() {
    SendText("putover\n");
    LogWrite("putover", kLogDebug);
}

int CGatewaySession::PutFile(const std::filesystem::path& localPath) {
    LogWrite("PutFile " + localPath.string(), kLogDebug);
    if (m_uploading) {
        LogWrite("PutFile while an upload runs", kLogError);
        return 0;
    }
    CloseTransferFile();
    m_fileFd = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (m_fileFd < 0 || ::fstat(m_fileFd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ShowFileError(m_fileFd < 0 ? errno : (S_ISDIR(st.st_mode) ? EISDIR : errno));
        CloseTransferFile();
        return 0;
    }
    m_uploadSize = static_cast<std::uint64_t>(st.st_size);
    m_uploadUpdatePage = IsUpdateTransferState(SessionState) || CombinedUpdateRunning();
    Console(StrPrintf("%s(size:%s B) : ", localPath.c_str(), FormatThousands(m_uploadSize).c_str()),
            kBlack);
    if (m_uploadUpdatePage && m_operator) {
        m_operator->NotifyUpdatePage(kUpdateDetail, FileName(localPath));
    }
    if (m_operator) {
        m_operator->SetProgressAnchor();
    }
    m_uploading = true;
    m_uploadState = SessionState;
    auto owner = m_procedures.find(SessionState);
    m_uploadOwner = owner == m_procedures.end() ? nullptr : owner->second;
    m_uploadEof = false;
    m_uploadSent = 0;
    m_uploadPercent = -1;
    m_afterUpload.clear();
    // The first slice goes out now; the rest follows from the event loop. A read error in it
    // is reported to the caller by the return value instead of OnUploadFailed.
    m_uploadStarting = true;
    m_uploadFailed = false;
    PumpUpload();
    m_uploadStarting = false;
    return m_uploadFailed ? 0 : 1;
}

int CGatewaySession::SendPending() {
    while (m_sendRing.used() > 0) {
        const std::uint32_t a = m_sendRing.peek(m_staging.data(), kSessionRingSize);
        const int sent = m_socket->Send(m_staging.data(), static_cast<int>(a));
        if (sent < 0) {
            const int err = m_socket->LastError();
            if (err == kSockWouldBlock) {
                return 0;  // the socket announces room with WM_LINK_WRITABLE
            }
            LogWrite(StrPrintf("Send buffer failed!  %u bytes", a), kLogError);
            LogWrite("Socket error :" + SocketSystemText(err), kLogError);
            m_target.post(WM_LINK_ERROR, kSocketTcp, 0);
            return -1;
        }
        LogWrite(StrPrintf("[upload : %dB]", sent), kLogDebug);
        m_sendRing.consume(static_cast<std::uint32_t>(sent));
        m_bytesSent += static_cast<std::uint64_t>(sent);
    }
    return 1;
}

void CGatewaySession::PumpUpload() {
    std::uint8_t piece[kPiece];
    std::uint8_t frame[kMaxSendFrame];
    std::uint64_t slice = 0;
    while (m_uploading) {
        while (!m_uploadEof && slice < kUploadSliceBytes && m_sendRing.space() >= kMaxSendFrame) {
            ssize_t n;
            do {
                n = ::read(m_fileFd, piece, kPiece);
            } while (n < 0 && errno == EINTR);
            if (n < 0) {
                const int err = errno;
                ShowFileError(err);
                FinishUpload(false);
                return;
            }
            if (n == 0) {
                m_uploadEof = true;
                break;
            }
            const std::size_t frameSize =
                BuildBinaryFrame(piece, static_cast<std::size_t>(n), frame);
            m_sendRing.put(frame, static_cast<std::uint32_t>(frameSize));
            m_uploadSent += static_cast<std::uint64_t>(n);
            slice += static_cast<std::uint64_t>(n);
            const int percent =
                m_uploadSize ? static_cast<int>(m_uploadSent * 100 / m_uploadSize) : 100;
            if (percent != m_uploadPercent) {
                m_uploadPercent = percent;
                const std::string text = StrPrintf("%d%%", percent);
                if (m_operator) {
                    m_operator->ReplaceProgress(text, kBlue);
                    if (m_uploadUpdatePage) {
                        m_operator->NotifyUpdatePage(kUpdatePercent, text);
                    }
                }
            }
        }
        const int flushed = SendPending();
        if (flushed < 0) {
            AbortUpload();  // the posted link error closes the session
            return;
        }
        if (flushed == 0) {
            return;  // continued by WM_LINK_WRITABLE
        }
        if (m_uploadEof) {
            FinishUpload(true);
            return;
        }
        if (slice >= kUploadSliceBytes) {
            m_target.post(WM_UPLOAD_CONTINUE);
            return;
        }
    }
}

void CGatewaySession::FinishUpload(bool ok) {
    m_uploading = false;
    CloseTransferFile();
    std::vector<std::string> queued;
    queued.swap(m_afterUpload);
    if (ok) {
        Console("\n", kBlack);
        if (m_uploadUpdatePage && m_operator) {
            m_operator->NotifyUpdatePage(kUpdateDetail, "\n");
        }
        for (const std::string& text : queued) {
            SendText(text);
        }
    } else if (m_uploadStarting) {
        m_uploadFailed = true;  // PutFile reports it by its return value
    } else {
        // The procedure that started the upload learns of the failure even when the link
        // closed meanwhile (it may already be out of its state).
        CProcedureHandler* owner = m_uploadOwner;
        if (owner) {
            owner->OnUploadFailed();
        }
        if (SessionState != 0 && SessionState == m_uploadState) {
            EndProcedure();
        }
    }
    m_uploadOwner = nullptr;
    ReleaseDeferred();
}

void CGatewaySession::AbortUpload() {
    if (m_uploading) {
        LogWrite("upload stopped: the link closed", kLogError);
        FinishUpload(false);
    }
}

void CGatewaySession::ReleaseDeferred() {
    // Hand over what arrived meanwhile, in order, behind anything already queued.
    std::vector<Deferred> deferred;
    deferred.swap(m_deferred);
    for (const Deferred& d : deferred) {
        m_target.post(d.msg, d.w, d.l);
    }
}

// ---------------------------------------------------------------------------------------------
// Download

void CGatewaySession::RequestGet(const std::string& remotePath) {
    SendText(StrPrintf("get\nfile:%s\n", remotePath.c_str()));
}

bool CGatewaySession::BeginDownload(const std::filesystem::path& localPath,
                                    const std::optional<std::string>& msg, bool show) {
    CloseTransferFile();
    m_localPath = localPath;
    m_fileFd = OpenDataFile(localPath, O_RDWR | O_CREAT | O_TRUNC);
    if (m_fileFd < 0) {
        const int err = errno;
        ShowFileError(err, localPath);
        LogWrite(SystemErrorText(err), kLogError);
        return false;
    }
    m_receivedTotal = 0;
    m_progressMark = -1;
    m_expectedSize = msg ? std::strtoull(msg->c_str(), nullptr, 10) : 0;
    if (show) {
        if (msg) {
            Console(StrPrintf("%s(size:%s B) : ", localPath.c_str(),
                              FormatThousands(m_expectedSize).c_str()),
                    kBlack);
        } else {
            Console(StrPrintf("%s : ", localPath.c_str()), kBlack);
        }
        if (m_operator) {
            m_operator->SetProgressAnchor();
        }
    }
    return true;
}

void CGatewaySession::EndDownload() {
    CloseTransferFile();
    if (m_expectedSize == 0) {
        if (m_operator) {
            m_operator->ReplaceProgress(
                StrPrintf("%s B\n", FormatThousands(m_receivedTotal).c_str()), kBlue);
        }
    } else {
        Console("\n", kBlack);
    }
}

int CGatewaySession::HandleData(const std::uint8_t* bytes, std::size_t count) {
    struct Pair {
        int state;
        int step;
    };
    static const Pair kAccepted[] = {{3, 4},   {5, 8},   {5, 14},  {7, 41}, {7, 43},
                                     {10, 47}, {11, 50}, {13, 56}, {20, 75}};
    if (SessionState == 14 && SessionStep == 62) {
        m_deviceVersion.append(reinterpret_cast<const char*>(bytes), count);
        return 1;
    }
    bool accepted = false;
    for (const Pair& p : kAccepted) {
        accepted = accepted || (p.state == SessionState && p.step == SessionStep);
    }
    if (!accepted || m_fileFd < 0) {
        return 1;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fileFd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            // The data cannot be kept: say so and end the procedure instead of going on
            // with a file that misses part of its content.
            const int err = n < 0 ? errno : ENOSPC;
            const std::string text = SystemErrorText(err);
            CloseTransferFile();
            ShowFileError(err);
            LogWrite("write " + m_localPath.string() + ": " + text, kLogError);
            if (SessionState == kStateLogin) {
                return 1;  // the login goes on; the version read back is what was written
            }
            if (auto it = m_procedures.find(SessionState); it != m_procedures.end()) {
                it->second->OnDownloadWriteFailed(text);
            }
            EndProcedure();
            return 1;
        }
        done += static_cast<std::size_t>(n);
    }
    m_receivedTotal += count;
    if (SessionState == 10 && SessionStep == 47 && m_operator) {
        if (m_expectedSize != 0) {
            const int percent = static_cast<int>(m_receivedTotal * 100 / m_expectedSize);
            if (percent != m_progressMark) {
                m_progressMark = percent;
                m_operator->ReplaceProgress(StrPrintf("%d%%", percent), kBlue);
            }
        } else {
            m_progressMark =
                (m_progressMark < 0 ? 0 : m_progressMark) + static_cast<std::int64_t>(count);
            if (m_progressMark > 200000) {
                m_progressMark = 0;
                m_operator->ReplaceProgress(
                    StrPrintf("%s B", FormatThousands(m_receivedTotal).c_str()), kBlue);
            }
        }
    }
    return 1;
}

bool CGatewaySession::ReadTransferFile(std::string& text) {
    text.clear();
    if (m_fileFd < 0) {
        return false;
    }
    bool ok = ::lseek(m_fileFd, 0, SEEK_SET) == 0;
    char buf[16384];
    while (ok) {
        const ssize_t n = ::read(m_fileFd, buf, 16383);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    CloseTransferFile();
    return ok;
}

void CGatewaySession::CloseTransferFile() {
    // The file of a running upload is closed by the upload itself (when it ends or stops).
    if (m_uploading) {
        return;
    }
    if (m_fileFd >= 0) {
        if (::close(m_fileFd) != 0) {
            LogWrite("close m_file error when recv close!", kLogDebug);
        }
        m_fileFd = -1;
    }
}

void CGatewaySession::ShowFileError(int err, const std::filesystem::path& path) {
    std::string text = path.empty() ? SystemErrorText(err) : FileErrorText(err, path);
    if (text.size() > 1024) {
        text.resize(1024);
    }
    Console(text, kRed);
    Console("\n", kBlack);
}

}  // namespace vorn
