#include "app/gui/GuiMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

#include "app/Startup.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/GuiText.h"
#include "app/gui/PlainMessageBox.h"
#include "lib/Log.h"
#include "lib/StringTable.h"

namespace vorn::gui {
namespace {

bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

}  // namespace

void LoadQtTranslation(QApplication& app, QTranslator& translator) {
    const Language lang = CurrentLanguage();
    if (lang == Language::English) {
        return;
    }
    const QLocale locale(lang == Language::Simplified ? QStringLiteral("zh_CN")
                                                      : QStringLiteral("zh_TW"));
    if (translator.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        app.installTranslator(&translator);
    } else {
        LogWrite("Qt translations not found", kLogInfo);
    }
}

bool DisplayAvailable() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

int RunGui(int argc, char** argv) {
    if (!DisplayAvailable()) {
        std::fputs(
            "vornupdater: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
            "unset); the desktop program needs one. Run 'vornupdater --help' for the commands "
            "that work without it.\n",
            stderr);
        return 4;
    }
    QApplication app(argc, argv);
    SetLanguage(LanguageFromEnvironment());
    QTranslator qtTranslator;
    LoadQtTranslation(app, qtTranslator);

    CStartup startup;
    if (StartupResult r = startup.Run(); !r.ok()) {
        RunPlainBox(nullptr, QMessageBox::Critical, Str(6635), Q(r.message).trimmed(),
                    QMessageBox::Ok, QMessageBox::Ok);
        return 4;
    }
    CMainSheet sheet;
    if (!sheet.Search().IsOpen()) {
        return 4;  // the search socket's failure was shown
    }
    sheet.resize(sheet.sizeHint().expandedTo(QSize(560, 380)));
    sheet.show();
    return app.exec();
}

}  // namespace vorn::gui
