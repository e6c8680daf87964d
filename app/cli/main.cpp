// vornupdater: with a command it runs headless; without one it opens the GUI (when built).
#include <QCoreApplication>

#include <unistd.h>

#include <cstring>
#include <iostream>

#include "app/cli/Cli.h"
#include "app/cli/CmdInspect.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The offline package check parses its own arguments and needs no gateway.
    if (argc >= 2 && std::strcmp(argv[1], "inspect") == 0) {
        return vorn::RunInspect(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
    vorn::cli::CTtyTerminal terminal;
    vorn::cli::CliEnvironment env{std::cout, std::cerr, terminal, ::isatty(STDOUT_FILENO) == 1};
    return vorn::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
