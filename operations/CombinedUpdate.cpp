// The combined update: a driver on timer 3 runs the step list of a combined package one
// member at a time, and the two procedures it owns itself, the script member and the refresh
// of the gateway's version.
#include <filesystem>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/CombinedProcedures.h"
#include "operations/GatewayProcedures.h"
#include "operations/RemotePaths.h"
#include "packages/CombinedPackage.h"
#include "packages/SinglePackage.h"
#include "platform/DataFile.h"
#include "platform/SystemError.h"

namespace vorn {

std::atomic<int> g_memberInProgress{0};

namespace {

constexpr int kUpdateStepBase = 4;
constexpr int kStepScriptPut = 53;
constexpr int kStepScriptPutOver = 54;
constexpr int kStepScriptRun = 55;
constexpr int kStepScriptResult = 56;
constexpr int kStepVersionGet = 62;
// Results of the combined loader thread.
enum : int { kCombinedLoadFailed = 0, kCombinedPrepared = 1, kCombinedPlanFailed = 2 };

}  // namespace

bool PlainMemberName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

void CMainFrame::UpdateFailure(const std::optional<std::string>& text) {
    if (text && !text->empty()) {
        Console(*text, kRed);
        Console("\n", kBlack);
        Notify(kUpdateError, *text);
    }
    const std::string message = FormatStr(6446, SessionStep - kUpdateStepBase);
    Console(message, kRed);
    Notify(kUpdateError, message);
    Console(6560, kRed);
    Notify(kUpdateError, LoadStr(6560));
    EndProcedure();
    Notify(kUpdateFinal, "FAILED:");
}

// ---------------------------------------------------------------------------------------------
// Driver

bool CMainFrame::StartCombinedUpdate() {
    if (m_combinedRunning) {
        return false;
    }
    if (!PrepareCombinedUpdate(m_pkg, *GetOperator())) {
        Notify(kUpdateError, LoadStr(6739));
        Notify(kUpdateFinal, "FAILED:");
        return false;
    }
    return LaunchCombinedUpdate();
}

bool CMainFrame::LaunchCombinedUpdate() {
    if (!Connected) {
        SessionState = kStateSingleUpdate;  // busy until the reconnect resumes here
        ScheduleReconnect(kReconnectCombined);
        return true;
    }
    BeginCombinedDriver();
    return true;
}

void CMainFrame::BeginCombinedDriver() {
    ConnectReason = 0;
    m_combinedRunning = true;
    m_memberCounter = 0;
    m_combinedNeedRestart = false;
    m_memberFinished = false;
    g_memberInProgress = 0;
    LogWrite("Begin combined update", kLogInfo);
    CTimer::Instance().start();
    m_combinedTimer = CTimer::Instance().AddTimer(Target(), kTimerCombined, kCombinedTickMs);
}

void CMainFrame::CCombinedReconnect::Resume() {
    m_f.SessionState = 0;
    m_f.BeginCombinedDriver();
}

bool CMainFrame::CCombinedReconnect::Failed(const std::string& text) {
    m_f.SessionState = 0;
    m_f.ConnectReason = 0;
    m_f.Notify(kUpdateError, text);
    m_f.Notify(kUpdateFinal, "FAILED:");
    return true;
}

void CMainFrame::CombinedTick() {
    if (!m_combinedRunning) {
        return;
    }
    m_combinedTimer = CTimer::Instance().AddTimer(Target(), kTimerCombined, kCombinedTickMs);
    if (g_memberInProgress && (SessionState != 0 || !LoaderIdle())) {
        return;
    }
    // A member that did not succeed stops the update, and so does a link that went away
    // between members (the next step could only wait for a reply that never comes).
    if ((g_memberInProgress && !m_memberFinished) || !Connected) {
        g_memberInProgress = 0;
        m_combinedRunning = false;
        Console(6584, kRed);
        Notify(kUpdateError, LoadStr(6584));
        Notify(kUpdateFinal, "FAILED:");
        return;
    }
    if (m_pkg.m_combinedSteps.empty()) {
        FinishCombinedUpdate();
        return;
    }
    g_memberInProgress = 1;
    Notify(kUpdateMember, StrPrintf("COMPOSE:%d", m_memberCounter + 1));
    const CombinedStep step = m_pkg.m_combinedSteps.front();
    m_pkg.m_combinedSteps.pop_front();
    m_memberFinished = false;
    switch (step.type) {
        case 1:
            ++m_memberCounter;
            StartPackageMember(step.name);
            break;
        case 2:
            ++m_memberCounter;
            // Busy at once, so that no tick sees an idle link before the member has begun.
            SessionState = kStateSingleUpdate;
            StartFactoryMember();
            break;
        case 3:
            ++m_memberCounter;
            RunScriptMember(step.name);
            break;
        case 4:
            RefreshGatewayVersion();
            break;
        default:
            break;  // not produced by the plan reader; the next tick stops the update
    }
}

void CMainFrame::FinishCombinedUpdate() {
    g_memberInProgress = 0;
    m_combinedRunning = false;
    CTimer::Instance().DelTimer(m_combinedTimer);
    Console(6585, kBlue);
    Notify(kUpdateFinal, std::string("SUCCEED:") + LoadStr(6585));
    Notify(kUpdateFinal, "SUCCEED:END");
    if (m_pkg.m_needRestart || m_combinedNeedRestart) {
        Console(6558, kRed);
        Notify(kUpdateRestart, LoadStr(6558));
        ExecuteCommand("reboot");
    } else {
        Notify(kUpdateRestart, "");
    }
    CloseAsDropped();
}

// ---------------------------------------------------------------------------------------------
// Script member (SessionState 13)

void CMainFrame::RunScriptMember(const std::string& name) {
    m_memberFinished = false;
    m_scriptMember = name;
    const std::string text = FormatStr(6586, name.c_str());
    Console(text, kBlack);
    Notify(kUpdateDetail, text);
    SessionState = kStateScriptMember;
    SessionStep = kStepScriptPut;
    if (!PlainMemberName(name)) {
        // A plan must not reach files outside the unpacked package.
        UpdateFailure("Invalid member name in the package plan: " + name);
        return;
    }
    RequestPut(Paths().composeScript);
}

void CMainFrame::CScriptMemberProc::OnUploadFailed() {
    m_f.Console(6561, kRed);
    m_f.Notify(kUpdateError, LoadStr(6561));
    m_f.UpdateFailure(std::nullopt);
}

bool CMainFrame::CScriptMemberProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    if (result != 0) {
        if (f.SessionStep == kStepScriptRun) {
            f.Console("shell execute failed\n", kRed);
            f.Notify(kUpdateError, "shell execute failed\n");
            f.FetchResultFile(kStepScriptResult);
            return true;
        }
        if (msg && !msg->empty()) {
            f.Console(StrPrintf("(%s)\n", msg->c_str()), kRed);
        }
        f.UpdateFailure(std::nullopt);
        return true;
    }
    switch (f.SessionStep) {
        case kStepScriptPut:
            if (!f.PutFile(WorkPath(f.m_scriptMember, "compose_unpkg"))) {
                OnUploadFailed();
                return true;
            }
            f.SendPutOver();
            f.SessionStep = kStepScriptPutOver;
            return true;
        case kStepScriptPutOver:
            f.ExecuteCommand(f.Paths().composeScript);
            f.SessionStep = kStepScriptRun;
            return true;
        case kStepScriptRun:
            f.Console(6564, kBlue);
            f.Notify(kUpdateDetail, LoadStr(6564));
            f.m_memberFinished = true;
            f.EndProcedure();
            return true;
        case kStepScriptResult:
            if (!f.BeginDownload(WorkPath("tempresult", "tmp"), std::nullopt, false)) {
                f.Notify(kUpdateError, "tempresult");
                f.EndProcedure();
                f.Notify(kUpdateFinal, "FAILED:");
            }
            return true;
        default:
            return false;
    }
}

