#pragma once
// The desktop program: `vornupdater` without a command.
class QApplication;
class QTranslator;

namespace vorn::gui {

// True when a display can be reached (an X or Wayland display, or a platform chosen through
// QT_QPA_PLATFORM).
bool DisplayAvailable();
// Qt's own texts (standard buttons) in the language of the string table, through
// `translator` (which must outlive the application's use of it).
void LoadQtTranslation(QApplication& app, QTranslator& translator);
// Runs the start-up checks and the wizard; the program's exit status.
int RunGui(int argc, char** argv);

}  // namespace vorn::gui
