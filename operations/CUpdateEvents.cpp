#include "operations/CUpdateEvents.h"

#include <cstdlib>

#include "lib/CheckPageEvents.h"
#include "lib/Log.h"
#include "lib/ResultTokens.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/UpdatePageEvents.h"
#include "lib/WorkFolders.h"
#include "platform/ProfileString.h"
#include "operations/CMainFrame.h"
#include "operations/RemotePaths.h"

namespace vorn {

std::string UpdatingMemberText(const std::string& number, int total) {
    return LoadStr(6709) + number + FormatStr(6708, total);
}

void CUpdateEvents::BeginUpdate() {
    m_activity = kUpdating;
    m_outcome = Outcome::None;
    m_disconnected = false;
    m_combined = false;
    m_memberCount = 1;
}

void CUpdateEvents::BeginCheck() {
    m_activity = kChecking;
    m_preCheck = true;
    m_checkPassed = m_checkFinished = false;
    m_outcome = Outcome::None;
}

void CUpdateEvents::SetStatus(const std::string& text) {
    m_status = text;
    m_view.SetStatus(text);
}

void CUpdateEvents::SetCheckStatus(const std::string& text) {
    m_checkStatus = text;
    m_view.SetCheckStatus(text);
}

void CUpdateEvents::DeleteDownloadedFiles() {
    ClearWorkFolder("Download");
}

void CUpdateEvents::End(Outcome outcome) {
    m_outcome = outcome;
    m_activity = kIdle;
    m_view.SetBackEnabled(true);
}

int CUpdateEvents::NotifyUpdatePage(int code, const std::string& text) {
    // The restart notice follows the final result of a single update.
    const bool lateRestart = code == kUpdateRestart && Finished();
    if (m_activity != kUpdating && !lateRestart) {
        LogWrite("state error", kLogInfo);
        return -1;
    }
    switch (code) {
        case kUpdateLoadResult:
            if (HasToken(text, kTokenFailed)) {
                m_view.ShowMessage(text.substr(kTokenFailed.size()));
            } else if (HasToken(text, kTokenSucceed)) {
                m_view.ClearDetails();
                SetStatus(LoadStr(6697));
            }
            return -1;
        case kUpdateFatal:
            m_view.AppendDetail(text, kRed);
            DeleteDownloadedFiles();
            End(Outcome::Failed);
            return -1;
        case kUpdateAsk:
            if (m_memberCount <= 1) {
                return m_view.AskOkCancel(text) ? kAnswerOk : kAnswerCancel;
            }
            m_view.NoteUnaskedQuestion(text);
            return -1;
        case kUpdateStarted:
            m_view.SetBackEnabled(false);
            SetStatus(LoadStr(6724));
            return -1;
        case kUpdateCombinedLoaded: {
            SetStatus(LoadStr(6698));
            m_combined = true;
            // The plan's count as the load read it: the loader thread clears and unpacks
            // "compose_unpkg" again right after this event, so the file may be gone by now.
            m_memberCount = m_frame.Package().m_combinedTotal;
            if (m_memberCount <= 0) {
                const std::string count = GetProfileString(
                    "Total", "count", "0", 16, WorkPath("upgrade.conf", "compose_unpkg").string());
                m_memberCount = std::atoi(count.c_str());
            }
            m_view.AppendDetail(FormatStr(6700, m_memberCount), kGreen);
            return -1;
        }
        case kUpdateSingleLoaded: {
            SetStatus(LoadStr(6699));
            int n = 0;
            while (AppMemberExists(n + 1)) {
                ++n;
            }
            m_memberCount = n;
            m_view.AppendDetail(FormatStr(6725, n), kGreen);
            return -1;
        }
        case kUpdateDetail:
            m_view.AppendDetail(text, kBlack);
            m_view.SetBackEnabled(true);
            return -1;
        case kUpdateError:
            m_view.AppendDetail(text, kRed);
            return -1;
        case kUpdatePercent:
            m_view.ShowProgress(text);
            m_view.SetBackEnabled(false);
            return -1;
        case kUpdateMember: {
            const std::size_t colon = text.find(':');
            const std::string number = colon == std::string::npos ? text : text.substr(colon + 1);
            m_status = UpdatingMemberText(number, m_memberCount);
            m_view.SetMemberStatus(m_status);
            return -1;
        }
        case kUpdateConfirm:
            return ConfirmUpdate(text) ? kConfirmUpdate : kConfirmCancel;
        case kUpdateFinal:
            if (HasToken(text, kTokenSucceed)) {
                SetStatus(LoadStr(6713));
                if (m_combined && !HasToken(text, kTokenSucceedEnd)) {
                    return -1;  // a member, or the summary line, of a combined update
                }
                if (HasToken(text, kTokenSucceedEnd)) {
                    m_view.AppendDetail(LoadStr(6464), kBlue);
                }
                DeleteDownloadedFiles();
                End(Outcome::Succeeded);
            } else if (HasToken(text, kTokenFailed)) {
                SetStatus(LoadStr(6714));
                if (text.size() > 7) {
                    m_view.AppendDetail(text.substr(kTokenFailed.size()), kRed);
                }
                DeleteDownloadedFiles();
                End(Outcome::Failed);
            } else if (HasToken(text, kTokenAbort)) {
                SetStatus(LoadStr(6715));
                End(Outcome::Aborted);
            } else if (HasToken(text, kTokenFailedLoad)) {
                m_view.ShowMessage(LoadStr(6530) + text.substr(kTokenFailedLoad.size()));
                End(Outcome::FailedLoad);
            } else {
                SetStatus(text);
            }
            return -1;
        case kUpdateRestart:
            if (!text.empty()) {
                m_view.AppendDetail(text, kRed);
            }
            m_view.AppendDetail(LoadStr(6682), kRed);
            DeleteDownloadedFiles();
            m_disconnected = true;
            return -1;
        default:
            return -1;
    }
}

int CUpdateEvents::NotifyCheckPage(int code, const std::string& text) {
    if (m_activity != kChecking) {
        LogWrite("state error", kLogInfo);
        return -1;
    }
    switch (code) {
        case kCheckFatal:
            m_view.AppendDetail(text, kRed);
            DeleteDownloadedFiles();
            m_activity = kIdle;
            m_checkFinished = true;
            break;
        case kCheckStatus:
            SetCheckStatus(text);
            break;
        case kCheckResult:
            if (HasToken(text, kTokenSucceed)) {
                SetCheckStatus(LoadStr(105));
                m_checkPassed = m_checkFinished = true;
            } else if (HasToken(text, kTokenFailed)) {
                SetCheckStatus(FormatStr(106, text.substr(kTokenFailed.size()).c_str()));
                m_checkPassed = false;
                m_checkFinished = true;
            } else {
                SetCheckStatus(text);
            }
            break;
        default:
            break;
    }
    m_view.RefreshCheckButtons();
    return -1;
}

bool CUpdateEvents::ConfirmUpdate(const std::string& tips) {
    if (tips.empty()) {
        return true;
    }
    if (m_preCheck) {
        m_activity = kChecking;
        m_checkPassed = m_checkFinished = false;
        SetCheckStatus(LoadStr(104));
        m_frame.ArmPreCheckTimer(1000);
    }
    const bool confirmed = m_view.RunConfirmDialog(*this, tips, m_frame.DeviceVersion(),
                                                   m_frame.Package().m_packageVersion, m_preCheck);
    // Back to updating either way: a cancel still reports its "ABORT:" to the page.
    m_activity = kUpdating;
    if (!confirmed) {
        m_view.SetBackEnabled(true);
    }
    return confirmed;
}

bool CUpdateEvents::IsLoadFailure(int code, const std::string& text) {
    return (code == kUpdateLoadResult && HasToken(text, kTokenFailed)) ||
           (code == kUpdateFinal && HasToken(text, kTokenFailedLoad));
}

void CUpdateEvents::RetryCheck() {
    m_activity = kChecking;
    SetCheckStatus(LoadStr(104));
    m_checkPassed = m_checkFinished = false;
    m_frame.ArmPreCheckTimer(500);
}

}  // namespace vorn