bool CMainFrame::CScriptMemberProc::OnGetOver() {
    CMainFrame& f = m_f;
    if (f.SessionStep != kStepScriptResult) {
        return false;
    }
    std::string text;
    f.ReadResultFile(text);
    text += "\n";
    f.Console(text, kBlack);
    f.Notify(kUpdateError, text);
    f.EndProcedure();  // the member-finished flag stays clear: the driver stops
    return true;
}

void CMainFrame::CScriptMemberProc::OnDownloadWriteFailed(const std::string& text) {
    m_f.Notify(kUpdateError, text);
    m_f.Notify(kUpdateFinal, "FAILED:");
}

// ---------------------------------------------------------------------------------------------
// Version refresh (SessionState 14)

void CMainFrame::RefreshGatewayVersion() {
    m_memberFinished = false;
    SetDeviceVersion("");  // the received bytes are appended to it
    SessionState = kStateVersionRefresh;
    SessionStep = kStepVersionGet;
    RequestGet("/app/appversion");
}

bool CMainFrame::CVersionRefreshProc::OnResult(int result, const std::optional<std::string>&) {
    CMainFrame& f = m_f;
    if (f.SessionStep != kStepVersionGet) {
        return false;
    }
    if (result != 0) {
        f.Console(6458, kRed);
        f.EndProcedure();  // the member-finished flag stays clear: the driver stops
    }
    return true;
}

