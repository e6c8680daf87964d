// vornupdater: chooses the front end. With a command it runs the command line; without one
// it opens the desktop program (when built with it).
#include <QCoreApplication>

#include "app/Startup.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#ifdef VORN_WITH_GUI
#include "app/gui/GuiMain.h"
#endif

int main(int argc, char** argv) {
    // Past a file size limit a write fails with EFBIG and is reported, instead of the signal
    // ending the program with a file half written.
    std::signal(SIGXFSZ, SIG_IGN);
#ifdef VORN_WITH_GUI
    if (argc < 2) {
        return vorn::gui::RunGui(argc, argv);
    }
#endif
    QCoreApplication app(argc, argv);
    vorn::cli::CTtyTerminal terminal;
    vorn::cli::CliEnvironment env{std::cout, std::cerr, terminal, ::isatty(STDOUT_FILENO) == 1};
    const std::vector<std::string> args(argv + 1, argv + argc);
    // Help and offline commands need no installation checks and no instance lock.
    if (vorn::cli::RunsWithoutStartup(args)) {
        return vorn::cli::RunCli(args, env);
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
