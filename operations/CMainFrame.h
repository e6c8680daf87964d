#pragma once
// The main frame of the program without its widgets: the gateway session plus the state and
// procedures of the operations layer. Front ends own one CMainFrame and talk to it through its
// public calls; it talks back through the Operator.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/CGatewaySession.h"
#include "operations/RemotePaths.h"
#include "packages/CPackageHost.h"
#include "packages/PackageState.h"

namespace vorn {

// The digest of the console password the product ships with.
inline constexpr const char* kConsolePasswordDigest = "3f0c9b27d41e86a5c2b07f9e1d4a6c38";

// SessionState values of the technical support console.
enum : int { kStateConsoleUpload = 9, kStateConsoleDownload = 10, kStateConsoleCommand = 11 };
// SessionState values of the gateway procedures.
enum : int { kStateFactory = 6, kStateBackup = 7, kStateRestore = 8, kStatePreCheck = 20 };
// Timer ids: update start (the package passed its load) and pre-upgrade check start.
enum : std::uint32_t { kTimerUpdateStart = 5, kTimerPreCheckStart = 10 };
// The wait between a restart command and the close of the link (the link stays owned so no
// command starts meanwhile; replies are ignored).
enum : int { kStateRestartWait = 30 };
enum : std::uint32_t { kTimerRestartWait = 11 };
inline constexpr int kRestartWaitMs = 500;
// ConnectReason values of the procedures that reconnect on their own.
enum : int { kReasonSingleUpdate = 1, kReasonFactory = 3, kReasonPreCheck = 5 };
// SessionState values of the NIC exchange and the combined update's own procedures.
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

// The rules of those choices, for the dialog, the command line and ModifyNicSettings.
inline constexpr int kMtuMin = 700;
inline constexpr int kMtuMax = 1500;
// A listed NIC name starting with `prefix` ("eth", "ppp", or "" for any).
bool IsNicName(const std::string& nic, const std::string& prefix = "");
bool IsNicSpeed(const std::string& speed);
bool IsValidMtu(int mtu);
// 0, or the number of the refusal text: 6533 (NIC), 6534 (speed of an "eth" NIC), 6547 (MTU).
int CheckNicSettings(const NicSettings& s);

class CMainFrame : public CGatewaySession, public CPackageHost {
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

    // --- Packages and updates ---
    PackageState& Package() { return m_pkg; }
    const PackageState& Package() const { return m_pkg; }
    // The load page's load of a package (checks, tips, "SUCCEED:" and the update timer).
    bool LoadLocalPackage(const std::string& path);
    // A package loaded only for the pre-upgrade check: the load arms timer 10 instead of 5.
    void SetLoadForCheckOnly(bool on) { m_loadForCheck = on; }
    // Number of automatic backups to keep (from the options file when an update starts; a
    // negative number keeps the default).
    void SetAutoBackupLimit(int limit) { m_autobakNum = limit; }
    // Timer 10: starts the pre-upgrade-check loader after `ms`.
    void ArmPreCheckTimer(int ms);
    // Loader threads; their output reaches the Operator on this thread.
    void StartSingleLoader(const std::string& path, const std::string& fileName);
    void StartPreCheckLoader();
    bool LoaderFinished() const { return m_loaderFinished.load(); }
    bool LoaderIdle() const { return m_loaderIdle.load(); }

    // Single-package update (SessionState 5) and pre-upgrade check (SessionState 20).
    void StartSingleUpdate();
    void StartPreUpdateCheck();
    // Configuration backup (7), restore (8) and factory defaults (6).
    bool BackupConfig();
    bool RestoreBackup();
    bool RestoreFactoryDefaults();
    // Update history.
    void RecordLocalHistory();
    bool ShowGatewayHistory();
    void ShowLocalHistory();
    void DeleteLocalHistory();
    // Result of the last backup, restore or factory-defaults procedure (true = success).
    bool LastProcedureOk() const { return m_lastProcedureOk; }

    // Combined-update bookkeeping shared with the combined update.
    int m_memberIndex = 1;
    bool m_combinedRunning = false;
    bool m_memberFinished = false;
    bool m_autoBackup = false;
    std::string m_backupPath;
    bool m_ownScripts = false;

    // --- CPackageHost ---
    bool OperationInProgress() const override { return SessionState != 0; }
    bool CombinedUpdateRunning() const override { return m_combinedRunning; }
    std::string GatewayVersion() const override { return DeviceVersion(); }
    std::string GatewayVersionReport() const override { return m_versionReport; }
    int GatewayLayoutFlag() const override { return m_layoutFlag; }
    bool ShowUpdateTipsDialog(const std::string& tips, const std::string& gatewayVersion,
                              const std::string& packageVersion) override;
    void SendToLoadPage(const std::string& text) override;
    void StartUpdateTimer() override;
    void StartSinglePackageLoader(const std::string& path) override;

    // Called after a password change succeeded, with the new password (the desktop program
    // keeps it in the recent-address list).
    void SetPasswordChangedHandler(std::function<void(const std::string&)> handler) {
        m_passwordChanged = std::move(handler);
    }

    // Ping series of the console (target already quoted).
    void SetPingSeries(const std::string& target, int runsLeft) {
        m_pingTarget = target;
        m_pingRunsLeft = runsLeft;
    }

