#pragma once
// The desktop program: `vornupdater` without a command.
namespace vorn::gui {

// True when a display can be reached (an X or Wayland display, or a platform chosen through
// QT_QPA_PLATFORM).
bool DisplayAvailable();
// Runs the start-up checks and the wizard; the program's exit status.
int RunGui(int argc, char** argv);

}  // namespace vorn::gui
