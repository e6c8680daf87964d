#include "operations/CUpdateEvents.h"

#include <cstdlib>

#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/CMainFrame.h"
#include "operations/RemotePaths.h"
#include "platform/ProfileString.h"

namespace vorn {
namespace {

bool StartsWith(const std::string& text, const char* token) {
    return text.rfind(token, 0) == 0;
}

}  // namespace

void CUpdateEvents::BeginUpdate() {
    m_activity = kUpdating;
    m_outcome = Outcome::None;
    m_disconnected = false;
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
    const bool lateRestart = code == 13 && Finished();
    if (m_activity != kUpdating && !lateRestart) {
        LogWrite("state error", kLogInfo);
        return -1;
    }
    switch (code) {
        case 0:
            if (StartsWith(text, "FAILED:")) {
                m_view.ShowMessage(text.substr(7));
            } else if (StartsWith(text, "SUCCEED:")) {
                m_view.ClearDetails();
                SetStatus(LoadStr(6697));
            }
            return -1;
        case 1:
            m_view.AppendDetail(text, kRed);
            DeleteDownloadedFiles();
            End(Outcome::Failed);
            return -1;
        case 2:
            if (m_memberCount <= 1) {
                return m_view.AskOkCancel(text) ? 1 : 2;
            }
            m_view.AppendDetail(text, kRed);
            return -1;
        case 3:
            m_view.SetBackEnabled(false);
            SetStatus(LoadStr(6724));
            return -1;
        case 4: {
            SetStatus(LoadStr(6698));
            const std::string count = GetProfileString(
                "Total", "count", "0", 16, WorkPath("upgrade.conf", "compose_unpkg").string());
            m_memberCount = std::atoi(count.c_str());
            m_view.AppendDetail(FormatStr(6700, m_memberCount), kGreen);
            return -1;
        }
        case 5: {
            SetStatus(LoadStr(6699));
            int n = 0;
            while (AppMemberExists(n + 1)) {
                ++n;
            }
            m_memberCount = n;
            m_view.AppendDetail(FormatStr(6725, n), kGreen);
            return -1;
        }
        case 6:
            m_view.AppendDetail(text, kBlack);
            m_view.SetBackEnabled(true);
            return -1;
        case 7:
            m_view.AppendDetail(text, kRed);
            return -1;
        case 8:
            m_view.ShowProgress(text);
            m_view.SetBackEnabled(false);
            return -1;
        case 9: {
            const std::size_t colon = text.find(':');
            const std::string number = colon == std::string::npos ? text : text.substr(colon + 1);
            SetStatus(LoadStr(6709) + number + FormatStr(6708, m_memberCount));
            return -1;
        }
        case 11:
            return ConfirmUpdate(text) ? 1 : 0;
        case 12:
            if (StartsWith(text, "SUCCEED:")) {
                SetStatus(LoadStr(6713));
                if (m_memberCount > 1 && m_frame.CombinedUpdateRunning() &&
                    !StartsWith(text, "SUCCEED:END")) {
                    return -1;  // one member of a combined update
                }
                if (StartsWith(text, "SUCCEED:END")) {
                    m_view.AppendDetail(LoadStr(6464), kBlue);
                }
                DeleteDownloadedFiles();
                End(Outcome::Succeeded);
            } else if (StartsWith(text, "FAILED:")) {
                SetStatus(LoadStr(6714));
                if (text.size() > 7) {
                    m_view.AppendDetail(text.substr(7), kRed);
                }
                DeleteDownloadedFiles();
                End(Outcome::Failed);
            } else if (StartsWith(text, "ABORT:")) {
                SetStatus(LoadStr(6715));
                End(Outcome::Aborted);
            } else if (StartsWith(text, "FAILEDLOAD:")) {
                m_view.ShowMessage(LoadStr(6530) + text.substr(11));
                End(Outcome::FailedLoad);
            } else {
                SetStatus(text);
            }
            return -1;
        case 13:
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
        case 0:
            m_view.AppendDetail(text, kRed);
            DeleteDownloadedFiles();
            m_activity = kIdle;
            m_checkFinished = true;
            break;
        case 8:
            SetCheckStatus(text);
            break;
        case 13:
            if (StartsWith(text, "SUCCEED:")) {
                SetCheckStatus(LoadStr(105));
                m_checkPassed = m_checkFinished = true;
            } else if (StartsWith(text, "FAILED:")) {
                SetCheckStatus(FormatStr(106, text.substr(7).c_str()));
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
    const bool confirmed = m_view.RunConfirmDialog(tips, m_frame.DeviceVersion(),
                                                   m_frame.Package().m_packageVersion, m_preCheck);
    // Back to updating either way: a cancel still reports its "ABORT:" to the page.
    m_activity = kUpdating;
    if (!confirmed) {
        m_view.SetBackEnabled(true);
    }
    return confirmed;
}

void CUpdateEvents::RetryCheck() {
    SetCheckStatus(LoadStr(104));
    m_checkPassed = m_checkFinished = false;
    m_frame.ArmPreCheckTimer(500);
}

}  // namespace vorn
