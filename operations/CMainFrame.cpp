#include "operations/CMainFrame.h"

#include <QString>


#include "lib/Log.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "operations/ConsoleProcedures.h"
#include "operations/GatewayProcedures.h"
#include "operations/SupportProcedures.h"
#include "operations/CombinedProcedures.h"

namespace vorn {

CMainFrame::CMainFrame(Operator* op, std::string consoleDigest)
    : CGatewaySession(op),
      m_consoleDigest(std::move(consoleDigest)),
      m_commandProc(std::make_unique<CConsoleCommandProc>(*this)),
      m_uploadProc(std::make_unique<CConsoleUploadProc>(*this)),
      m_downloadProc(std::make_unique<CConsoleDownloadProc>(*this)),
      m_exchangeProc(std::make_unique<CExchangeNicsProc>(*this)),
      m_scriptProc(std::make_unique<CScriptMemberProc>(*this)),
      m_refreshProc(std::make_unique<CVersionRefreshProc>(*this)),
      m_combinedReconnect(std::make_unique<CCombinedReconnect>(*this)) {
    RegisterProcedure(kStateExchangeNics, m_exchangeProc.get());
    RegisterProcedure(kStateScriptMember, m_scriptProc.get());
    RegisterProcedure(kStateVersionRefresh, m_refreshProc.get());
    RegisterReconnect(kReconnectCombined, m_combinedReconnect.get());
    RegisterProcedure(kStateConsoleCommand, m_commandProc.get());
    RegisterProcedure(kStateConsoleUpload, m_uploadProc.get());
    RegisterProcedure(kStateConsoleDownload, m_downloadProc.get());
    InitGatewayProcedures();
}

CMainFrame::~CMainFrame() {
    ReleaseGatewayProcedures();
    RegisterProcedure(kStateConsoleCommand, nullptr);
    RegisterProcedure(kStateConsoleUpload, nullptr);
    RegisterProcedure(kStateConsoleDownload, nullptr);
    RegisterProcedure(kStateExchangeNics, nullptr);
    RegisterProcedure(kStateScriptMember, nullptr);
    RegisterProcedure(kStateVersionRefresh, nullptr);
    RegisterReconnect(kReconnectCombined, nullptr);
    CTimer::Instance().DelTimer(m_combinedTimer);
}

void CMainFrame::FetchResultFile(int nextStep) {
    RequestGet(m_resultFile);
    SessionStep = nextStep;
}

bool CMainFrame::ReadResultFile(std::string& text) {
    if (!ReadTransferFile(text)) {
        Console(6473, kRed);
        return false;
    }
    return true;
}

bool IsGatewayUtf8(const std::string& bytes) {
    bool high = false;
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        int extra;
        if (c >= 0xC0 && c <= 0xDF) extra = 1;
        else if (c >= 0xE0 && c <= 0xEF) extra = 2;
        else if (c >= 0xF0 && c <= 0xF7) extra = 3;
        else if (c >= 0xF8 && c <= 0xFB) extra = 4;
        else if (c >= 0xFC && c <= 0xFD) extra = 5;
        else return false;
        if (i + static_cast<std::size_t>(extra) >= n) {
            return false;  // sequence cut off at the end
        }
        for (int k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
            if (d < 0x80 || d > 0xBF) return false;
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return high;
}

std::string ConsoleTextFromGateway(const std::string& bytes) {
    if (!IsGatewayUtf8(bytes)) {
        return bytes;
    }
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
}

}  // namespace vorn
