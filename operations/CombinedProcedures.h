#pragma once
// The procedures of a combined update that own the link themselves: the script member
// (SessionState 13) and the refresh of the gateway's version (SessionState 14), and the
// continuation after an automatic reconnect.
#include "operations/CMainFrame.h"

namespace vorn {

class CMainFrame::CScriptMemberProc : public CProcedureHandler {
public:
    explicit CScriptMemberProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;

    void OnUploadFailed() override;

private:
    CMainFrame& m_f;
};

class CMainFrame::CVersionRefreshProc : public CProcedureHandler {
public:
    explicit CVersionRefreshProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;

private:
    CMainFrame& m_f;
};

class CMainFrame::CCombinedReconnect : public CReconnectHandler {
public:
    explicit CCombinedReconnect(CMainFrame& f) : m_f(f) {}
    void Resume() override;
    bool Failed(const std::string& text) override;

private:
    CMainFrame& m_f;
};

}  // namespace vorn
