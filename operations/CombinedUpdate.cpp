// The combined update: a driver on timer 3 runs the step list of a combined package one
// member at a time, and the two procedures it owns itself, the script member and the refresh
// of the gateway's version.
#include <chrono>
#include <fstream>
#include <thread>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/CombinedProcedures.h"
#include "packages/CombinedPackage.h"

namespace vorn {

std::atomic<int> g_memberInProgress{0};

namespace {

constexpr int kUpdateStepBase = 4;
constexpr int kStepScriptPut = 53;
constexpr int kStepScriptPutOver = 54;
constexpr int kStepScriptRun = 55;
constexpr int kStepScriptResult = 56;
constexpr int kStepVersionGet = 62;
constexpr int kRestartGapMs = 500;

enum : int {
    kEventProgress = 6,
    kEventError = 7,
    kEventMember = 9,
    kEventFinal = 12,
    kEventRestart = 13,
};

}  // namespace

bool PlainMemberName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

std::string CMainFrame::CombinedScriptPath() const {
    return m_layoutFlag == 0 ? "/var/vorncmd/compose.sh" : "/etc/vorncmd/compose.sh";
}

void CMainFrame::PostUpdate(int code, const std::string& text) {
    if (Operator* op = GetOperator()) {
        op->NotifyUpdatePage(code, text);
    }
}

void CMainFrame::CloseAfterRestart() {
    std::this_thread::sleep_for(std::chrono::milliseconds(kRestartGapMs));
    SessionState = 0;
    CloseSession(kSocketTcp, 0);
}

void CMainFrame::UpdateFailure(const std::optional<std::string>& text) {
    if (text && !text->empty()) {
        Console(*text, kRed);
        Console("\n", kBlack);
        PostUpdate(kEventError, *text);
    }
    const std::string message = FormatStr(6446, SessionStep - kUpdateStepBase);
    Console(message, kRed);
    PostUpdate(kEventError, message);
    Console(6560, kRed);
    PostUpdate(kEventError, LoadStr(6560));
    EndProcedure();
    PostUpdate(kEventFinal, "FAILED:");
}

void CMainFrame::OnTimer(std::uint32_t id) {
    if (id == kTimerCombined) {
        CombinedTick();
    }
}

// ---------------------------------------------------------------------------------------------
// Driver

bool CMainFrame::StartCombinedUpdate() {
    if (m_combinedRunning) {
        return false;
    }
    if (!PrepareCombinedUpdate(m_package, *GetOperator())) {
        PostUpdate(kEventError, LoadStr(6739));
        PostUpdate(kEventFinal, "FAILED:");
        return false;
    }
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
    m_combinedRunning = 1;
    m_memberCounter = 0;
    m_memberFinished = 0;
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
    m_f.PostUpdate(kEventError, text);
    m_f.PostUpdate(kEventFinal, "FAILED:");
    return true;
}

void CMainFrame::CombinedTick() {
    if (!m_combinedRunning) {
        return;
    }
    m_combinedTimer = CTimer::Instance().AddTimer(Target(), kTimerCombined, kCombinedTickMs);
    if (g_memberInProgress) {
        if (SessionState != 0 || !LoaderIdle()) {
            return;
        }
        if (!m_memberFinished) {
            g_memberInProgress = 0;
            m_combinedRunning = 0;
            Console(6584, kRed);
            PostUpdate(kEventError, LoadStr(6584));
            PostUpdate(kEventFinal, "FAILED:");
            return;
        }
    }
    if (m_package.m_combinedSteps.empty()) {
        FinishCombinedUpdate();
        return;
    }
    g_memberInProgress = 1;
    PostUpdate(kEventMember, StrPrintf("COMPOSE:%d", m_memberCounter + 1));
    const CombinedStep step = m_package.m_combinedSteps.front();
    m_package.m_combinedSteps.pop_front();
    m_memberFinished = 0;
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
    m_combinedRunning = 0;
    CTimer::Instance().DelTimer(m_combinedTimer);
    Console(6585, kBlue);
    PostUpdate(kEventFinal, std::string("SUCCEED:") + LoadStr(6585));
    PostUpdate(kEventFinal, "SUCCEED:END");
    if (m_package.m_needRestart) {
        Console(6558, kRed);
        PostUpdate(kEventRestart, LoadStr(6558));
        ExecuteCommand("reboot");
    } else {
        PostUpdate(kEventRestart, "");
    }
    CloseAfterRestart();
}

// ---------------------------------------------------------------------------------------------
// Script member (SessionState 13)

void CMainFrame::RunScriptMember(const std::string& name) {
    m_memberFinished = 0;
    m_scriptMember = name;
    const std::string text = FormatStr(6586, name.c_str());
    Console(text, kBlack);
    PostUpdate(kEventProgress, text);
    SessionState = kStateScriptMember;
    SessionStep = kStepScriptPut;
    if (!PlainMemberName(name)) {
        // A plan must not reach files outside the unpacked package.
        UpdateFailure("Invalid member name in the package plan: " + name);
        return;
    }
    RequestPut(CombinedScriptPath());
}

bool CMainFrame::CScriptMemberProc::OnResult(int result, const std::optional<std::string>& msg) {
    CMainFrame& f = m_f;
    if (result != 0) {
        if (f.SessionStep == kStepScriptRun) {
            f.Console("shell execute failed\n", kRed);
            f.PostUpdate(kEventError, "shell execute failed\n");
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
                f.Console(6561, kRed);
                f.PostUpdate(kEventError, LoadStr(6561));
                f.UpdateFailure(std::nullopt);
                return true;
            }
            f.SendPutOver();
            f.SessionStep = kStepScriptPutOver;
            return true;
        case kStepScriptPutOver:
            f.ExecuteCommand(f.CombinedScriptPath());
            f.SessionStep = kStepScriptRun;
            return true;
        case kStepScriptRun:
            f.Console(6564, kBlue);
            f.PostUpdate(kEventProgress, LoadStr(6564));
            f.m_memberFinished = 1;
            f.EndProcedure();
            return true;
        case kStepScriptResult:
            if (!f.BeginDownload(WorkPath("tempresult", "tmp"), std::nullopt, false)) {
                f.PostUpdate(kEventError, "tempresult");
                f.EndProcedure();
                f.PostUpdate(kEventFinal, "FAILED:");
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
    f.PostUpdate(kEventError, text);
    f.EndProcedure();  // the member-finished flag stays clear: the driver stops
    return true;
}

void CMainFrame::CScriptMemberProc::OnDownloadWriteFailed(const std::string& text) {
    m_f.PostUpdate(kEventError, text);
    m_f.PostUpdate(kEventFinal, "FAILED:");
}

// ---------------------------------------------------------------------------------------------
// Version refresh (SessionState 14)

void CMainFrame::RefreshGatewayVersion() {
    m_memberFinished = 0;
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
    std::ofstream(WorkPath("version.txt", "tmp"), std::ios::binary | std::ios::trunc) << report;
    const std::size_t nl = report.find('\n');
    f.SetDeviceVersion(f.NormalizeVersion(nl != std::string::npos && nl > 0 ? report.substr(0, nl)
                                                                             : report));
    f.m_memberFinished = 1;
    f.EndProcedure();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Members of the update procedures

void CMainFrame::StartPackageMember(const std::string& name) {
    Console(StrPrintf("Package member %s cannot be installed by this program.\n", name.c_str()),
            kRed);
}

void CMainFrame::StartFactoryMember() {
    Console("Factory defaults cannot be restored by this program.\n", kRed);
    SessionState = 0;
}

}  // namespace vorn