bool CMainFrame::CVersionRefreshProc::OnGetOver() {
    CMainFrame& f = m_f;
    if (f.SessionStep != kStepVersionGet) {
        return false;
    }
    // The whole report is kept where the login keeps it; the version text is its first
    // line in the same form as after a login.
    const std::string report = f.DeviceVersion();
    if (!WriteDataFile(WorkPath("version.txt", "tmp"), report)) {
        LogWrite("keeping the version report failed: " + SystemErrorText(errno), kLogWarn);
    }
    f.m_versionReport = report;
    const std::size_t nl = report.find('\n');
    f.SetDeviceVersion(
        f.NormalizeVersion(nl != std::string::npos && nl > 0 ? report.substr(0, nl) : report));
    f.m_memberFinished = true;
    f.EndProcedure();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Members of the update procedures

void CMainFrame::StartPackageMember(const std::string& name) {
    m_memberFinished = false;
    if (!PlainMemberName(name)) {
        Console("Invalid member name in the package plan: " + name + "\n", kRed);
        Notify(kUpdateError, "Invalid member name in the package plan: " + name);
        Notify(kUpdateFinal, "FAILED:");
        return;
    }
    // The loader thread loads the member as the current single package; its end starts the
    // single-package update (OnSingleLoaderDone).
    StartMemberPackageLoad(*this, name);
}

void CMainFrame::StartFactoryMember() {
    // The factory procedure checks for a busy link itself; the driver's busy mark only kept
    // ticks away until here.
    SessionState = 0;
    if (!RestoreFactoryDefaults()) {
        SessionState = 0;
    }
}

// ---------------------------------------------------------------------------------------------
// Combined loader thread

void CMainFrame::StartCombinedLoader() {
    JoinLoader();
    m_loaderFinished = false;
    m_loaderIdle = false;
    m_memberCounter = 0;
    m_loaderState = std::make_unique<PackageState>(m_pkg);
    const std::string path = m_pkg.m_packagePath;
    const std::string fileName = std::filesystem::path(path).filename().string();
    const bool prepare = !m_combinedRunning;
    m_loader = std::thread([path, fileName, prepare, state = m_loaderState.get(),
                            out = m_loaderOutput.get(), guard = Target()->guard()] {
        LogWrite("Begin Load ComposePackage Thread", kLogDebug);
        int result = kCombinedLoadFailed;
        if (LoadCombinedPackageForUpdate(*state, *out, path, fileName)) {
            out->NotifyUpdatePage(kUpdateCombinedLoaded, "");
            result = !prepare || PrepareCombinedUpdate(*state, *out) ? kCombinedPrepared
                                                                     : kCombinedPlanFailed;
        }
        guard->post(kMsgCombinedLoaderDone, static_cast<WParam>(result));
    });
}

void CMainFrame::OnCombinedLoaderDone(int result) {
    m_loaderOutput->Drain(GetOperator());
    JoinLoader();
    if (m_loaderState) {
        m_pkg = std::move(*m_loaderState);
        m_loaderState.reset();
    }
    m_loaderFinished = true;
    m_loaderIdle = true;
    if (result == kCombinedLoadFailed) {
        for (const char* folder : {"compose_pkg", "compose_unpkg", "curpkg", "oldpkg"}) {
            ClearWorkFolder(folder);
        }
        m_pkg.m_updateTips.clear();
        Notify(kUpdateFinal, "FAILED:");  // the wizard waits for a final result
        return;
    }
    if (result == kCombinedPlanFailed) {
        Notify(kUpdateError, LoadStr(6739));
        Notify(kUpdateFinal, "FAILED:");
        return;
    }
    if (!m_combinedRunning) {
        LaunchCombinedUpdate();
    }
}

}  // namespace vorn
