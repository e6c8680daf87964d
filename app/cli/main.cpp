// vornupdater: with a command it runs headless; without one it opens the GUI (when built).
#include <QCoreApplication>

#include "app/Startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "app/cli/CmdInspect.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vorn::cli::CTtyTerminal terminal;
    vorn::cli::CliEnvironment env{std::cout, std::cerr, terminal, ::isatty(STDOUT_FILENO) == 1};
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        return vorn::cli::RunCli(args, env);
    }
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

    return vorn::cli::RunCli(args, env);
}
