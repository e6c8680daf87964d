#pragma once
// The gateway simulator: the gateway's side of the link protocol on a real TCP socket, over a
// virtual file system kept in a local folder. Used by tests (in-process) and by the
// `gateway-sim` program (tests of the CLI run it as a separate process; its path is the
// compile definition VORN_GATEWAY_SIM_PROGRAM of the target `vorn_gatewaysim_program`).
//
// One client at a time; after a connection closes the next one is accepted on the same port.
// The server runs on its own thread; every public method is thread-safe.
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/gateway-sim/SimCommands.h"
#include "tools/gateway-sim/SimFileSystem.h"
#include "tools/gateway-sim/SimTranscript.h"

namespace vorn {

// Login results of a gateway: version-capable firmware, or an old one.
inline constexpr int kLoginVersionCapable = 7629414;
inline constexpr int kLoginOld = 0;

// Faults switched on for tests. A command name matches a message's first line ("get", "put",
// "putover", "excute", "login", ...), or, for "excute", the whole command line or its first
// word ("reboot", "ls", "/etc/vorncmd/apppre"). Empty = off. Every fault fires on every
// connection it applies to.
struct GatewaySimFaults {
    bool wrongPassword = false;             // every login is refused
    std::int64_t dropAfterUploadBytes = -1;  // close once a connection has received this many
                                             // binary bytes (-1 = off); the upload is discarded
    bool garbageAfterLogin = false;         // a frame with a wrong magic after a login reply
    std::string garbageOnCommand;           // a garbage frame instead of the reply
    std::string abortOnCommand;             // "abort\n" instead of the reply
    std::string silentOnCommand;            // no reply at all
    std::int64_t uploadBytesPerSecond = 0;  // receive uploads no faster than this (0 = off):
                                            // a slow link, so a test can act mid-upload
};

struct GatewaySimConfig {
    std::string listenAddress = "127.0.0.1";  // IPv4 only
    std::uint16_t port = 0;                   // 0 = an ephemeral port, see Port()
    std::filesystem::path root;               // folder of the virtual file system (created)
    std::string password = "admin";
    int loginResult = kLoginVersionCapable;   // or kLoginOld
    std::string loginMsg;                     // optional "msg" line of a successful login reply
    bool damaged = false;                     // no "/app/appversion": its get answers result 1
    std::string versionText = "KELMORA GW V300R001\n";  // written to <root>/app/appversion
    int protocolVersion = 0x300;              // answer to the version message: "version:%d"
    bool getWithoutSize = false;              // answer get with "result:0\n" (no size)
    int rebootRefuseMs = 3000;                // after "reboot": refused this long (0 = never)
    std::string resultFile = "/etc/vorncmd/result";  // where command handlers write output
    std::filesystem::path transcriptPath;     // JSON lines of every received message; empty = off
    GatewaySimFaults faults;
};

// One completed or interrupted upload (put ... putover).
struct SimUpload {
    std::string path;         // remote path of the put
    std::uint64_t bytes = 0;  // binary bytes received
    bool stored = false;      // putover moved it into place
};

class CGatewaySim {
public:
    explicit CGatewaySim(GatewaySimConfig config);
    ~CGatewaySim();
    CGatewaySim(const CGatewaySim&) = delete;
    CGatewaySim& operator=(const CGatewaySim&) = delete;

    // Prepares the root folder, binds and starts the server thread. False with LastError().
    bool Start();
    // Closes the listener and any client; joins the thread. Safe to call twice.
    void Stop();
    std::uint16_t Port() const { return m_port.load(); }
    std::string LastError() const;

    // Extra "excute" commands (also replace built-ins with the same word).
    void AddCommand(const std::string& word, SimCommandHandler handler);
    void AddCommandMatcher(SimCommandMatcher match, SimCommandHandler handler);
    void SetFaults(const GatewaySimFaults& faults);

    // Observations for tests.
    std::vector<SimTranscriptEntry> Transcript() const;
    std::vector<std::string> ReceivedTexts() const;
    std::vector<SimUpload> Uploads() const;
    std::string Password() const;
    int ConnectionCount() const;  // connections accepted so far
    int RebootCount() const;
    bool ClientConnected() const;
    const std::filesystem::path& Root() const { return m_config.root; }
    // Local path of a remote path, or empty when it would leave the root.
    std::filesystem::path LocalPath(const std::string& remotePath) const;

private:
    struct Connection;
    void Run();
    bool OpenListener(std::string* error);
    void CloseListener();
    void ServeClient(Connection& c);
    bool ReadClient(Connection& c);
    bool HandleText(Connection& c, const std::string& text);
    bool HandleBinary(Connection& c, const std::uint8_t* data, std::size_t len);
    bool SendText(Connection& c, const std::string& text);
    bool SendResult(Connection& c, int result, const std::string* msg);
    bool SendGarbage(Connection& c);
    bool SendAll(Connection& c, const std::uint8_t* data, std::size_t len);
    void EndUpload(Connection& c, bool stored);
    bool WaitOrStop(int ms);

    // Message handlers, keyed by the message's first line.
    bool OnLogin(Connection& c, const std::string& text);
    bool OnVersion(Connection& c, const std::string& text);
    bool OnGet(Connection& c, const std::string& text);
    bool OnPut(Connection& c, const std::string& text);
    bool OnPutOver(Connection& c, const std::string& text);
    bool OnExcute(Connection& c, const std::string& text);
    bool OnChangePwd(Connection& c, const std::string& text);

    GatewaySimConfig m_config;
    CSimFileSystem m_fs;
    mutable std::mutex m_mutex;  // guards everything below that the thread and callers share
    CSimCommandTable m_commands;
    GatewaySimFaults m_faults;
    CSimTranscript m_transcript;
    std::vector<SimUpload> m_uploads;
    std::string m_password;
    std::string m_lastError;
    int m_connections = 0;
    int m_reboots = 0;
    bool m_clientConnected = false;

    std::atomic<std::uint16_t> m_port{0};
    std::atomic<bool> m_stop{false};
    int m_listenFd = -1;
    int m_wakePipe[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace vorn
