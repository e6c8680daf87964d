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

constexpr int kBackupBase = 36;
constexpr int kRestoreBase = 27;
constexpr int kFactoryBase = 17;
constexpr const char* kPackageFilter = "Package (*.ssu ; *.SSU) |*.ssu;*.SSU|All Files (*.*)|*.*||";

std::string Helper(const std::string& name) {
    return InstallPath(name, CurrentRemotePaths().helperFolder).string();
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
    std::optional<std::string> target =
        op ? op->ChooseSaveFile(DefaultBackupName(Address()), kBackupFilter) : std::nullopt;
    if (!target) {
        Console(6505, kBlack);
        return false;
    }
    m_backupPath = *target;
    Console(6523, kBlack);
    SessionState = kStateBackup;
    ExecuteCommand("ls /usr/sbin/bakcfgsh");
    SessionStep = 36;
    return true;
}

void CMainFrame::CBackupProc::Fail(const std::optional<std::string>& text) {
    CMainFrame& f = m_f;
    if (text && !text->empty()) {
        const std::string line = StrPrintf("(%s)\n", text->c_str());
        f.Console(line, kRed);
        f.Notify(7, line);
        f.Notify(12, "FAILED:");
        f.m_autoBackup = false;
        f.EndGatewayProcedure(false);
        return;
    }
    const std::string message = FormatStr(6449, ProcedureErrorNumber(f.SessionStep, kBackupBase));
    f.Notify(12, "FAILED:" + message);
    f.Console(message, kRed);
    f.m_autoBackup = false;
    f.EndGatewayProcedure(false);
}

bool CMainFrame::CBackupProc::OpenLocal(const char* name) {
    if (m_f.BeginDownload(WorkPath(name, "tmp"), std::nullopt, false)) {
        return true;
    }
    const std::string text = SystemErrorText(errno);
    m_f.Notify(7, text);
    m_f.Notify(12, "FAILED:");
    Fail(std::nullopt);
    return false;
}

