// TOLBANE_Updater: checks the installation folder beside it and starts the program there.
// Exit status 0 when the program was started, 1 otherwise.
#include <clocale>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "launcher/Launcher.h"
#include "launcher/LauncherMessage.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");  // the system's error texts in the user's language
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const vorn::LaunchOutcome outcome =
        vorn::Launch(self, std::vector<std::string>(argv + 1, argv + argc));
    if (outcome.started) {
        return 0;
    }
    vorn::ShowLauncherMessage(outcome.message, argc, argv);
    return 1;
}
