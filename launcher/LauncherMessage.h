#pragma once
// The launcher's one message: always on standard error, and in a message box when a display
// is there to show it.
#include <string>

namespace vorn {

void ShowLauncherMessage(const std::string& text, int argc, char** argv);

}  // namespace vorn