bool CMainFrame::CBackupProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    const bool failed = result != 0;
    const RemotePaths& paths = CurrentRemotePaths();
    switch (f.SessionStep) {
        case 36:
            if (!failed) {
                f.ExecuteCommand("/usr/sbin/bakcfgsh");
                f.SessionStep = 39;
                return true;
            }
            f.Console("bakcfgsh dos not exist!Upload it first.\n", kBlue);
            f.Notify(6, "bakcfgsh dos not exist!Upload it first.\n");
            f.RequestPut(paths.bakcfgsh);
            f.SessionStep = 37;
            return true;
        case 37:
            if (failed)
                return Fail(msg), true;
            if (!f.PutFile(Helper("bakcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = 38;
            return true;
        case 38:
            if (failed)
                return Fail(msg), true;
            f.ExecuteCommand(paths.bakcfgsh);
            f.SessionStep = 39;
            return true;
        case 39:
            if (failed) {
                // A refused script reports itself; its message (if any) says why.
                Fail(msg && !msg->empty() ? msg
                                          : std::optional<std::string>("bakcfgsh execute fail!"));
                return true;
            }
            f.Console(6471, kBlack);
            f.Notify(6, LoadStr(6471));
            f.RequestGet("/stmp/cfgbk");
            f.SessionStep = 40;
            return true;
        case 40:
        case 42:
            if (failed)
                return Fail(msg), true;
            if (OpenLocal(f.SessionStep == 40 ? "cfgbk" : "cfgversion")) {
                f.SessionStep = f.SessionStep == 40 ? 41 : 43;
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
    if (f.SessionStep == 41) {
        f.CloseTransferFile();
        f.Console(6477, kBlack);
        f.RequestGet("/config/cfgversion");
        f.SessionStep = 42;
        return true;
    }
    if (f.SessionStep != 43) {
        return false;
    }
    f.CloseTransferFile();
    f.Console(6479, kBlack);
    WriteBackupFile(f.m_backupPath);
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
    m_f.Notify(7, text);
    m_f.Notify(12, "FAILED:");
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
        return false;
    }
    Console(6522, kBlack);
    SessionState = kStateRestore;
    ExecuteCommand("ls /usr/sbin/prercovcfgsh");
    SessionStep = 27;
    return true;
}

void CMainFrame::CRestoreProc::Fail(const std::optional<std::string>& text) {
    CMainFrame& f = m_f;
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
    const RemotePaths& paths = CurrentRemotePaths();
    if (failed && f.SessionStep != 27) {
        Fail(msg);
        return true;
    }
    switch (f.SessionStep) {
        case 27:
            f.m_ownScripts = !failed;
            if (f.m_ownScripts) {
                f.ExecuteCommand("/usr/sbin/prercovcfgsh");
                f.SessionStep = 30;
            } else {
                f.RequestPut(paths.prercovcfgsh);
                f.SessionStep = 28;
            }
            return true;
        case 28:
            if (!f.PutFile(Helper("prercovcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = 29;
            return true;
        case 29:
            f.ExecuteCommand(paths.prercovcfgsh);
            f.SessionStep = 30;
            return true;
        case 30:
            f.Console(6468, kBlack);
            f.RequestPut("/stmp/cfgbk");
            f.SessionStep = 31;
            return true;
        case 31:
            if (!f.PutFile(WorkPath("cfgbk", "tmp")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = f.m_ownScripts ? 34 : 32;
            return true;
        case 32:
            f.RequestPut(paths.rcovcfgsh);
            f.SessionStep = 33;
            return true;
        case 33:
            if (!f.PutFile(Helper("rcovcfgsh")))
                return Fail(std::nullopt), true;
            f.SendPutOver();
            f.SessionStep = 34;
            return true;
        case 34:
            f.Console(6469, kBlack);
            f.ExecuteCommand(f.m_ownScripts ? "/usr/sbin/rcovcfgsh" : paths.rcovcfgsh);
            f.SessionStep = 35;
            return true;
        case 35:
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
        Notify(6, LoadStr(6513));
        Notify(6, LoadStr(6507));
    }
    std::string appVersion, cfgVersion, fileName;
    if (!LoadCurrentSinglePackage(m_pkg, *op, m_combinedRunning, appVersion, cfgVersion,
                                  fileName)) {
        if (m_combinedRunning) {
            Notify(12, std::string("FAILED:") + LoadStr(6508));
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
        const bool agreed =
            m_combinedRunning ? op->NotifyUpdatePage(2, question) != 2 : op->AskOkCancel(question);
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
        Notify(6, LoadStr(6516));
    }
    RequestPut(CurrentRemotePaths().cfgpre);
    SessionState = kStateFactory;
    SessionStep = 18;
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
    f.Notify(12, "FAILED:" + message);
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
    const RemotePaths& paths = CurrentRemotePaths();
    if (failed) {
        Fail(msg, f.SessionStep == 20 || f.SessionStep == 25);
        return true;
    }
    auto unpkg = [](const char* name) { return WorkPath(name, "unpkg"); };
    switch (f.SessionStep) {
        case 18:
            if (!f.PutFile(unpkg("cfgpre")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = 19;
            return true;
        case 19:
            f.ExecuteCommand(paths.cfgpre);
            f.SessionStep = 20;
            return true;
        case 20:
            f.Console(6465, kBlack);
            f.Notify(6, LoadStr(6465));
            f.RequestPut("/stmp/cfg");
            f.SessionStep = 21;
            return true;
        case 21:
            if (!f.PutFile(unpkg("cfg")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = 22;
            return true;
        case 22:
            f.RequestPut(paths.cfgsh);
            f.SessionStep = 23;
            return true;
        case 23:
            if (!f.PutFile(unpkg("cfgsh")))
                return Fail(std::nullopt, false), true;
            f.SendPutOver();
            f.SessionStep = 24;
            return true;
        case 24:
            f.Console(6466, kBlack);
            f.Notify(6, LoadStr(6466));
            f.ExecuteCommand(paths.cfgsh);
            f.SessionStep = 26;
            return true;
        case 26:
            f.ExecuteCommand(FactoryHistoryCommand(f.m_pkg.m_packageFileName));
            f.SessionStep = 25;
            return true;
        case 25:
            if (f.m_combinedRunning) {
                f.Console(6587, kBlue);
                f.Notify(6, LoadStr(6587));
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
