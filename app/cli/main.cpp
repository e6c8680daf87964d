// vornupdater: with a command it runs headless; without one it opens the GUI (when built).
#include <QCoreApplication>

#include "app/Startup.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CmdInspect.h"

namespace {

const char kUsage[] =
    "Usage: vornupdater [COMMAND [OPTIONS...]]\n"
    "\n"
    "Firmware updater for network gateways. Without a command the desktop program opens.\n"
    "\n"
    "Commands:\n"
    "  inspect PACKAGE [--gateway-version-file FILE]\n"
    "                check a package offline\n"
    "  --help        show this text\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    // Offline package commands need no installation checks and no instance lock.
    if (std::strcmp(argv[1], "inspect") == 0) {
        return vorn::RunInspect(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }

    // --- start-up checks (log, single-instance lock, options file, "openssl", path length) ---
    vorn::CStartup startup;
    if (vorn::StartupResult r = startup.Run(); !r.ok()) {
        std::fputs(r.message.c_str(), stderr);
        if (r.message.empty() || r.message.back() != '\n') {
            std::fputc('\n', stderr);
        }
        return 4;
    }
    // --- end of start-up checks ---

    std::fprintf(stderr, "vornupdater: unknown command '%s' (see --help)\n", argv[1]);
    return 2;
}
