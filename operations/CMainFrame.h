#pragma once
// The main frame of the program without its widgets: the gateway session plus the state and
// procedures of the operations layer. Front ends own one CMainFrame and talk to it through its
// public calls; it talks back through the Operator.
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/CGatewaySession.h"
#include "packages/PackageState.h"

namespace vorn {

// The digest of the console password the product ships with.
inline constexpr const char* kConsolePasswordDigest = "3f0c9b27d41e86a5c2b07f9e1d4a6c38";

// SessionState values of the technical support console.
enum : int { kStateConsoleUpload = 9, kStateConsoleDownload = 10, kStateConsoleCommand = 11 };
enum : int { kStateExchangeNics = 12, kStateScriptMember = 13, kStateVersionRefresh = 14 };
// Timer of the combined-update driver and its period; reconnect reason of a combined update.
enum : std::uint32_t { kTimerCombined = 3 };
inline constexpr int kCombinedTickMs = 1000;
inline constexpr int kReconnectCombined = 2;

// The choices of the "Modify NIC Settings" dialog.
struct NicSettings {
    std::string nic;         // "eth0".."eth20" or "ppp0".."ppp5"
    std::string speed;       // one of NicSpeeds(); may be empty for a ppp entry
    std::optional<int> mtu;  // the MTU box checked, with its number
};

class CMainFrame : public CGatewaySession {
public:
    // `consoleDigest`: MD5 (hex) of the console password; the product passes the default.
    explicit CMainFrame(Operator* op, std::string consoleDigest = kConsolePasswordDigest);
    ~CMainFrame() override;

    // --- Technical support console ---
    // Asks for the console password unless unlocked in this run; true when unlocked.
    bool CommandConsole();
    bool ConsoleUnlocked() const { return m_consoleUnlocked; }
    // "exec": runs a command and prints its output (SessionState 11).
    bool RunConsoleCommand(const std::string& command, bool echo);
    // "put" / "get": the local file comes from the Operator's file choice.
    bool ConsoleUpload(const std::string& remotePath);
    bool ConsoleDownload(const std::string& remotePath);
    // Result of the last console procedure that ended (true = success).
    bool LastConsoleOk() const { return m_lastConsoleOk; }

    // --- Remote command conventions ---
    // Get of the gateway's result file; the reply arrives in `nextStep`.
    void FetchResultFile(int nextStep);
    // Reads the downloaded result file; false (after string 6473) on a read error.
    bool ReadResultFile(std::string& text);
    // The result file of the current script layout.
    const std::string& ResultFilePath() const { return m_resultFile; }
    void SetResultFilePath(const std::string& path) { m_resultFile = path; }

    // Ping series of the console (target already quoted).
    void SetPingSeries(const std::string& target, int runsLeft) {
        m_pingTarget = target;
        m_pingRunsLeft = runsLeft;
    }

    // --- Diagnostic commands of the console's "Command" menu ---
    // The menu items need a connected, idle gateway; the NIC items also the "/etc" layout.
    bool SupportCommandsEnabled() const { return Connected && SessionState == 0; }
    bool NicCommandsEnabled() const { return SupportCommandsEnabled() && GatewayLayoutFlag() == 1; }
    // Ping: four runs of "ping -c 1" with the target made into one literal shell word.
    bool PingGateway(const std::string& target);
    bool ShowRouteTable();
    bool ShowArpTable();
    bool ShowNetworkSettings();
    // "All" or "eth0".."eth20".
    bool ShowNicSettings(const std::string& nic);
    bool ModifyNicSettings(const NicSettings& settings);
    // Asks the licence question, runs the exchange (SessionState 12) and then asks whether to
    // restart the gateway.
    bool ExchangeNics(const std::string& nic1, const std::string& nic2);
    // Script layout flag (1 "/etc", 0 "/var") and product-line code of the gateway, from its
    // version at login or from the device chosen for a damaged firmware.
    int GatewayLayoutFlag() const { return m_layoutFlag; }
    int GatewayProductLine() const { return m_productLine; }

