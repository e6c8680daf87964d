#pragma once
// The main frame of the program without its widgets: the gateway session plus the state and
// procedures of the operations layer. Front ends own one CMainFrame and talk to it through its
// public calls; it talks back through the Operator.
#include <memory>
#include <optional>
#include <string>

#include "link/CGatewaySession.h"

namespace vorn {

// The digest of the console password the product ships with.
inline constexpr const char* kConsolePasswordDigest = "3f0c9b27d41e86a5c2b07f9e1d4a6c38";

// SessionState values of the technical support console.
enum : int { kStateConsoleUpload = 9, kStateConsoleDownload = 10, kStateConsoleCommand = 11 };

class CMainFrame : public CGatewaySession {
public:
    // `consoleDigest`: MD5 (hex) of the console password; the product passes the default.
    explicit CMainFrame(Operator* op, std::string consoleDigest = kConsolePasswordDigest);
    ~CMainFrame() override;

    // --- Technical support console ---
    // Asks for the console password unless unlocked in this run; true when unlocked.
    bool CommandConsole();
    bool ConsoleUnlocked() const { return m_consoleUnlocked; }
    // "exec": runs a command and prints its output (SessionState 11).
    bool RunConsoleCommand(const std::string& command, bool echo);
    // "put" / "get": the local file comes from the Operator's file choice.
    bool ConsoleUpload(const std::string& remotePath);
    bool ConsoleDownload(const std::string& remotePath);
    // Result of the last console procedure that ended (true = success).
    bool LastConsoleOk() const { return m_lastConsoleOk; }

    // --- Remote command conventions ---
    // Get of the gateway's result file; the reply arrives in `nextStep`.
    void FetchResultFile(int nextStep);
    // Reads the downloaded result file; false (after string 6473) on a read error.
    bool ReadResultFile(std::string& text);
    // The result file of the current script layout.
    const std::string& ResultFilePath() const { return m_resultFile; }
    void SetResultFilePath(const std::string& path) { m_resultFile = path; }

    // Ping series of the console (target already quoted).
    void SetPingSeries(const std::string& target, int runsLeft) {
        m_pingTarget = target;
        m_pingRunsLeft = runsLeft;
    }

protected:
    void OnSessionClosed() override { m_pingRunsLeft = 0; }

private:
    class CConsoleCommandProc;
    class CConsoleUploadProc;
    class CConsoleDownloadProc;
    friend class CConsoleCommandProc;
    friend class CConsoleUploadProc;
    friend class CConsoleDownloadProc;

    bool Busy();
    bool ProposedNameAcceptable(const std::string& remotePath, std::string& name);
    void PingContinuation(const std::string& output);
    void EndConsole(bool ok);

    std::string m_consoleDigest;
    bool m_consoleUnlocked = false;
    bool m_lastConsoleOk = false;
    std::string m_resultFile = "/etc/vorncmd/result";
    std::string m_pingTarget;
    int m_pingRunsLeft = 0;
    std::string m_userLocal;
    std::string m_userRemote;

    std::unique_ptr<CConsoleCommandProc> m_commandProc;
    std::unique_ptr<CConsoleUploadProc> m_uploadProc;
    std::unique_ptr<CConsoleDownloadProc> m_downloadProc;
};

// MD5 (RFC 1321) of a text as 32 lower-case hex digits.
// TODO(lead): fold together with the packages layer's Md5Hex.
std::string Md5HexOfText(const std::string& text);
// True when the bytes hold at least one byte of 0x80 or above and form UTF-8 by the
// gateway output rule (lead bytes 0xC0-0xFD announcing 2 to 6 bytes, continuations 0x80-0xBF).
bool IsGatewayUtf8(const std::string& bytes);
// Command output as console text: valid UTF-8 is decoded, anything else is kept as it is.
std::string ConsoleTextFromGateway(const std::string& bytes);

}  // namespace vorn
