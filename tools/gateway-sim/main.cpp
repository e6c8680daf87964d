// gateway-sim: runs the gateway simulator until SIGINT or SIGTERM.
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimDiscovery.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace {

const char kUsage[] =
    "Usage: gateway-sim --root DIR [options]\n"
    "Plays a gateway on the link protocol, with a virtual file system in DIR.\n"
    "  --listen ADDR              IPv4 address to listen on (default 127.0.0.1)\n"
    "  --port N                   TCP port; 0 picks a free one (default 0)\n"
    "  --root DIR                 folder of the virtual file system (created)\n"
    "  --password P               login password (default admin)\n"
    "  --password-file F          read the password from the first line of F\n"
    "  --old-login                answer a login with result 0 (old firmware)\n"
    "  --login-msg TEXT           msg line of a successful login reply\n"
    "  --damaged                  no /app/appversion (damaged firmware)\n"
    "  --version-text TEXT        content of /app/appversion (\\n is a line feed)\n"
    "  --route-output TEXT        output of \"route -n\" (\\n, \\xNN escapes)\n"
    "  --protocol-version N       answer to the version message (default 768)\n"
    "  --get-without-size         answer get with result 0 and no size\n"
    "  --reboot-refuse-ms N       refuse connections this long after reboot (default 3000)\n"
    "  --result-file PATH         remote result file of commands (default /etc/vorncmd/result)\n"
    "  --transcript FILE          write every received message to FILE as JSON lines\n"
    "  --fault-wrong-password     refuse every login\n"
    "  --fault-drop-after-bytes N close the connection after N uploaded bytes\n"
    "  --fault-garbage-after-login  send a garbage frame after the login reply\n"
    "  --fault-garbage-on CMD     send a garbage frame instead of the reply to CMD\n"
    "  --fault-abort-on CMD       send \"abort\" instead of the reply to CMD\n"
    "  --fault-silent-on CMD      do not answer CMD\n"
    "  --throttle-upload N        receive uploaded bytes at N bytes per second at most\n"
    "  --discovery                answer search requests on UDP (port 51111 by default)\n"
    "  --discovery-port N         UDP port of the search responder; 0 picks a free one\n"
    "  --discovery-listen ADDR    IPv4 address the responder binds (default 0.0.0.0)\n"
    "  --announce ADDR            address announced in search replies (default: --listen)\n"
    "  --discovery-delay-ms N     answer each search request after N ms\n"
    "  --discovery-repeat N       send the search reply N times (default 1)\n"
    "  --discovery-no-reply       send no proper search reply (only the extras below)\n"
    "  --discovery-extra-long     also send an 11-byte search reply\n"
    "  --discovery-extra-prefix   also send a 10-byte reply with another prefix\n"
    "The --discovery-* options and --announce switch the responder on.\n"
    "  --fail-script NAME[=TEXT]  the gateway script NAME (path or file name) fails and writes\n"
    "                             TEXT to the result file (repeatable)\n"
    "  --config-etc-link          make /config/etc a symbolic link (history in /app/updhistory)\n"
    "CMD is a message word (login, get, put, putover, excute, changepwd, version) or an\n"
    "excute command line or its first word (reboot, ls, /etc/vorncmd/apppre).\n"
    "Prints \"listening on ADDR:PORT\" once ready (and, with discovery, a second line\n"
    "\"discovery on ADDR:PORT announcing ADDR\", then \"search request from ADDR:PORT\"\n"
    "for each request); runs until SIGINT or SIGTERM.\n";

bool ParseInt(const char* text, long long min, long long max, long long& out) {
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno || end == text || *end || v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

// "\n" is a line feed, "\xNN" the byte NN (hexadecimal).
std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x' &&
                   std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
                   std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

int Fail(const std::string& message) {
    std::cerr << "gateway-sim: " << message << "\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    vorn::GatewaySimConfig cfg;
    vorn::SimDiscoveryConfig discovery;
    bool discoveryOn = false;
    bool announceGiven = false;
    vorn::SimScriptOptions scripts;
    vorn::SimDiagnosticsOptions diagnostics;
    bool configEtcLink = false;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) {
                return false;
            }
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        long long n = 0;
        if (opt == "--help" || opt == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (opt == "--old-login") {
            cfg.loginResult = vorn::kLoginOld;
        } else if (opt == "--damaged") {
            cfg.damaged = true;
        } else if (opt == "--get-without-size") {
            cfg.getWithoutSize = true;
        } else if (opt == "--fault-wrong-password") {
            cfg.faults.wrongPassword = true;
        } else if (opt == "--config-etc-link") {
            configEtcLink = true;
        } else if (opt == "--fault-garbage-after-login") {
            cfg.faults.garbageAfterLogin = true;
        } else if (opt == "--discovery") {
            discoveryOn = true;
        } else if (opt == "--discovery-no-reply") {
            discoveryOn = true;
            discovery.properReply = false;
        } else if (opt == "--discovery-extra-long") {
            discoveryOn = true;
            discovery.extraLongReply = true;
        } else if (opt == "--discovery-extra-prefix") {
            discoveryOn = true;
            discovery.extraOtherPrefix = true;
        } else if (!value(&v)) {
            return Fail(opt.rfind("--", 0) == 0 ? "missing value for " + opt
                                                : "unexpected argument " + opt);
        } else if (opt == "--listen") {
            cfg.listenAddress = v;
        } else if (opt == "--port") {
            if (!ParseInt(v, 0, 65535, n)) {
                return Fail("bad port: " + std::string(v));
            }
            cfg.port = static_cast<std::uint16_t>(n);
        } else if (opt == "--discovery-port") {
            if (!ParseInt(v, 0, 65535, n)) {
                return Fail("bad port: " + std::string(v));
            }
            discoveryOn = true;
            discovery.port = static_cast<std::uint16_t>(n);
        } else if (opt == "--discovery-listen") {
            discoveryOn = true;
            discovery.bindAddress = v;
        } else if (opt == "--announce") {
            discoveryOn = true;
            announceGiven = true;
            discovery.announce = v;
        } else if (opt == "--discovery-delay-ms") {
            if (!ParseInt(v, 0, 3600000, n)) {
                return Fail("bad time: " + std::string(v));
            }
            discoveryOn = true;
            discovery.delayMs = static_cast<int>(n);
        } else if (opt == "--discovery-repeat") {
            if (!ParseInt(v, 1, 100, n)) {
                return Fail("bad repeat count: " + std::string(v));
            }
            discoveryOn = true;
            discovery.repeat = static_cast<int>(n);
        } else if (opt == "--root") {
            cfg.root = v;
        } else if (opt == "--password") {
            cfg.password = v;
        } else if (opt == "--password-file") {
            std::ifstream in(v);
            if (!in || !std::getline(in, cfg.password)) {
                return Fail("cannot read the password file " + std::string(v));
            }
        } else if (opt == "--login-msg") {
            cfg.loginMsg = v;
        } else if (opt == "--version-text") {
            cfg.versionText = Unescape(v);
        } else if (opt == "--route-output") {
            diagnostics.routeOutput = Unescape(v);
        } else if (opt == "--protocol-version") {
            if (!ParseInt(v, 0, 0x7FFFFFFF, n)) {
                return Fail("bad protocol version: " + std::string(v));
            }
            cfg.protocolVersion = static_cast<int>(n);
        } else if (opt == "--reboot-refuse-ms") {
            if (!ParseInt(v, 0, 3600000, n)) {
                return Fail("bad time: " + std::string(v));
            }
            cfg.rebootRefuseMs = static_cast<int>(n);
        } else if (opt == "--result-file") {
            cfg.resultFile = v;
        } else if (opt == "--transcript") {
            cfg.transcriptPath = v;
        } else if (opt == "--fault-drop-after-bytes") {
            if (!ParseInt(v, 0, INT64_MAX, n)) {
                return Fail("bad byte count: " + std::string(v));
            }
            cfg.faults.dropAfterUploadBytes = n;
        } else if (opt == "--throttle-upload") {
            if (!ParseInt(v, 1, INT64_MAX, n)) {
                return Fail("bad rate: " + std::string(v));
            }
            cfg.faults.uploadBytesPerSecond = n;
        } else if (opt == "--fault-garbage-on") {
            cfg.faults.garbageOnCommand = v;
        } else if (opt == "--fault-abort-on") {
            cfg.faults.abortOnCommand = v;
        } else if (opt == "--fault-silent-on") {
            cfg.faults.silentOnCommand = v;
        } else if (opt == "--fail-script") {
            const std::string spec = v;
            const std::size_t eq = spec.find('=');
            scripts.failing[spec.substr(0, eq)] = eq == std::string::npos ? "" : spec.substr(eq + 1);
        } else {
            return Fail("unknown option " + opt + " (see --help)");
        }
    }
    if (cfg.root.empty()) {
        return Fail("--root DIR is required (see --help)");
    }

    // Block the stop signals before the server thread starts, so only sigwait sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    vorn::CGatewaySim sim(cfg);
    vorn::AddScriptCommands(sim, scripts);
    vorn::AddDiagnosticCommands(sim, diagnostics);
    if (!sim.Start()) {
        return Fail(sim.LastError());
    }
    if (configEtcLink && !vorn::MakeConfigEtcLink(sim.Root())) {
        return Fail("cannot make /config/etc a link under the root folder");
    }
    if (!announceGiven && cfg.listenAddress != "0.0.0.0") {
        discovery.announce = cfg.listenAddress;
    }
    discovery.onRequest = [](const std::string& from) {
        std::cout << "search request from " << from << std::endl;
    };
    vorn::CSimDiscovery responder(discovery);
    if (discoveryOn && !responder.Start()) {
        sim.Stop();
        return Fail(responder.LastError());
    }
    std::cout << "listening on " << cfg.listenAddress << ":" << sim.Port() << std::endl;
    if (discoveryOn) {
        std::cout << "discovery on " << discovery.bindAddress << ":" << responder.Port()
                  << " announcing " << discovery.announce << std::endl;
    }
    int sig = 0;
    sigwait(&stopSignals, &sig);
    responder.Stop();
    sim.Stop();
    return 0;
}
