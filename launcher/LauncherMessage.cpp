#include "launcher/LauncherMessage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef VORN_LAUNCHER_MESSAGE_BOX
#include <QApplication>
#include <QMessageBox>
#endif

namespace vorn {
namespace {

[[maybe_unused]] bool HasDisplay() {
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    // Qt's windowless platforms cannot show a box that anybody could close.
    if (const char* qpa = std::getenv("QT_QPA_PLATFORM");
        qpa && (std::strncmp(qpa, "offscreen", 9) == 0 || std::strncmp(qpa, "minimal", 7) == 0)) {
        return false;
    }
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

}  // namespace

void ShowLauncherMessage(const std::string& text, [[maybe_unused]] int argc,
                         [[maybe_unused]] char** argv) {
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
#ifdef VORN_LAUNCHER_MESSAGE_BOX
    if (HasDisplay()) {
        QApplication app(argc, argv);
        // The text names folders and files: plain text, whatever they are called.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("TOLBANE_Updater"), QString(),
                        QMessageBox::Ok);
        box.setTextFormat(Qt::PlainText);
        box.setText(QString::fromLocal8Bit(text.c_str()));
        box.exec();
    }
#endif
}

}  // namespace vorn