    // --- Combined update ---
    // Extracts the stored combined package, builds the step list and starts the driver
    // (timer 3); reconnects first when the link is down. False when it did not start.
    bool StartCombinedUpdate();
    // One tick of the driver: waits for the running member or starts the next step.
    void CombinedTick();
    // Uploads the script member to the combined-update script path and runs it.
    void RunScriptMember(const std::string& name);
    // Reads "/app/appversion" again (the version check of the next member package uses it).
    void RefreshGatewayVersion();
    bool CombinedUpdateRunning() const override { return m_combinedRunning != 0; }
    bool MemberFinished() const { return m_memberFinished != 0; }
    void SetMemberFinished(bool finished) { m_memberFinished = finished ? 1 : 0; }
    // 0 while the single-package loader thread runs.
    bool LoaderIdle() const { return m_loaderIdle.load() != 0; }
    PackageState& Package() { return m_package; }
    // Remote script path of a combined update for the current layout.
    std::string CombinedScriptPath() const;

protected:
    void OnSessionClosed() override { m_pingRunsLeft = 0; }
    void OnTimer(std::uint32_t id) override;
    // Members that the update procedures install: a member package (loaded on the loader
    // thread, then installed) and factory defaults. They end with SessionState 0 and, on
    // success, the member-finished flag set.
    virtual void StartPackageMember(const std::string& name);
    virtual void StartFactoryMember();
    void OnLoginVersion(const std::string& version) override;
    void OnDeviceChosen(int model, int series) override;

private:
    class CConsoleCommandProc;
    class CConsoleUploadProc;
    class CConsoleDownloadProc;
    friend class CConsoleCommandProc;
    friend class CConsoleUploadProc;
    friend class CConsoleDownloadProc;
    class CExchangeNicsProc;
    friend class CExchangeNicsProc;
    class CScriptMemberProc;
    class CVersionRefreshProc;
    class CCombinedReconnect;
    friend class CScriptMemberProc;
    friend class CVersionRefreshProc;
    friend class CCombinedReconnect;

    void BeginCombinedDriver();
    void FinishCombinedUpdate();
    // The failure path of the update procedures: reply text, "(%d) error. Update failed!",
    // the do-not-restart notice, "FAILED:".
    void UpdateFailure(const std::optional<std::string>& text);
    // The last announcement of a restart: 500 ms for the command to leave, then the link is
    // closed as a dropped connection.
    void CloseAfterRestart();
    void PostUpdate(int code, const std::string& text);

    bool Busy();
    bool ProposedNameAcceptable(const std::string& remotePath, std::string& name);
    void PingContinuation(const std::string& output);
    void EndConsole(bool ok);

    std::string m_consoleDigest;
    bool m_consoleUnlocked = false;
    bool m_lastConsoleOk = false;
    std::string m_resultFile = "/etc/vorncmd/result";
    std::string m_pingTarget;
    int m_pingRunsLeft = 0;
    std::string m_userLocal;
    std::string m_userRemote;

    std::unique_ptr<CConsoleCommandProc> m_commandProc;
    std::unique_ptr<CConsoleUploadProc> m_uploadProc;
    std::unique_ptr<CConsoleDownloadProc> m_downloadProc;
    std::unique_ptr<CExchangeNicsProc> m_exchangeProc;
    int m_layoutFlag = 1;
    int m_productLine = 0;

    PackageState m_package;
    int m_combinedRunning = 0;
    int m_memberFinished = 0;
    int m_memberCounter = 0;
    std::atomic<int> m_loaderIdle{1};
    std::string m_scriptMember;
    TimerHandle m_combinedTimer;
    std::unique_ptr<CScriptMemberProc> m_scriptProc;
    std::unique_ptr<CVersionRefreshProc> m_refreshProc;
    std::unique_ptr<CCombinedReconnect> m_combinedReconnect;
};

// Set from the start of a combined-update step until the driver has seen its end.
extern std::atomic<int> g_memberInProgress;
// A member name of a combined plan names a file directly inside "compose_unpkg".
bool PlainMemberName(const std::string& name);

// MD5 (RFC 1321) of a text as 32 lower-case hex digits.
// TODO(lead): fold together with the packages layer's Md5Hex.
std::string Md5HexOfText(const std::string& text);
// True when the bytes hold at least one byte of 0x80 or above and form UTF-8 by the
// gateway output rule (lead bytes 0xC0-0xFD announcing 2 to 6 bytes, continuations 0x80-0xBF).
bool IsGatewayUtf8(const std::string& bytes);
// Command output as console text: valid UTF-8 is decoded, anything else is kept as it is.
std::string ConsoleTextFromGateway(const std::string& bytes);

// The ping target as one double-quoted literal word of the gateway's shell: quotes,
// backquotes, "$", backslashes and control characters are removed. nullopt when nothing is
// left or the target would read as an option of ping (leading "-").
std::optional<std::string> QuotedPingTarget(const std::string& target);
// The entries of the NIC and speed choices.
const std::vector<std::string>& NicNames();
const std::vector<std::string>& NicSpeeds();

}  // namespace vorn
