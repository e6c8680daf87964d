// vornupdater: with a command it runs headless; without one it opens the GUI (when built).
#include <QCoreApplication>

#include <unistd.h>

#include <iostream>

#include "app/cli/Cli.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vorn::cli::CTtyTerminal terminal;
    vorn::cli::CliEnvironment env{std::cout, std::cerr, terminal, ::isatty(STDOUT_FILENO) == 1};
    return vorn::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
