// Single-package update (SessionState 5) and pre-upgrade check (SessionState 20).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/GatewayProcedures.h"
#include "operations/RemotePaths.h"
#include "packages/BackupFile.h"
#include "packages/SinglePackage.h"
#include "packages/VersionRules.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

// Step numbers of SessionState 5 (the update) and 20 (the check).
enum : int {
    kStepApppreUpload = 5,
    kStepApppreOver = 6,
    kStepApppreRun = 7,
    kStepApppreResult = 8,
    kStepImagePut = 9,
    kStepImageOver = 10,
    kStepScriptPut = 11,
    kStepScriptOver = 12,
    kStepScriptRun = 13,
    kStepScriptResult = 14,
    kStepHistoryPut = 15,
    kStepHistoryRun = 16,
    kStepHistoryDone = 17,
    kStepHistoryLs = 71,
    kStepCheckPut = 72,
    kStepCheckOver = 73,
    kStepCheckRun = 74,
    kStepCheckResult = 75,
};
constexpr int kUpdateBase = 4;

std::string Unpkg(const std::string& name) {
    return WorkPath(name, "unpkg").string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Entry points

void CMainFrame::StartSingleUpdate() {
    m_memberFinished = false;
    Console(6506, kBlack);
    Notify(kUpdateDetail, LoadStr(6506));
    Operator* op = GetOperator();
    if (!op || !CheckPackageForDevice(m_pkg, *op, *this)) {
        return;  // shown, with event 7 and "FAILED:"
    }
    if (!Connected) {
        SessionState = kStateSingleUpdate;
        ScheduleReconnect(kReasonSingleUpdate);
        return;
    }
    ConnectReason = 0;
    BeginSingleUpdate();
}

void CMainFrame::BeginSingleUpdate() {
    if (AsciiLower(m_pkg.m_packageFileName).rfind("switch_", 0) == 0) {
        // Packages that switch the firmware line keep a copy of the configuration first.
        m_autoBackup = true;
        m_backupPath = AutoBackupPath(Address(), DeviceVersion(), "unknown");
        Console(6523, kBlack);
        Notify(kUpdateDetail, LoadStr(6523));
        SessionState = kStateBackup;
        ExecuteCommand("ls /usr/sbin/bakcfgsh");
        SessionStep = 36;
        return;
    }
    ContinueUpdateAfterBackup(false);
}

void CMainFrame::ContinueUpdateAfterBackup(bool afterBackup) {
    if (afterBackup) {
        Notify(kUpdateDetail, LoadStr(6481));
    }
    m_autoBackup = false;
    m_memberIndex = 1;
    PruneAutoBackups(m_autobakNum);
    Console(6511, kBlack);
    m_singleProc->StartStepClock();
    RequestPut(Paths().apppre);
    SessionState = kStateSingleUpdate;
    SessionStep = kStepApppreUpload;
}

void CMainFrame::StartPreUpdateCheck() {
    Console(107, kBlack);
    const bool platformOk = m_pkg.m_packageVersion.find("ignore-plat") != std::string::npos ||
                            ClassifyVersion(m_pkg.m_packageVersion).layoutFlag == m_layoutFlag;
    const int refusal = !platformOk                                         ? 6536
                        : !UpdateFromCurrentVersionAllowed(m_versionReport) ? 6559
                                                                            : 0;
    if (refusal) {
        const std::string text = LoadStr(refusal);
        Console(text, kRed);
        NotifyCheck(kCheckResult, text);
        NotifyCheck(kCheckResult, "FAILED:" + text);
        return;
    }
    if (!Connected) {
        SessionState = kStatePreCheck;
        ScheduleReconnect(kReasonPreCheck);
        return;
    }
    ConnectReason = 0;
    SessionState = kStatePreCheck;
    RequestPut(Paths().apppre);
    SessionStep = kStepCheckPut;
}

void CMainFrame::CResumeUpdate::Resume() {
    m_f.BeginSingleUpdate();
}

bool CMainFrame::CResumeUpdate::Failed(const std::string& text) {
    m_f.Notify(kUpdateFinal, "FAILED:" + text);
    return true;
}

void CMainFrame::CResumePreCheck::Resume() {
    m_f.SessionState = kStatePreCheck;
    m_f.RequestPut(m_f.Paths().apppre);
    m_f.SessionStep = kStepCheckPut;
}

bool CMainFrame::CResumePreCheck::Failed(const std::string& text) {
    m_f.NotifyCheck(kCheckResult, "FAILED:" + (text.empty() ? std::string(LoadStr(6766)) : text));
    return true;
}

// ---------------------------------------------------------------------------------------------
// SessionState 5

int CMainFrame::CSingleUpdateProc::Fail(const std::optional<std::string>& text) {
    if (text && !text->empty()) {
        m_f.Console(*text, kRed);
        m_f.Console("\n", kBlack);
        m_f.Notify(kUpdateError, *text);
    }
    const std::string message = FormatStr(6446, ProcedureErrorNumber(m_f.SessionStep, kUpdateBase));
    m_f.Console(message, kRed);
    m_f.Notify(kUpdateError, message);
    m_f.Console(6560, kRed);
    m_f.Notify(kUpdateError, LoadStr(6560));
    m_f.EndGatewayProcedure(false);
    m_f.Notify(kUpdateFinal, "FAILED:");
    return 0;
}

void CMainFrame::CSingleUpdateProc::UploadFailed() {
    m_f.Console(6561, kRed);
    m_f.Console(6560, kRed);
    m_f.Notify(kUpdateError, LoadStr(6561));
    m_f.Notify(kUpdateError, LoadStr(6560));
    m_f.EndGatewayProcedure(false);
    m_f.Notify(kUpdateFinal, "FAILED:");
}

void CMainFrame::CSingleUpdateProc::ResultFileFailed(bool, const std::string& text) {
    LogWrite(text, kLogError);
    m_f.Notify(kUpdateError, text);
    m_f.EndGatewayProcedure(false);
    m_f.Notify(kUpdateFinal, "FAILED:");
}

bool CMainFrame::CSingleUpdateProc::OnResult(int result, const std::optional<std::string>& msg) {
    const RemotePaths& paths = m_f.Paths();
    const bool failed = result != 0;
    CMainFrame& f = m_f;
    // What the previous step cost, its upload included.
    const auto now = std::chrono::steady_clock::now();
    LogWrite(
        StrPrintf(
            "stage step %d replied after %lld ms", static_cast<int>(f.SessionStep),
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastReply).count())),
        kLogDebug);
    m_lastReply = now;
    switch (f.SessionStep) {
        case kStepApppreUpload:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, LoadStr(6675));
            if (!f.PutFile(Unpkg("apppre")))
                return UploadFailed(), true;
            f.SendPutOver();
            f.SessionStep = kStepApppreOver;
            return true;
        case kStepApppreOver:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, LoadStr(6676));
            f.Notify(kUpdateDetail, LoadStr(6677));
            f.ExecuteCommand(paths.apppre);
            f.SessionStep = kStepApppreRun;
            return true;
        case kStepApppreRun:
        case kStepScriptRun:
            if (failed) {
                const std::string text = f.SessionStep == kStepApppreRun
                                             ? "'apppre' execute failed\n"
                                             : "'appsh' execute failed\n";
                f.Console(text, kRed);
                f.Notify(kUpdateError, text);
                f.FetchResultFile(f.SessionStep == kStepApppreRun ? kStepApppreResult
                                                                  : kStepScriptResult);
                return true;
            }
            if (f.SessionStep == kStepApppreRun) {
                f.Console(6462, kBlack);
                f.Notify(kUpdateDetail, LoadStr(6462));
                f.RequestPut("/stmp/app");
                f.SessionStep = kStepImagePut;
                return true;
            }
            f.Console(6588, kBlack);
            f.Notify(kUpdateDetail, LoadStr(6588));
            ++f.m_memberIndex;
            if (AppMemberExists(f.m_memberIndex)) {
                f.RequestPut("/stmp/app");
                f.SessionStep = kStepImagePut;
                return true;
            }
            f.RecordLocalHistory();
            f.ExecuteCommand("ls " + paths.historyScript);
            f.SessionStep = kStepHistoryLs;
            return true;
        case kStepApppreResult:
        case kStepScriptResult:
            if (failed)
                return Fail(msg), true;
            if (!f.BeginDownload(WorkPath("tempresult", "tmp"), std::nullopt, false)) {
                ResultFileFailed(true, SystemErrorText(errno));
            }
            return true;
        case kStepImagePut:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, LoadStr(6675));
            f.Notify(kUpdateMember, StrPrintf("SINGLE:%d", f.m_memberIndex));
            if (!f.PutFile(Unpkg(StrPrintf("app%d", f.m_memberIndex))))
                return UploadFailed(), true;
            f.SendPutOver();
            f.SessionStep = kStepImageOver;
            return true;
        case kStepImageOver:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, LoadStr(6676));
            f.RequestPut(paths.appsh);
            f.SessionStep = kStepScriptPut;
            return true;
        case kStepScriptPut:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, LoadStr(6675));
            if (!f.PutFile(Unpkg(StrPrintf("appsh%d", f.m_memberIndex))))
                return UploadFailed(), true;
            f.SendPutOver();
            f.SessionStep = kStepScriptOver;
            return true;
        case kStepScriptOver:
            if (failed)
                return Fail(msg), true;
            f.Console(FormatStr(6463, f.m_memberIndex), kBlack);
            f.Notify(kUpdateDetail, LoadStr(6676));
            f.Notify(kUpdateDetail, LoadStr(6677));
            f.ExecuteCommand(paths.appsh);
            f.SessionStep = kStepScriptRun;
            return true;
        case kStepHistoryLs:
            if (failed) {
                f.Console("updhistory.sh dos not exist!Upload it first.\n", kBlue);
                f.Notify(kUpdateDetail, LoadStr(6720));
                f.RequestPut(paths.historyScript);
                f.SessionStep = kStepHistoryPut;
                return true;
            }
            f.ExecuteCommand("ls " + paths.historyScript);
            f.Notify(kUpdateDetail, LoadStr(6720));
            f.SessionStep = kStepHistoryRun;
            return true;
        case kStepHistoryPut:
            if (failed)
                return Fail(msg), true;
            f.Notify(kUpdateDetail, std::string(LoadStr(6675)) + "updhistory.sh..." + "\n");
            if (!f.PutFile(InstallPath("updhistory.sh", paths.helperFolder))) {
                // The update itself is done; only its record on the gateway is missing.
                f.SendPutOver();
                f.Console(6562, kRed);
                f.Notify(kUpdateError, LoadStr(6562));
                const std::string done = LoadStr(6464);
                if (f.m_combinedRunning) {
                    f.Console(done, kBlue);
                    f.m_memberFinished = true;
                    f.Notify(kUpdateFinal, "SUCCEED:" + done);
                } else {
                    f.Notify(kUpdateFinal, "SUCCEED:END" + done);
                }
                f.EndGatewayProcedure(true);
                return true;
            }
            f.SendPutOver();
            f.SessionStep = kStepHistoryRun;
            return true;
        case kStepHistoryRun:
            if (failed)
                return Fail(msg), true;
            f.ExecuteCommand(HistoryScriptCommand(paths.historyScript, f.m_pkg.m_packageFileName));
            f.SessionStep = kStepHistoryDone;
            return true;
        case kStepHistoryDone:
            if (failed) {
                f.Console(6554, kRed);
                f.Notify(kUpdateError, LoadStr(6554));
            }
            Finish(!failed);
            return true;
        default:
            if (failed)
                return Fail(msg), true;
            return false;
    }
}

