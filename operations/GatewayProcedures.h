#pragma once
// The gateway procedures of the main frame: single-package update (SessionState 5),
// pre-upgrade check (20), factory defaults (6), configuration backup (7) and restore (8), and
// the continuations after the automatic reconnects they ask for.
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>

#include "operations/CMainFrame.h"

namespace vorn {

// Messages the loader threads post to the frame.
enum : unsigned {
    kMsgLoaderOutput = 0x8101,
    kMsgSingleLoaderDone = 0x8102,
    kMsgPreCheckLoaderDone = 0x8103,
    kMsgCombinedLoaderDone = 0x8104,
};

// An Operator for worker threads: every call is queued and replayed on the frame's thread,
// in order, when the posted message arrives. Questions cannot wait for the person here; the
// loaders ask none, and any that comes gets No.
class CMainFrame::CLoaderOutput : public Operator {
public:
    explicit CLoaderOutput(std::shared_ptr<CTargetGuard> guard) : m_guard(std::move(guard)) {}

    void Drain(Operator* op) {
        std::deque<std::function<void(Operator&)>> calls;
        {
            std::lock_guard lock(m_mutex);
            calls.swap(m_calls);
        }
        for (auto& call : calls) {
            if (op)
                call(*op);
        }
    }

    void AppendConsole(const std::string& text, std::uint32_t colour) override {
        Queue([=](Operator& op) { op.AppendConsole(text, colour); });
    }
    void SetProgressAnchor() override {
        Queue([](Operator& op) { op.SetProgressAnchor(); });
    }
    void ReplaceProgress(const std::string& text, std::uint32_t colour) override {
        Queue([=](Operator& op) { op.ReplaceProgress(text, colour); });
    }
    void SetWindowTitle(const std::string& title) override {
        Queue([=](Operator& op) { op.SetWindowTitle(title); });
    }
    bool OnAskYesNo(const std::string&) override { return false; }
    bool OnAskOkCancel(const std::string&) override { return false; }
    void ShowMessage(const std::string& text) override {
        Queue([=](Operator& op) { op.ShowMessage(text); });
    }
    std::optional<std::string> OnAskText(const std::string&, bool) override { return std::nullopt; }
    std::optional<std::string> OnChooseOpenFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> OnChooseSaveFile(const std::string&, const std::string&) override {
        return std::nullopt;
    }
    bool OnChooseDevice(int&, int&) override { return false; }
    void NotifyWizard(int code, const std::string& text) override {
        Queue([=](Operator& op) { op.NotifyWizard(code, text); });
    }
    int NotifyUpdatePage(int code, const std::string& text) override {
        Queue([=](Operator& op) { op.NotifyUpdatePage(code, text); });
        return -1;
    }
    int NotifyCheckPage(int code, const std::string& text) override {
        Queue([=](Operator& op) { op.NotifyCheckPage(code, text); });
        return -1;
    }

private:
    void Queue(std::function<void(Operator&)> call) {
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back(std::move(call));
        }
        m_guard->post(kMsgLoaderOutput);
    }

    std::shared_ptr<CTargetGuard> m_guard;
    std::mutex m_mutex;
    std::deque<std::function<void(Operator&)>> m_calls;
};

class CMainFrame::CSingleUpdateProc : public CProcedureHandler {
public:
    explicit CSingleUpdateProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;
    // Common failure path of the update procedures; returns 0.
    int Fail(const std::optional<std::string>& text);
    void UploadFailed();
    void Finish(bool historyRecorded);
    // Starts the clock of the debug-level step timings.
    void StartStepClock() { m_lastReply = std::chrono::steady_clock::now(); }

    void OnUploadFailed() override { UploadFailed(); }

private:
    void ResultFileFailed(bool refused, const std::string& text);
    CMainFrame& m_f;
    std::chrono::steady_clock::time_point m_lastReply{};
};

class CMainFrame::CPreCheckProc : public CProcedureHandler {
public:
    explicit CPreCheckProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;
    void Fail(const std::optional<std::string>& text);

    void OnUploadFailed() override { Fail(std::nullopt); }

private:
    CMainFrame& m_f;
};

class CMainFrame::CBackupProc : public CProcedureHandler {
public:
    explicit CBackupProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override;
    void OnDownloadWriteFailed(const std::string& text) override;

    void OnUploadFailed() override { Fail(std::nullopt); }

private:
    void Fail(const std::optional<std::string>& text);
    bool OpenLocal(const char* name);
    CMainFrame& m_f;
};

class CMainFrame::CRestoreProc : public CProcedureHandler {
public:
    explicit CRestoreProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override { return false; }

    void OnUploadFailed() override { Fail(std::nullopt); }

private:
    void Fail(const std::optional<std::string>& text);
    CMainFrame& m_f;
};

class CMainFrame::CFactoryProc : public CProcedureHandler {
public:
    explicit CFactoryProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override { return false; }

    void OnUploadFailed() override { Fail(std::nullopt, false); }

private:
    void Fail(const std::optional<std::string>& text, bool refused);
    CMainFrame& m_f;
};

// SessionState kStateRestartWait: the restart command went out; whatever the gateway still
// answers is dropped until the wait ends and the link is closed.
class CMainFrame::CRestartWaitProc : public CProcedureHandler {
public:
    bool OnResult(int, const std::optional<std::string>&) override { return true; }
    bool OnGetOver() override { return true; }
};

class CMainFrame::CResumeUpdate : public CReconnectHandler {
public:
    explicit CResumeUpdate(CMainFrame& f) : m_f(f) {}
    void Resume() override;
    bool Failed(const std::string& text) override;

private:
    CMainFrame& m_f;
};

class CMainFrame::CResumePreCheck : public CReconnectHandler {
public:
    explicit CResumePreCheck(CMainFrame& f) : m_f(f) {}
    void Resume() override;
    bool Failed(const std::string& text) override;

private:
    CMainFrame& m_f;
};

class CMainFrame::CResumeFactory : public CReconnectHandler {
public:
    explicit CResumeFactory(CMainFrame& f) : m_f(f) {}
    void Resume() override;
    bool Failed(const std::string& text) override;

private:
    CMainFrame& m_f;
};

}  // namespace vorn
