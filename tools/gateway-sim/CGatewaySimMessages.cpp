// The simulator's answers to the updater's messages, one handler per message word.
#include <cstdio>
#include <fstream>
#include <map>

#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimConnection.h"

namespace vorn {
namespace fs = std::filesystem;

namespace {

const std::string kNotLoggedIn = "Please login first";

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// Does a fault switch name this message? See GatewaySimFaults.
bool FaultNames(const std::string& name, const std::string& word, const std::string& text) {
    if (name.empty()) {
        return false;
    }
    if (name == word) {
        return true;
    }
    std::string cmd;
    if (word != "excute" || !GetField(text.c_str(), "cmd", cmd)) {
        return false;
    }
    return name == cmd || name == ParseCommandLine(cmd).word;
}

}  // namespace

bool CGatewaySim::HandleText(Connection& c, const std::string& text) {
    using Handler = bool (CGatewaySim::*)(Connection&, const std::string&);
    static const std::map<std::string, Handler> kHandlers = {
        {"login", &CGatewaySim::OnLogin},   {"version", &CGatewaySim::OnVersion},
        {"get", &CGatewaySim::OnGet},       {"put", &CGatewaySim::OnPut},
        {"putover", &CGatewaySim::OnPutOver}, {"excute", &CGatewaySim::OnExcute},
        {"changepwd", &CGatewaySim::OnChangePwd},
    };
    const std::string word = FirstLine(text);
    GatewaySimFaults faults;
    {
        std::lock_guard lock(m_mutex);
        m_transcript.AddText(text);
        faults = m_faults;
    }
    if (FaultNames(faults.silentOnCommand, word, text)) {
        return true;
    }
    if (FaultNames(faults.abortOnCommand, word, text)) {
        return SendText(c, "abort\n");
    }
    if (FaultNames(faults.garbageOnCommand, word, text)) {
        return SendGarbage(c);
    }
    const auto it = kHandlers.find(word);
    if (it == kHandlers.end()) {
        const std::string msg = "unknown message " + word;
        return SendResult(c, 1, &msg);
    }
    return (this->*(it->second))(c, text);
}

bool CGatewaySim::HandleBinary(Connection& c, const std::uint8_t* data, std::size_t len) {
    std::int64_t dropAfter = -1, rate = 0;
    {
        std::lock_guard lock(m_mutex);
        m_transcript.AddBinary(len);
        dropAfter = m_faults.dropAfterUploadBytes;
        rate = m_faults.uploadBytesPerSecond;
        if (c.uploadFile) {
            m_uploads[c.uploadIndex].bytes += len;
        }
    }
    if (c.receivedBinary == 0) {
        c.firstBinary = std::chrono::steady_clock::now();
    }
    c.receivedBinary += len;
    if (dropAfter >= 0 && c.receivedBinary >= static_cast<std::uint64_t>(dropAfter)) {
        return false;
    }
    if (rate > 0) {
        // Not faster than the rate: wait until these bytes are due.
        const auto due = c.firstBinary + std::chrono::microseconds(static_cast<std::int64_t>(
                                             c.receivedBinary * 1000000.0 / static_cast<double>(rate)));
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            due - std::chrono::steady_clock::now());
        if (wait.count() > 0 && !WaitOrStop(static_cast<int>(wait.count()))) {
            return false;
        }
    }
    // Data outside an upload is dropped, as the updater does with stray data.
    if (c.uploadFile && std::fwrite(data, 1, len, c.uploadFile) != len) {
        EndUpload(c, false);
    }
    return true;
}

bool CGatewaySim::OnLogin(Connection& c, const std::string& text) {
    std::string given;
    const bool hasPassword = GetField(text.c_str(), "passwd", given);
    bool ok = false;
    bool garbageAfter = false;
    {
        std::lock_guard lock(m_mutex);
        ok = hasPassword && !m_faults.wrongPassword && given == m_password;
        garbageAfter = m_faults.garbageAfterLogin;
    }
    c.loggedIn = ok;
    bool sent = false;
    if (ok) {
        const std::string* msg = m_config.loginMsg.empty() ? nullptr : &m_config.loginMsg;
        sent = SendResult(c, m_config.loginResult, msg);
    } else {
        const std::string msg = "Invalid password";
        sent = SendResult(c, 1, &msg);
    }
    return sent && (!garbageAfter || SendGarbage(c));
}

bool CGatewaySim::OnVersion(Connection& c, const std::string&) {
    return SendText(c, "version:" + std::to_string(m_config.protocolVersion) + "\n");
}