void CMainFrame::CSingleUpdateProc::Finish(bool historyRecorded) {
    CMainFrame& f = m_f;
    const std::string done = LoadStr(6464);
    f.Console(done, kBlue);
    if (historyRecorded) {
        f.Notify(kUpdateFinal, "SUCCEED:" + done);
    } else {
        // The update was installed; only its record failed. The page still gets its final
        // result so that it does not wait for one forever.
        f.Notify(kUpdateDetail, done);
        f.Notify(kUpdateFinal, "SUCCEED:");
    }
    if (f.m_combinedRunning) {
        f.m_memberFinished = true;
        f.EndGatewayProcedure(true);
        return;
    }
    if (f.m_pkg.m_needRestart) {
        f.Console(6558, kRed);
        f.ExecuteCommand("reboot");
        f.Notify(kUpdateRestart, LoadStr(6558));
    } else {
        f.Notify(kUpdateRestart, "");
    }
    f.EndGatewayProcedure(true);
    f.CloseAsDropped();
}

bool CMainFrame::CSingleUpdateProc::OnGetOver() {
    CMainFrame& f = m_f;
    if (f.SessionStep != kStepApppreResult && f.SessionStep != kStepScriptResult) {
        return false;
    }
    std::string text;
    f.ReadResultFile(text);
    text += "\n";
    f.Console(text, kBlack);
    f.Console(6560, kRed);
    f.Notify(kUpdateError, text);
    f.Notify(kUpdateError, LoadStr(6560));
    f.Notify(kUpdateFinal, "FAILED:");
    f.EndGatewayProcedure(false);
    return true;
}

