// The main frame as package host: login hooks that choose the script layout, the update and
// pre-check timers, the loader threads and the report of a link lost during a procedure.
#include <chrono>
#include <deque>
#include <fstream>
#include <iterator>
#include <mutex>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/GatewayProcedures.h"
#include "operations/RemotePaths.h"
#include "packages/BackupFile.h"
#include "packages/CombinedPackage.h"
#include "packages/Envelope.h"
#include "packages/SinglePackage.h"
#include "packages/VersionRules.h"
#include "platform/SocketErrors.h"

namespace vorn {
void CMainFrame::InitGatewayProcedures() {
    m_singleProc = std::make_unique<CSingleUpdateProc>(*this);
    m_preCheckProc = std::make_unique<CPreCheckProc>(*this);
    m_backupProc = std::make_unique<CBackupProc>(*this);
    m_restoreProc = std::make_unique<CRestoreProc>(*this);
    m_factoryProc = std::make_unique<CFactoryProc>(*this);
    m_resumeUpdate = std::make_unique<CResumeUpdate>(*this);
    m_resumePreCheck = std::make_unique<CResumePreCheck>(*this);
    m_resumeFactory = std::make_unique<CResumeFactory>(*this);
    m_loaderOutput = std::make_unique<CLoaderOutput>(Target()->guard());
    m_restartWaitProc = std::make_unique<CRestartWaitProc>();
    RegisterProcedure(kStateRestartWait, m_restartWaitProc.get());
    RegisterProcedure(kStateSingleUpdate, m_singleProc.get());
    RegisterProcedure(kStatePreCheck, m_preCheckProc.get());
    RegisterProcedure(kStateBackup, m_backupProc.get());
    RegisterProcedure(kStateRestore, m_restoreProc.get());
    RegisterProcedure(kStateFactory, m_factoryProc.get());
    RegisterReconnect(kReasonSingleUpdate, m_resumeUpdate.get());
    RegisterReconnect(kReasonPreCheck, m_resumePreCheck.get());
    RegisterReconnect(kReasonFactory, m_resumeFactory.get());
    SetResultFilePath(m_paths.result);
}

void CMainFrame::ReleaseGatewayProcedures() {
    JoinLoader();
    for (int state : {int(kStateSingleUpdate), int(kStatePreCheck), int(kStateBackup),
                      int(kStateRestore), int(kStateFactory), int(kStateRestartWait)}) {
        RegisterProcedure(state, nullptr);
    }
    for (int reason : {int(kReasonSingleUpdate), int(kReasonPreCheck), int(kReasonFactory)}) {
        RegisterReconnect(reason, nullptr);
    }
}

// ---------------------------------------------------------------------------------------------
// Login hooks

void CMainFrame::OnLoginVersion(const std::string& version) {
    // The whole version report is still in the downloaded version file.
    std::ifstream in(WorkPath("version.txt", "tmp"), std::ios::binary);
    m_versionReport.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (m_versionReport.empty()) {
        m_versionReport = version;
    }
    const VersionClass c = ClassifyVersion(version);
    SetLayout(c.layoutFlag, c.productLine);
}

void CMainFrame::SetLayout(int flag, int productLine) {
    m_layoutFlag = flag;
    m_productLine = productLine;
    m_paths = RemotePathsFor(m_layoutFlag, m_productLine);
    SetResultFilePath(m_paths.result);
    NotifySessionChanged();
}

void CMainFrame::OnDeviceChosen(int model, int series) {
    m_versionReport.clear();
    SetLayout(model == 0 ? 0 : 1, series);
}

void CMainFrame::OnConnectionLost(int state, int /*errorCode*/) {
    // Whatever the close code, a procedure that someone waits for learns that it failed.
    if (state == kStateSingleUpdate || CombinedUpdateRunning() ||
        (state == kStateBackup && m_autoBackup)) {
        Notify(kUpdateError, LoadStr(6766));
        Notify(kUpdateFinal, std::string("FAILED:") + LoadStr(6714));
        Console(std::string(LoadStr(6714)) + "\n", kRed);
    } else if (state == kStatePreCheck) {
        NotifyCheck(kCheckResult, std::string("FAILED:") + LoadStr(6766));
    }
    if (state == kStateBackup || state == kStateRestore || state == kStateFactory) {
        m_lastProcedureOk = false;
    }
    if (state == kStateBackup || state == kStateRestore) {
        RemoveBackupCopies();  // the gateway's configuration is not left lying in "tmp"
    }
    m_autoBackup = false;
}

// ---------------------------------------------------------------------------------------------
// Package host

bool CMainFrame::LoadLocalPackage(const std::string& path) {
    Operator* op = GetOperator();
    if (!op) {
        return false;
    }
    return vorn::LoadLocalPackage(m_pkg, *op, *this, path);
}

bool CMainFrame::ShowUpdateTipsDialog(const std::string& tips, const std::string&,
                                      const std::string&) {
    // A single package is confirmed once, when its update starts (update event 11, with the
    // pre-upgrade check). A combined package has no such later step, so the same
    // confirmation is asked now, before anything reaches the gateway.
    if (!IsCombinedPackage(m_pkg.m_packagePath)) {
        return true;
    }
    Operator* op = GetOperator();
    // As with event 11 of a single update, only an explicit Cancel abandons it.
    if (!op || op->NotifyUpdatePage(kUpdateConfirm, tips) != kConfirmCancel) {
        return true;
    }
    Notify(kUpdateFinal, "ABORT:");
    return false;
}

void CMainFrame::SendToLoadPage(const std::string& text) {
    // A package that does not load ends the update; the other results are load results.
    Notify(text.rfind("FAILEDLOAD:", 0) == 0 ? 12 : 0, text);
}

void CMainFrame::StartUpdateTimer() {
    CTimer::Instance().start();
    CTimer::Instance().AddTimer(Target(), m_loadForCheck ? kTimerPreCheckStart : kTimerUpdateStart,
                                500);
}

void CMainFrame::ArmPreCheckTimer(int ms) {
    CTimer::Instance().start();
    CTimer::Instance().AddTimer(Target(), kTimerPreCheckStart, ms);
}

void CMainFrame::StartSinglePackageLoader(const std::string& path) {
    StartSingleLoader(path, PackageFileName(path));
}

void CMainFrame::OnTimer(std::uint32_t id) {
    if (id == kTimerUpdateStart) {
        LogWrite("Begin Update Device", kLogInfo);
        Notify(kUpdateStarted, "");
        if (IsCombinedPackage(m_pkg.m_packagePath)) {
            StartCombinedLoader();
        } else {
            StartSingleLoader(m_pkg.m_packagePath, PackageFileName(m_pkg.m_packagePath));
        }
    } else if (id == kTimerPreCheckStart) {
        StartPreCheckLoader();
    } else if (id == kTimerCombined) {
        CombinedTick();
    } else if (id == kTimerRestartWait) {
        // A Disconnect during the wait has closed the link already.
        if (SessionState == kStateRestartWait) {
            SessionState = 0;
            CloseSession(kSocketTcp, 0);
        }
    }
}

void CMainFrame::OnOtherMessage(unsigned msg, WParam w, LParam) {
    switch (msg) {
        case kMsgLoaderOutput:
            m_loaderOutput->Drain(GetOperator());
            break;
        case kMsgSingleLoaderDone:
            m_loaderOutput->Drain(GetOperator());
            OnSingleLoaderDone(w != 0);
            break;
        case kMsgCombinedLoaderDone:
            OnCombinedLoaderDone(static_cast<int>(w));
            break;
        case kMsgPreCheckLoaderDone:
            m_loaderOutput->Drain(GetOperator());
            OnPreCheckLoaderDone(w != 0);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Loader threads

void CMainFrame::JoinLoader() {
    if (m_loader.joinable()) {
        m_loader.join();
    }
}

void CMainFrame::StartSingleLoader(const std::string& path, const std::string& fileName) {
    JoinLoader();
    m_loaderFinished = false;
    m_loaderIdle = false;
    // The thread works on its own copy of the package state; the frame takes it back when
    // the thread reports.
    m_loaderState = std::make_unique<PackageState>(m_pkg);
    const bool combined = m_combinedRunning;
    m_loader = std::thread([this, path, fileName, combined, state = m_loaderState.get(),
                            out = m_loaderOutput.get(), guard = Target()->guard()] {
        LogWrite("LoadSinglePkg", kLogDebug);
        const bool ok = LoadSinglePackageForUpdate(*state, *out, *this, path, fileName);
        if (!ok && combined) {
            LogWrite("LoadSinglePkg Failed(compose)", kLogError);
        }
        m_loaderOk = ok;
        guard->post(kMsgSingleLoaderDone, ok ? 1 : 0);
    });
}

void CMainFrame::OnSingleLoaderDone(bool ok) {
    JoinLoader();
    if (m_loaderState) {
        m_pkg = std::move(*m_loaderState);
        m_loaderState.reset();
    }
    m_loaderFinished = true;
    m_loaderIdle = true;
    if (!ok) {
        if (!m_combinedRunning) {
            ClearWorkFolder("curpkg");
            ClearWorkFolder("oldpkg");
            m_pkg.m_updateTips.clear();
        }
        return;
    }
    if (m_combinedRunning) {
        // A member package of a combined update: install it now; the driver waits for the
        // end. A member asking for a restart gets it once, when the whole update is done.
        m_combinedNeedRestart = m_combinedNeedRestart || m_pkg.m_needRestart;
        StartSingleUpdate();
        return;
    }
    Notify(kUpdateLoadResult, "SUCCEED:");
    Notify(kUpdateSingleLoaded, "");
    // Update event 11 shows the confirmation (and runs the pre-upgrade check when chosen);
    // only an explicit Cancel abandons the update.
    Operator* op = GetOperator();
    const int answer = op ? op->NotifyUpdatePage(kUpdateConfirm, m_pkg.m_updateTips) : 1;
    if (answer == kConfirmCancel) {
        Notify(kUpdateFinal, "ABORT:");
        return;
    }
    StartSingleUpdate();
}

void CMainFrame::StartPreCheckLoader() {
    JoinLoader();
    m_loaderFinished = false;
    m_loaderIdle = false;
    m_loader = std::thread([this, out = m_loaderOutput.get(), guard = Target()->guard()] {
        LogWrite("Begin Load PreCheck Thread", kLogInfo);
        const std::string path = WorkPath("apppre", "unpkg").string();
        std::ifstream in(path, std::ios::binary);
        const bool ok = static_cast<bool>(in);
        if (!ok) {
            out->AppendConsole(StrPrintf("Get apppre from package failed!(%s)\r\n", path.c_str()),
                               kRed);
        } else {
            LogWrite("LoadAndPreCheck Succeed  ---single", kLogInfo);
        }
        m_loaderOk = ok;
        guard->post(kMsgPreCheckLoaderDone, ok ? 1 : 0);
    });
}

void CMainFrame::OnPreCheckLoaderDone(bool ok) {
    JoinLoader();
    m_loaderFinished = true;
    m_loaderIdle = true;
    if (!ok) {
        NotifyCheck(kCheckResult, std::string("FAILED:") + LoadStr(108));
        return;
    }
    StartPreUpdateCheck();
}

// ---------------------------------------------------------------------------------------------
// Shared steps

void CMainFrame::Notify(int code, const std::string& text) {
    if (Operator* op = GetOperator()) {
        op->NotifyUpdatePage(code, text);
    }
}

void CMainFrame::NotifyCheck(int code, const std::string& text) {
    if (Operator* op = GetOperator()) {
        op->NotifyCheckPage(code, text);
    }
}

void CMainFrame::EndGatewayProcedure(bool ok) {
    m_lastProcedureOk = ok;
    EndProcedure();
}

void CMainFrame::CloseAsDropped() {
    // The restart ends the link as if the gateway had dropped it, once the restart command
    // has had time to leave. The wait is a timer so the event loop keeps running.
    SessionState = kStateRestartWait;
    SessionStep = 0;
    CTimer::Instance().start();
    CTimer::Instance().AddTimer(Target(), kTimerRestartWait, kRestartWaitMs);
}

}  // namespace vorn