bool CGatewaySim::OnGet(Connection& c, const std::string& text) {
    if (!c.loggedIn) {
        return SendResult(c, 1, &kNotLoggedIn);
    }
    std::string remote;
    GetField(text.c_str(), "file", remote);
    const fs::path local = m_fs.Resolve(remote);
    std::error_code ec;
    std::ifstream in;
    if (!local.empty() && fs::is_regular_file(local, ec)) {
        in.open(local, std::ios::binary);
    }
    if (!in.is_open()) {
        const std::string msg = "No such file: " + remote;
        return SendResult(c, 1, &msg);
    }
    const std::uintmax_t size = fs::file_size(local, ec);
    const std::string sizeText = std::to_string(size);
    if (!SendResult(c, 0, m_config.getWithoutSize ? nullptr : &sizeText)) {
        return false;
    }
    char piece[kMaxPayload];
    std::uint8_t frame[kMaxSendFrame];
    while (in.read(piece, sizeof piece) || in.gcount() > 0) {
        const std::size_t n = BuildBinaryFrame(piece, static_cast<std::size_t>(in.gcount()), frame);
        if (!SendAll(c, frame, n)) {
            return false;
        }
    }
    return SendText(c, "getover\n");
}

bool CGatewaySim::OnPut(Connection& c, const std::string& text) {
    if (!c.loggedIn) {
        return SendResult(c, 1, &kNotLoggedIn);
    }
    EndUpload(c, false);  // a new put abandons an unfinished one
    std::string remote;
    GetField(text.c_str(), "file", remote);
    const fs::path local = m_fs.Resolve(remote);
    std::error_code ec;
    if (local.empty() || local == m_fs.Root() || fs::is_directory(local, ec)) {
        const std::string msg = "Cannot write file: " + remote;
        return SendResult(c, 1, &msg);
    }
    fs::create_directories(local.parent_path(), ec);
    c.uploadTarget = local;
    c.uploadTemp = HiddenSibling(local, ".simput");
    fs::remove(c.uploadTemp, ec);
    c.uploadFile = std::fopen(c.uploadTemp.c_str(), "wbx");
    if (!c.uploadFile) {
        const std::string msg = "Cannot write file: " + remote;
        return SendResult(c, 1, &msg);
    }
    // Uploads come in 1 KiB pieces: write them to the file a megabyte at a time.
    std::setvbuf(c.uploadFile, nullptr, _IOFBF, 1 << 20);
    {
        std::lock_guard lock(m_mutex);
        c.uploadIndex = m_uploads.size();
        m_uploads.push_back({remote, 0, false});
    }
    return SendResult(c, 0, nullptr);
}

bool CGatewaySim::OnPutOver(Connection& c, const std::string&) {
    if (!c.uploadFile) {
        const std::string msg = "No file is being uploaded";
        return SendResult(c, 1, &msg);
    }
    const bool flushed = std::fflush(c.uploadFile) == 0;
    std::error_code ec;
    if (flushed) {
        fs::rename(c.uploadTemp, c.uploadTarget, ec);
    }
    if (!flushed || ec) {
        EndUpload(c, false);
        const std::string msg = "Cannot store file";
        return SendResult(c, 1, &msg);
    }
    EndUpload(c, true);
    return SendResult(c, 0, nullptr);
}

bool CGatewaySim::OnExcute(Connection& c, const std::string& text) {
    if (!c.loggedIn) {
        return SendResult(c, 1, &kNotLoggedIn);
    }
    std::string line;
    if (!GetField(text.c_str(), "cmd", line)) {
        const std::string msg = "No command";
        return SendResult(c, 1, &msg);
    }
    const SimCommandRequest request = ParseCommandLine(line);
    SimCommandHandler handler;
    {
        std::lock_guard lock(m_mutex);
        handler = m_commands.Find(request);
    }
    if (!handler) {
        const std::string msg = "sh: " + request.word + ": not found";
        return SendResult(c, 1, &msg);
    }
    const SimCommandReply reply = handler(request, m_fs);
    if (reply.resultText) {
        m_fs.WriteFile(m_config.resultFile, *reply.resultText);
    }
    if (reply.reboot) {
        std::lock_guard lock(m_mutex);
        ++m_reboots;
        c.reboot = true;
    }
    return SendResult(c, reply.result, reply.msg ? &*reply.msg : nullptr);
}

bool CGatewaySim::OnChangePwd(Connection& c, const std::string& text) {
    if (!c.loggedIn) {
        return SendResult(c, 1, &kNotLoggedIn);
    }
    std::string password;
    if (!GetField(text.c_str(), "newpwd", password) || password.empty()) {
        const std::string msg = "Password is empty";
        return SendResult(c, 1, &msg);
    }
    {
        std::lock_guard lock(m_mutex);
        m_password = password;
    }
    return SendResult(c, 0, nullptr);
}

}  // namespace vorn
