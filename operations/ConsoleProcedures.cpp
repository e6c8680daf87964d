#include "operations/ConsoleProcedures.h"
#include "packages/Md5.h"

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"

namespace vorn {
namespace {

constexpr int kStepCommandReply = 48;
constexpr int kStepResultGet = 49;
constexpr int kStepResultData = 50;
constexpr int kStepPutReply = 44;
constexpr int kStepPutOverReply = 45;
constexpr int kStepGetReply = 46;
constexpr int kStepGetData = 47;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points

bool CMainFrame::Busy() {
    if (SessionState != 0) {
        Console(6553, kRed);
        return true;
    }
    return false;
}

bool CMainFrame::ConsoleUnavailable() {
    if (Busy()) {
        return true;
    }
    if (!Connected) {
        Console(6766, kRed);
        return true;
    }
    return false;
}

bool CMainFrame::CommandConsole() {
    if (Busy() || CombinedUpdateRunning()) {
        return false;
    }
    if (m_consoleUnlocked) {
        return true;
    }
    Operator* op = GetOperator();
    std::optional<std::string> typed = op ? op->AskText(LoadStr(9300), true) : std::nullopt;
    if (!typed) {
        return false;
    }
    if (Md5Hex(*typed) != m_consoleDigest) {
        Console(6457, kRed);
        return false;
    }
    m_consoleUnlocked = true;
    return true;
}

bool CMainFrame::RunConsoleCommand(const std::string& command, bool echo) {
    if (ConsoleUnavailable()) {
        return false;
    }
    if (echo) {
        Console(StrPrintf("exec: %s\n", command.c_str()), kBlack);
    }
    ExecuteCommand(command);
    SessionState = kStateConsoleCommand;
    SessionStep = kStepCommandReply;
    return true;
}

// The proposed local name is the last part of the remote path; names a file dialog cannot
// hold are refused.
bool CMainFrame::ProposedNameAcceptable(const std::string& remotePath, std::string& name) {
    const std::size_t slash = remotePath.find_last_of('/');
    name = slash == std::string::npos ? remotePath : remotePath.substr(slash + 1);
    if (name.find_first_of("\\:*?\"<>|") != std::string::npos) {
        Console(6590, kRed);
        return false;
    }
    return true;
}

bool CMainFrame::ConsoleUpload(const std::string& remotePath) {
    std::string name;
    if (ConsoleUnavailable() || !ProposedNameAcceptable(remotePath, name)) {
        return false;
    }
    Operator* op = GetOperator();
    std::optional<std::string> local =
        op ? op->ChooseOpenFile(name, "All Files (*.*)|*.*||") : std::nullopt;
    if (!local) {
        Console(6505, kBlack);
        return false;
    }
    m_userLocal = *local;
    m_userRemote = remotePath;
    Console(6540, kBlack);
    RequestPut(remotePath);
    SessionState = kStateConsoleUpload;
    SessionStep = kStepPutReply;
    return true;
}

bool CMainFrame::ConsoleDownload(const std::string& remotePath) {
    std::string name;
    if (ConsoleUnavailable() || !ProposedNameAcceptable(remotePath, name)) {
        return false;
    }
    Operator* op = GetOperator();
    std::optional<std::string> local =
        op ? op->ChooseSaveFile(name, "All Files (*.*)|*.*||") : std::nullopt;
    if (!local) {
        Console(6505, kBlack);
        return false;
    }
    m_userLocal = *local;
    m_userRemote = remotePath;
    Console(6541, kBlack);
    RequestGet(remotePath);
    SessionState = kStateConsoleDownload;
    SessionStep = kStepGetReply;
    return true;
}

void CMainFrame::EndConsole(bool ok) {
    m_lastConsoleOk = ok;
    EndProcedure();
}

void CMainFrame::PingContinuation(const std::string& output) {
    if (m_pingRunsLeft <= 0) {
        return;
    }
    if (output.find("unknown host") != std::string::npos) {
        m_pingRunsLeft = 0;
        return;
    }
    --m_pingRunsLeft;
    LogWrite("Ping command on device", kLogInfo);
    RunConsoleCommand(StrPrintf("ping -c 1 %s\n", m_pingTarget.c_str()), false);
}

// ---------------------------------------------------------------------------------------------
// Command (SessionState 11)

bool CMainFrame::CConsoleCommandProc::OnResult(int result, const std::optional<std::string>&) {
    if (m_f.SessionStep == kStepCommandReply) {
        m_f.Console(result != 0 ? 6452 : 6544, result != 0 ? kRed : kBlue);
        m_f.m_lastConsoleOk = result == 0;
        m_f.FetchResultFile(kStepResultGet);
        return true;
    }
    if (m_f.SessionStep == kStepResultGet) {
        if (result != 0) {
            m_f.Console(6545, kRed);
            m_f.EndConsole(false);
            m_f.PingContinuation("");
            return true;
        }
        if (!m_f.BeginDownload(WorkPath("tempresult", "tmp"), std::nullopt, false)) {
            m_f.EndConsole(false);
            m_f.PingContinuation("");
            return true;
        }
        m_f.SessionStep = kStepResultData;
        return true;
    }
    return false;
}

bool CMainFrame::CConsoleCommandProc::OnGetOver() {
    if (m_f.SessionStep != kStepResultData) {
        return false;
    }
    std::string output;
    const bool read = m_f.ReadResultFile(output);
    m_f.Console(ConsoleTextFromGateway(output) + "\n", kBlack);
    m_f.EndConsole(read && m_f.m_lastConsoleOk);
    m_f.PingContinuation(output);
    return true;
}

void CMainFrame::CConsoleCommandProc::OnDownloadWriteFailed(const std::string&) {
    m_f.Console(6545, kRed);
    m_f.m_lastConsoleOk = false;
}

// ---------------------------------------------------------------------------------------------
// Upload (SessionState 9)

bool CMainFrame::CConsoleUploadProc::OnResult(int result, const std::optional<std::string>& msg) {
    if (m_f.SessionStep == kStepPutReply) {
        if (result != 0) {
            Fail(msg);
            return true;
        }
        if (!m_f.PutFile(m_f.m_userLocal)) {
            Fail(std::nullopt);
            return true;
        }
        m_f.SendPutOver();
        m_f.SessionStep = kStepPutOverReply;
        return true;
    }
    if (m_f.SessionStep == kStepPutOverReply) {
        if (result != 0) {
            Fail(msg);
            return true;
        }
        m_f.Console(6543, kBlue);
        m_f.EndConsole(true);
        return true;
    }
    return false;
}

void CMainFrame::CConsoleUploadProc::Fail(const std::optional<std::string>& msg) {
    m_f.Console(6450, kRed);
    if (msg) {
        m_f.Console(StrPrintf("(%s)\n", msg->c_str()), kRed);
    }
    m_f.EndConsole(false);
}

// ---------------------------------------------------------------------------------------------
// Download (SessionState 10)

bool CMainFrame::CConsoleDownloadProc::OnResult(int result, const std::optional<std::string>& msg) {
    if (m_f.SessionStep != kStepGetReply) {
        return false;
    }
    if (result != 0) {
        Fail(msg);
        return true;
    }
    if (!m_f.BeginDownload(m_f.m_userLocal, msg, true)) {
        Fail(std::nullopt);
        return true;
    }
    m_f.SessionStep = kStepGetData;
    return true;
}

bool CMainFrame::CConsoleDownloadProc::OnGetOver() {
    if (m_f.SessionStep != kStepGetData) {
        return false;
    }
    m_f.EndDownload();
    m_f.Console(6483, kBlue);
    m_f.EndConsole(true);
    return true;
}

void CMainFrame::CConsoleDownloadProc::OnDownloadWriteFailed(const std::string&) {
    Fail(std::nullopt);  // the session has shown the file error
}

void CMainFrame::CConsoleDownloadProc::Fail(const std::optional<std::string>& msg) {
    m_f.Console(6451, kRed);
    if (msg) {
        m_f.Console(StrPrintf("(%s)\n", msg->c_str()), kRed);
    }
    m_f.EndConsole(false);
}

}  // namespace vorn
