#pragma once
// The procedures of the technical support console: command (SessionState 11), upload (9)
// and download (10).
#include "operations/CMainFrame.h"

namespace vorn {

class CMainFrame::CConsoleCommandProc : public CProcedureHandler {
public:
    explicit CConsoleCommandProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;

private:
    CMainFrame& m_f;
};

class CMainFrame::CConsoleUploadProc : public CProcedureHandler {
public:
    explicit CConsoleUploadProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override { return false; }

    void OnUploadFailed() override { Fail(std::nullopt); }

private:
    void Fail(const std::optional<std::string>& msg);
    CMainFrame& m_f;
};

class CMainFrame::CConsoleDownloadProc : public CProcedureHandler {
public:
    explicit CConsoleDownloadProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;

private:
    void Fail(const std::optional<std::string>& msg);
    CMainFrame& m_f;
};

}  // namespace vorn
