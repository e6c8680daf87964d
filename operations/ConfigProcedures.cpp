// Configuration backup (SessionState 7), restore of a backup (8) and factory defaults (6).
#include <cerrno>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/GatewayProcedures.h"
#include "operations/RemotePaths.h"
#include "packages/BackupFile.h"
#include "packages/CombinedPackage.h"
#include "packages/SinglePackage.h"
#include "platform/SystemError.h"

namespace vorn {
namespace {

// Steps of the three procedures (the error number shown is the step minus the base).
enum : int {
    kStepCfgpreUpload = 18,
    kStepCfgpreOver = 19,
    kStepCfgpreRun = 20,
    kStepCfgPut = 21,
    kStepCfgOver = 22,
    kStepCfgshPut = 23,
    kStepCfgshOver = 24,
    kStepFactoryDone = 25,
    kStepCfgshRun = 26,
    kStepRcovLs = 27,
    kStepPreRcovPut = 28,
    kStepPreRcovOver = 29,
    kStepPreRcovRun = 30,
    kStepCfgbkPut = 31,
    kStepCfgbkOver = 32,
    kStepRcovPut = 33,
    kStepRcovRun = 34,
    kStepRebootAfterRestore = 35,
    kStepBakLs = 36,
    kStepBakPut = 37,
    kStepBakOver = 38,
    kStepBakRun = 39,
    kStepBakGet = 40,
    kStepBakData = 41,
    kStepVersionGet = 42,
    kStepVersionData = 43,
};
constexpr int kBackupBase = kStepBakLs;
constexpr int kRestoreBase = kStepRcovLs;
constexpr int kFactoryBase = kStepCfgpreUpload - 1;
constexpr const char* kPackageFilter = "Package (*.ssu ; *.SSU) |*.ssu;*.SSU|All Files (*.*)|*.*||";

std::string Helper(const RemotePaths& paths, const std::string& name) {
    return InstallPath(name, paths.helperFolder).string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Backup

bool CMainFrame::BackupConfig() {
    if (Busy()) {
        return false;
    }
    m_autoBackup = false;
    ClearWorkFolder("tmp");
    Operator* op = GetOperator();
    // A name not taken yet: a second backup of the day does not replace the first one.
    std::optional<std::string> target =
        op ? op->ChooseSaveFile(FreeBackupName(DefaultBackupName(Address())), kBackupFilter)
           : std::nullopt;
    if (!target) {
        Console(6505, kBlack);
        return false;
    }
    m_backupPath = *target;
    Console(6523, kBlack);
    SessionState = kStateBackup;
    ExecuteCommand("ls /usr/sbin/bakcfgsh");
    SessionStep = kStepBakLs;
    return true;
}

void CMainFrame::CBackupProc::Fail(const std::optional<std::string>& text) {
    CMainFrame& f = m_f;
    RemoveBackupCopies();
    if (text && !text->empty()) {
        const std::string line = StrPrintf("(%s)\n", text->c_str());
        f.Console(line, kRed);
        f.Notify(kUpdateError, line);
        f.Notify(kUpdateFinal, "FAILED:");
        f.m_autoBackup = false;
        f.EndGatewayProcedure(false);
        return;
    }
    const std::string message = FormatStr(6449, ProcedureErrorNumber(f.SessionStep, kBackupBase));
    f.Notify(kUpdateFinal, "FAILED:" + message);
    f.Console(message, kRed);
    f.m_autoBackup = false;
    f.EndGatewayProcedure(false);
}

bool CMainFrame::CBackupProc::OpenLocal(const char* name) {
    if (m_f.BeginDownload(WorkPath(name, "tmp"), std::nullopt, false)) {
        return true;
    }
    const std::string text = SystemErrorText(errno);
    m_f.Notify(kUpdateError, text);
    m_f.Notify(kUpdateFinal, "FAILED:");
    Fail(std::nullopt);
    return false;
}

bool CMainFrame::CBackupProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    const bool failed = result != 0;
    const RemotePaths& paths = m_f.Paths();
    switch (f.SessionStep) {
        case kStepBakLs:
            if (!failed) {
                f.ExecuteCommand("/usr/sbin/bakcfgsh");
                f.SessionStep = kStepBakRun;
                return true;
            }
            f.Console("bakcfgsh dos not exist!Upload it first.\n", kBlue);
            f.Notify(kUpdateDetail, "bakcfgsh dos not exist!Upload it first.\n");
            f.RequestPut(paths.bakcfgsh);
            f.SessionStep = kStepBakPut;
            return true;
        case kStepBakPut:
            if (failed)
                return Fail(msg), true;
            if (!f.PutFile(Helper(paths, "bakcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = kStepBakOver;
            return true;
        case kStepBakOver:
            if (failed)
                return Fail(msg), true;
            f.ExecuteCommand(paths.bakcfgsh);
            f.SessionStep = kStepBakRun;
            return true;
        case kStepBakRun:
            if (failed) {
                // A refused script reports itself; its message (if any) says why.
                Fail(msg && !msg->empty() ? msg
                                          : std::optional<std::string>("bakcfgsh execute fail!"));
                return true;
            }
            f.Console(6471, kBlack);
            f.Notify(kUpdateDetail, LoadStr(6471));
            f.RequestGet("/stmp/cfgbk");
            f.SessionStep = kStepBakGet;
            return true;
        case kStepBakGet:
        case kStepVersionGet:
            if (failed)
                return Fail(msg), true;
            if (OpenLocal(f.SessionStep == kStepBakGet ? "cfgbk" : "cfgversion")) {
                f.SessionStep = f.SessionStep == kStepBakGet ? kStepBakData : kStepVersionData;
            }
            return true;
        default:
            if (failed)
                return Fail(msg), true;
            return false;
    }
}

bool CMainFrame::CBackupProc::OnGetOver() {
    CMainFrame& f = m_f;
    if (f.SessionStep == kStepBakData) {
        f.CloseTransferFile();
        f.Console(6477, kBlack);
        f.RequestGet("/config/cfgversion");
        f.SessionStep = kStepVersionGet;
        return true;
    }
    if (f.SessionStep != kStepVersionData) {
        return false;
    }
    f.CloseTransferFile();
    f.Console(6479, kBlack);
    std::string error;
    const int written = WriteBackupFile(f.m_backupPath, &error);
    RemoveBackupCopies();
    if (written != 0) {
        // No backup on the disk: an update waiting for it does not start.
        const std::string text = FormatStr(9205, error.c_str());
        f.Console(text, kRed);
        f.Notify(kUpdateError, text);
        if (f.m_autoBackup) {
            f.Console(9207, kRed);
            f.Notify(kUpdateError, LoadStr(9207));
        }
        Fail(std::nullopt);
        return true;
    }
    f.Console(FormatStr(6480, f.m_backupPath.c_str()), kBlue);
    f.Console(6481, kBlue);
    f.m_lastProcedureOk = true;
    if (f.m_autoBackup) {
        f.ContinueUpdateAfterBackup(true);
        return true;
    }
    f.EndGatewayProcedure(true);
    return true;
}

void CMainFrame::CBackupProc::OnDownloadWriteFailed(const std::string& text) {
    RemoveBackupCopies();
    m_f.Notify(kUpdateError, text);
    m_f.Notify(kUpdateFinal, "FAILED:");
    m_f.m_autoBackup = false;
    m_f.m_lastProcedureOk = false;
}

// ---------------------------------------------------------------------------------------------
// Restore a backup

bool CMainFrame::RestoreBackup() {
    if (Busy()) {
        return false;
    }
    Operator* op = GetOperator();
    if (!op || !op->AskYesNo(LoadStr(6517))) {
        Console(6505, kBlack);
        return false;
    }
    std::optional<std::string> path = op->ChooseOpenFile("", kBackupFilter);
    if (!path) {
        Console(6505, kBlack);
        return false;
    }
    Console(6518, kBlack);
    if (!RestoreCheck(*op, *path, DeviceVersion())) {
        RemoveBackupCopies();
        return false;
    }
    Console(6522, kBlack);
    SessionState = kStateRestore;
    ExecuteCommand("ls /usr/sbin/prercovcfgsh");
    SessionStep = kStepRcovLs;
    return true;
}

void CMainFrame::CRestoreProc::Fail(const std::optional<std::string>& text) {
    CMainFrame& f = m_f;
    RemoveBackupCopies();
    const std::string message = FormatStr(6448, ProcedureErrorNumber(f.SessionStep, kRestoreBase));
    if (text && !text->empty()) {
        f.Console(*text, kRed);
        f.Console("\n", kBlack);
    }
    f.Console(message, kRed);
    f.EndGatewayProcedure(false);
}

bool CMainFrame::CRestoreProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    const bool failed = result != 0;
    const RemotePaths& paths = m_f.Paths();
    if (failed && f.SessionStep != kStepRcovLs) {
        Fail(msg);
        return true;
    }
    switch (f.SessionStep) {
        case kStepRcovLs:
            f.m_ownScripts = !failed;
            if (f.m_ownScripts) {
                f.ExecuteCommand("/usr/sbin/prercovcfgsh");
                f.SessionStep = kStepPreRcovRun;
            } else {
                f.RequestPut(paths.prercovcfgsh);
                f.SessionStep = kStepPreRcovPut;
            }
            return true;
        case kStepPreRcovPut:
            if (!f.PutFile(Helper(paths, "prercovcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = kStepPreRcovOver;
            return true;
        case kStepPreRcovOver:
            f.ExecuteCommand(paths.prercovcfgsh);
            f.SessionStep = kStepPreRcovRun;
            return true;
        case kStepPreRcovRun:
            f.Console(6468, kBlack);
            f.RequestPut("/stmp/cfgbk");
            f.SessionStep = kStepCfgbkPut;
            return true;
        case kStepCfgbkPut:
            if (!f.PutFile(WorkPath("cfgbk", "tmp")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = f.m_ownScripts ? kStepRcovRun : kStepCfgbkOver;
            return true;
        case kStepCfgbkOver:
            f.RequestPut(paths.rcovcfgsh);
            f.SessionStep = kStepRcovPut;
            return true;
        case kStepRcovPut:
            if (!f.PutFile(Helper(paths, "rcovcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = kStepRcovRun;
            return true;
        case kStepRcovRun:
            f.Console(6469, kBlack);
            f.ExecuteCommand(f.m_ownScripts ? "/usr/sbin/rcovcfgsh" : paths.rcovcfgsh);
            f.SessionStep = kStepRebootAfterRestore;
            return true;
        case kStepRebootAfterRestore:
            RemoveBackupCopies();  // applied: the gateway holds the configuration now
            f.Console(6470, kBlue);
            f.ExecuteCommand("reboot");
            f.EndGatewayProcedure(true);
            f.CloseAsDropped();
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Factory defaults

bool CMainFrame::RestoreFactoryDefaults() {
    if (Busy()) {
        return false;
    }
    Operator* op = GetOperator();
    if (!op) {
        return false;
    }
    SessionState = kStateFactory;
    m_memberFinished = false;
    auto stop = [&](int id, std::uint32_t colour) {
        if (id)
            Console(id, colour);
        SessionState = 0;
        return false;
    };
    if (!m_combinedRunning) {
        std::optional<std::string> path = op->ChooseOpenFile("", kPackageFilter);
        if (!path) {
            return stop(6505, kBlack);
        }
        if (IsCombinedPackage(*path)) {
            op->ShowMessage(LoadStr(6616));
            return stop(0, kBlack);
        }
        if (!op->AskYesNo(LoadStr(6512))) {
            return stop(6505, kBlack);
        }
        const StoreResult stored = StorePackage(*path);
        if (stored.error != 0) {
            Console(stored.errorText, kRed);
            return stop(6748, kRed);
        }
    }
    Console(6513, kBlack);
    Console(6507, kBlack);
    if (m_combinedRunning) {
        Notify(kUpdateDetail, LoadStr(6513));
        Notify(kUpdateDetail, LoadStr(6507));
    }
    std::string appVersion, cfgVersion, fileName;
    if (!LoadCurrentSinglePackage(m_pkg, *op, m_combinedRunning, appVersion, cfgVersion,
                                  fileName)) {
        if (m_combinedRunning) {
            Notify(kUpdateFinal, std::string("FAILED:") + LoadStr(6508));
        }
        return stop(6508, kRed);
    }
    m_pkg.m_packageFileName = fileName;
    m_pkg.m_cfgVersion = cfgVersion;
    if (DeviceVersion().empty()) {
        return stop(6514, kRed);
    }
    if (cfgVersion != DeviceVersion()) {
        const std::string question = FormatStr(6539, DeviceVersion().c_str(), cfgVersion.c_str());
        const bool agreed = m_combinedRunning
                                ? op->NotifyUpdatePage(kUpdateAsk, question) != kAnswerCancel
                                : op->AskOkCancel(question);
        if (!agreed) {
            return stop(6505, kBlack);
        }
    }
    if (!Connected) {
        ScheduleReconnect(kReasonFactory);
        return true;
    }
    BeginFactoryUpload();
    return true;
}

void CMainFrame::BeginFactoryUpload() {
    Console(6516, kBlack);
    if (m_combinedRunning) {
        Notify(kUpdateDetail, LoadStr(6516));
    }
    RequestPut(Paths().cfgpre);
    SessionState = kStateFactory;
    SessionStep = kStepCfgpreUpload;
}

void CMainFrame::CResumeFactory::Resume() {
    m_f.BeginFactoryUpload();
}

bool CMainFrame::CResumeFactory::Failed(const std::string&) {
    m_f.Console(6764, kRed);
    m_f.m_lastProcedureOk = false;
    return true;
}

void CMainFrame::CFactoryProc::Fail(const std::optional<std::string>& text, bool refused) {
    CMainFrame& f = m_f;
    const std::string message =
        FormatStr(refused ? 6549 : 6447, ProcedureErrorNumber(f.SessionStep, kFactoryBase));
    // Both endings reach a waiting update page, so a combined update never hangs on them.
    f.Notify(kUpdateFinal, "FAILED:" + message);
    if (text && !text->empty()) {
        f.Console(*text, kRed);
        f.Console("\n", kBlack);
    }
    f.Console(message, kRed);
    f.EndGatewayProcedure(false);
}

bool CMainFrame::CFactoryProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    const bool failed = result != 0;
    const RemotePaths& paths = m_f.Paths();
    if (failed) {
        Fail(msg, f.SessionStep == kStepCfgpreRun || f.SessionStep == kStepFactoryDone);
        return true;
    }
    auto unpkg = [](const char* name) { return WorkPath(name, "unpkg"); };
    switch (f.SessionStep) {
        case kStepCfgpreUpload:
            if (!f.PutFile(unpkg("cfgpre")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = kStepCfgpreOver;
            return true;
        case kStepCfgpreOver:
            f.ExecuteCommand(paths.cfgpre);
            f.SessionStep = kStepCfgpreRun;
            return true;
        case kStepCfgpreRun:
            f.Console(6465, kBlack);
            f.Notify(kUpdateDetail, LoadStr(6465));
            f.RequestPut("/stmp/cfg");
            f.SessionStep = kStepCfgPut;
            return true;
        case kStepCfgPut:
            if (!f.PutFile(unpkg("cfg")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = kStepCfgOver;
            return true;
        case kStepCfgOver:
            f.RequestPut(paths.cfgsh);
            f.SessionStep = kStepCfgshPut;
            return true;
        case kStepCfgshPut:
            if (!f.PutFile(unpkg("cfgsh")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = kStepCfgshOver;
            return true;
        case kStepCfgshOver:
            f.Console(6466, kBlack);
            f.Notify(kUpdateDetail, LoadStr(6466));
            f.ExecuteCommand(paths.cfgsh);
            f.SessionStep = kStepCfgshRun;
            return true;
        case kStepCfgshRun:
            f.ExecuteCommand(FactoryHistoryCommand(f.m_pkg.m_packageFileName));
            f.SessionStep = kStepFactoryDone;
            return true;
        case kStepFactoryDone:
            if (f.m_combinedRunning) {
                f.Console(6587, kBlue);
                f.Notify(kUpdateDetail, LoadStr(6587));
                f.EndGatewayProcedure(true);
                f.m_memberFinished = true;
                return true;
            }
            f.Console(6467, kBlue);
            f.ExecuteCommand("reboot");
            f.EndGatewayProcedure(true);
            f.CloseAsDropped();
            return true;
        default:
            return false;
    }
}

}  // namespace vorn