    // --- Diagnostic commands of the console's "Command" menu ---
    // The menu items need a connected, idle gateway; the NIC items also the "/etc" layout.
    bool SupportCommandsEnabled() const { return Connected && SessionState == 0; }
    bool NicCommandsEnabled() const { return SupportCommandsEnabled() && m_layoutFlag == 1; }
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
    // Product-line code of the gateway (from its version, or the device chosen at login).
    int GatewayProductLine() const { return m_productLine; }
    // Where things live on the gateway in its script layout.
    const RemotePaths& Paths() const { return m_paths; }

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
    // Members started so far ("COMPOSE:%d" shows the next number).
    int MemberCounter() const { return m_memberCounter; }

protected:
    void OnSessionClosed() override { m_pingRunsLeft = 0; }
    void OnPasswordChanged(const std::string& password) override {
        if (m_passwordChanged) {
            m_passwordChanged(password);
        }
    }
    void OnLoginVersion(const std::string& version) override;
    void OnDeviceChosen(int model, int series) override;
    void OnConnectionLost(int state, int errorCode) override;
    void OnTimer(std::uint32_t id) override;
    void OnOtherMessage(unsigned msg, WParam w, LParam l) override;
    // The combined-package loader thread: stores and unpacks the package, reads the plan and
    // starts the combined update.
    virtual void StartCombinedLoader();
    void OnCombinedLoaderDone(int result);
    // Members that the update procedures install: a member package (loaded on the loader
    // thread, then installed) and factory defaults. Both end with SessionState 0 and, on
    // success, the member-finished flag set.
    void StartPackageMember(const std::string& name);
    void StartFactoryMember();

private:
    class CSingleUpdateProc;
    class CPreCheckProc;
    class CBackupProc;
    class CRestoreProc;
    class CFactoryProc;
    class CResumeUpdate;
    class CResumePreCheck;
    class CResumeFactory;
    class CLoaderOutput;
    class CRestartWaitProc;
    friend class CSingleUpdateProc;
    friend class CPreCheckProc;
    friend class CBackupProc;
    friend class CRestoreProc;
    friend class CFactoryProc;
    friend class CResumeUpdate;
    friend class CResumePreCheck;
    friend class CResumeFactory;

    // Shared steps of the gateway procedures.
    void Notify(int code, const std::string& text);
    void NotifyCheck(int code, const std::string& text);
    void BeginSingleUpdate();
    void ContinueUpdateAfterBackup(bool afterBackup);
    void BeginFactoryUpload();
    void CloseAsDropped();
    // The script layout and product line of the gateway logged in to (announced).
    void SetLayout(int flag, int productLine);
    void EndGatewayProcedure(bool ok);
    void OnSingleLoaderDone(bool ok);
    void OnPreCheckLoaderDone(bool ok);
    void JoinLoader();
    void InitGatewayProcedures();
    void ReleaseGatewayProcedures();

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

    bool LaunchCombinedUpdate();
    void BeginCombinedDriver();
    void FinishCombinedUpdate();
    // The failure path of the update procedures: reply text, "(%d) error. Update failed!",
    // the do-not-restart notice, "FAILED:".
    void UpdateFailure(const std::optional<std::string>& text);

    bool Busy();
    // Busy, or no link to send a console command on (6766): true after the refusal is shown.
    bool ConsoleUnavailable();
    bool ProposedNameAcceptable(const std::string& remotePath, std::string& name);
    void PingContinuation(const std::string& output);
    void EndConsole(bool ok);

    std::function<void(const std::string&)> m_passwordChanged;
    std::string m_consoleDigest;
    bool m_consoleUnlocked = false;
    bool m_lastConsoleOk = false;
    std::string m_resultFile = "/etc/vorncmd/result";
    std::string m_pingTarget;
    int m_pingRunsLeft = 0;
    std::string m_userLocal;
    std::string m_userRemote;

    PackageState m_pkg;
    std::string m_versionReport;
    // The script layout of the gateway (the "/etc" layout until a login says otherwise).
    int m_layoutFlag = 1;
    int m_productLine = 0;
    RemotePaths m_paths = RemotePathsFor(1, 0);
    int m_autobakNum = -1;  // PruneAutoBackups' default
    bool m_loadForCheck = false;
    bool m_lastProcedureOk = false;
    std::atomic<bool> m_loaderFinished{false};
    std::atomic<bool> m_loaderIdle{true};
    std::atomic<bool> m_loaderOk{false};
    std::thread m_loader;
    std::unique_ptr<PackageState> m_loaderState;
    std::unique_ptr<CLoaderOutput> m_loaderOutput;
    std::unique_ptr<CRestartWaitProc> m_restartWaitProc;

    std::unique_ptr<CSingleUpdateProc> m_singleProc;
    std::unique_ptr<CPreCheckProc> m_preCheckProc;
    std::unique_ptr<CBackupProc> m_backupProc;
    std::unique_ptr<CRestoreProc> m_restoreProc;
    std::unique_ptr<CFactoryProc> m_factoryProc;
    std::unique_ptr<CResumeUpdate> m_resumeUpdate;
    std::unique_ptr<CResumePreCheck> m_resumePreCheck;
    std::unique_ptr<CResumeFactory> m_resumeFactory;

    std::unique_ptr<CConsoleCommandProc> m_commandProc;
    std::unique_ptr<CConsoleUploadProc> m_uploadProc;
    std::unique_ptr<CConsoleDownloadProc> m_downloadProc;
    std::unique_ptr<CExchangeNicsProc> m_exchangeProc;

    int m_memberCounter = 0;
    // A member package asked for a restart; the one restart comes at the end.
    bool m_combinedNeedRestart = false;
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
