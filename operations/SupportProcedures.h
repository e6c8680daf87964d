#pragma once
// The procedure of the "Exchange NICs" command (SessionState 12).
#include "operations/CMainFrame.h"

namespace vorn {

class CMainFrame::CExchangeNicsProc : public CProcedureHandler {
public:
    explicit CExchangeNicsProc(CMainFrame& f) : m_f(f) {}
    bool OnResult(int result, const std::optional<std::string>& msg) override;
    bool OnGetOver() override { return false; }

private:
    CMainFrame& m_f;
};

}  // namespace vorn