void CMainFrame::CSingleUpdateProc::OnDownloadWriteFailed(const std::string& text) {
    m_f.Notify(kUpdateError, text);
    m_f.Notify(kUpdateFinal, "FAILED:");
}

// ---------------------------------------------------------------------------------------------
// SessionState 20

void CMainFrame::CPreCheckProc::Fail(const std::optional<std::string>& text) {
    if (text && !text->empty()) {
        m_f.Console(*text, kRed);
        m_f.Console("\n", kBlack);
    }
    const std::string message = FormatStr(6446, ProcedureErrorNumber(m_f.SessionStep, kUpdateBase));
    m_f.Console(message, kRed);
    m_f.EndGatewayProcedure(false);
    // The check dialog learns of the end, so it does not wait for a result forever.
    m_f.NotifyCheck(kCheckResult, "FAILED:" + message);
}

bool CMainFrame::CPreCheckProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    const bool failed = result != 0;
    switch (f.SessionStep) {
        case kStepCheckPut:
            if (failed)
                return Fail(msg), true;
            if (!f.PutFile(Unpkg("apppre"))) {
                f.Console(6561, kRed);
                f.Console(6560, kRed);
                f.EndGatewayProcedure(false);
                f.NotifyCheck(kCheckResult, std::string("FAILED:") + LoadStr(6561));
                return true;
            }
            f.SendPutOver();
            f.SessionStep = kStepCheckOver;
            return true;
        case kStepCheckOver:
            if (failed)
                return Fail(msg), true;
            f.ExecuteCommand(f.Paths().apppre);
            f.SessionStep = kStepCheckRun;
            return true;
        case kStepCheckRun:
            if (failed) {
                f.Console("'apppre' execute failed\n", kRed);
                f.FetchResultFile(kStepCheckResult);
                return true;
            }
            f.Console(105, kBlack);
            f.EndGatewayProcedure(true);
            f.NotifyCheck(kCheckResult, std::string("SUCCEED:") + LoadStr(105));
            return true;
        case kStepCheckResult:
            if (failed)
                return Fail(msg), true;
            if (!f.BeginDownload(WorkPath("tempresult", "tmp"), std::nullopt, false)) {
                const std::string text = SystemErrorText(errno);
                f.EndGatewayProcedure(false);
                f.NotifyCheck(kCheckResult, "FAILED:" + text);
            }
            return true;
        default:
            if (failed)
                return Fail(msg), true;
            return false;
    }
}

bool CMainFrame::CPreCheckProc::OnGetOver() {
    CMainFrame& f = m_f;
    if (f.SessionStep != kStepCheckResult) {
        return false;
    }
    std::string text;
    f.ReadResultFile(text);
    text += "\n";
    f.Console(text, kBlack);
    const std::string message = FormatStr(106, text.c_str());
    f.Console(message, kRed);
    f.EndGatewayProcedure(false);
    f.NotifyCheck(kCheckResult, message);
    // With the gateway's reason, so the check shows why it failed.
    f.NotifyCheck(kCheckResult, "FAILED:" + text);
    return true;
}

void CMainFrame::CPreCheckProc::OnDownloadWriteFailed(const std::string& text) {
    m_f.m_lastProcedureOk = false;
    m_f.NotifyCheck(kCheckResult, "FAILED:" + text);
}

}  // namespace vorn
