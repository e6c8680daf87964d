#include "app/cli/CmdSupport.h"

#include <algorithm>
#include <functional>

#include "app/cli/CliRun.h"
#include "lib/StringTable.h"

namespace vorn::cli {
namespace {

// Logs in, runs one diagnostic command and waits for its end (a ping series included).
int RunDiagnostic(const CliArgs& args, CliEnvironment& env, bool needsNicLayout,
                  const std::function<bool(CMainFrame&)>& start) {
    CliRun run(args, env);
    if (int rc = run.Prepare()) {
        return rc;
    }
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (needsNicLayout && !run.Frame().NicCommandsEnabled()) {
        run.Op().Note(
            "vornupdater: NIC commands are not available on this gateway (its scripts use the "
            "/var layout; they need the /etc layout)",
            true);
        return run.Finish(kExitFailed);
    }
    if (!start(run.Frame())) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    const bool ok = ended && run.Frame().LastConsoleOk() && run.Frame().Connected;
    return run.Finish(ok ? kExitOk : kExitFailed);
}

int Usage(CliEnvironment& env, const std::string& command, const std::string& error) {
    env.err << "vornupdater " << command << ": " << error << "\n"
            << "Try 'vornupdater " << command << " --help'.\n";
    return kExitUsage;
}

std::string Joined(const std::vector<std::string>& list) {
    std::string s;
    for (const std::string& v : list) s += (s.empty() ? "" : ", ") + v;
    return s;
}

// The MTU argument: 0 and the value, or a usage error.
int ParseMtu(CliEnvironment& env, const std::string& text, int& mtu) {
    if (!ParseCount(text, mtu) || !IsValidMtu(mtu)) {
        return Usage(env, "nic", std::string(LoadStr(6547)) + " (700-1500)");
    }
    return 0;
}

}  // namespace

int CmdPing(const CliArgs& args, CliEnvironment& env) {
    const std::string target = args.positional[0];
    return RunDiagnostic(args, env, false, [&](CMainFrame& f) { return f.PingGateway(target); });
}

int CmdRoute(const CliArgs& args, CliEnvironment& env) {
    return RunDiagnostic(args, env, false, [](CMainFrame& f) { return f.ShowRouteTable(); });
}

int CmdArp(const CliArgs& args, CliEnvironment& env) {
    return RunDiagnostic(args, env, false, [](CMainFrame& f) { return f.ShowArpTable(); });
}

int CmdIfconfig(const CliArgs& args, CliEnvironment& env) {
    return RunDiagnostic(args, env, false, [](CMainFrame& f) { return f.ShowNetworkSettings(); });
}

int CmdNic(const CliArgs& args, CliEnvironment& env) {
    const std::vector<std::string>& p = args.positional;
    const std::string& what = p[0];
    if (what == "show") {
        if (p.size() > 2 || args.values.count("mtu")) {
            return Usage(env, "nic", "expects: nic show [all|ethN]");
        }
        std::string nic = p.size() == 2 ? p[1] : "all";
        if (nic == "all") {
            nic = "All";
        } else if (!IsNicName(nic, "eth")) {
            return Usage(env, "nic", "unknown NIC '" + nic + "' (all, eth0 ... eth20)");
        }
        return RunDiagnostic(args, env, true,
                             [&](CMainFrame& f) { return f.ShowNicSettings(nic); });
    }
    NicSettings s;
    if (what == "set") {
        if (p.size() != 3) {
            return Usage(env, "nic", "expects: nic set NIC SPEED [--mtu M]");
        }
        if (!IsNicName(p[1], "eth")) {
            return Usage(env, "nic", std::string(LoadStr(6533)) + " (eth0 ... eth20)");
        }
        if (!IsNicSpeed(p[2])) {
            return Usage(env, "nic", std::string(LoadStr(6534)) + " (" + Joined(NicSpeeds()) + ")");
        }
        s.nic = p[1];
        s.speed = p[2];
        if (args.values.count("mtu")) {
            int mtu = 0;
            if (int rc = ParseMtu(env, args.Value("mtu"), mtu)) {
                return rc;
            }
            s.mtu = mtu;
        }
    } else if (what == "mtu") {
        if (p.size() != 3 || args.values.count("mtu")) {
            return Usage(env, "nic", "expects: nic mtu PPPN M");
        }
        if (!IsNicName(p[1], "ppp")) {
            return Usage(env, "nic", std::string(LoadStr(6533)) + " (ppp0 ... ppp5)");
        }
        int mtu = 0;
        if (int rc = ParseMtu(env, p[2], mtu)) {
            return rc;
        }
        s.nic = p[1];
        s.mtu = mtu;
    } else {
        return Usage(env, "nic", "unknown action '" + what + "' (show, set, mtu)");
    }
    return RunDiagnostic(args, env, true, [&](CMainFrame& f) { return f.ModifyNicSettings(s); });
}

int CmdSwapNic(const CliArgs& args, CliEnvironment& env) {
    const std::string nic1 = args.positional[0];
    const std::string nic2 = args.positional[1];
    if (!IsNicName(nic1, "eth") || !IsNicName(nic2, "eth") || nic1 == nic2) {
        return Usage(env, "swapnic", "expects two different NICs of eth0 ... eth20");
    }
    const bool reboot = args.Has("reboot");
    CliRun run(args, env);
    if (int rc = run.Prepare()) {
        return rc;
    }
    // The restart question is answered by --reboot alone.
    run.Op().SetAnswer(LoadStr(6551), reboot);
    if (int rc = run.Login()) {
        return run.Finish(rc);
    }
    if (!run.Frame().NicCommandsEnabled()) {
        run.Op().Note(
            "vornupdater: NIC commands are not available on this gateway (its scripts use the "
            "/var layout; they need the /etc layout)",
            true);
        return run.Finish(kExitFailed);
    }
    if (!run.Frame().ExchangeNics(nic1, nic2)) {
        return run.Finish(kExitFailed);
    }
    const bool ended = run.WaitProcedure();
    const bool ok = ended && run.Frame().LastConsoleOk();
    return run.Finish(ok ? kExitOk : kExitFailed);
}

std::vector<CliCommand> SupportCommands() {
    return {
        {"ping", "TARGET", "ping TARGET from the gateway (4 runs)", {}, 1, 1, true, &CmdPing},
        {"route", "", "show the gateway's routing table", {}, 0, 0, true, &CmdRoute},
        {"arp", "", "show the gateway's ARP table", {}, 0, 0, true, &CmdArp},
        {"ifconfig", "", "show the gateway's network interfaces", {}, 0, 0, true, &CmdIfconfig},
        {"nic",
         "show [all|ethN] | set NIC SPEED | mtu PPPN M",
         "show NIC status, set a NIC's speed (and MTU) or a ppp MTU",
         {{"mtu", 0, true, "M", "with 'nic set': also set the MTU (700-1500)"}},
         1,
         3,
         true,
         &CmdNic},
        {"swapnic",
         "NIC1 NIC2",
         "exchange two NICs of the gateway",
         {{"reboot", 0, false, nullptr,
           "restart the gateway afterwards (else it is not restarted)"}},
         2,
         2,
         true,
         &CmdSwapNic},
    };
}

}  // namespace vorn::cli
