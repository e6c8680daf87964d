// The desktop program's wizard driven through its widgets, for the tests of an installed
// copy: the tests place this program beside vornupdater in the installed folder and run it
// as an ordinary user, so the start-up, the program folder and the data folder are chosen by
// the same rules as for the installed program. Offscreen (QT_QPA_PLATFORM=offscreen).
//
//   vorn_gui_probe update ADDRESS PASSWORD PACKAGE [PICTURE.png]
//       logs in on the connect page, loads PACKAGE on the load page, confirms the update and
//       waits for its end; exit 0 when it succeeded. PICTURE gets the window at the end.
//   vorn_gui_probe options-set INDEX   chooses update server INDEX in Options and presses OK
//   vorn_gui_probe options-show        prints "server=INDEX" as the Options dialog shows it
//
// Start-up refusals print their text and exit 4, as the desktop program does.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <string>

#include "app/Startup.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageConnect.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "lib/StringTable.h"
#include "tests/common/WaitFor.h"

namespace {

using namespace vorn;

void PrintMessages(gui::CMainSheet& sheet) {
    for (const std::string& m : sheet.Op().Messages()) {
        std::printf("message: %s\n", m.c_str());
    }
}

int Update(gui::CMainSheet& sheet, int argc, char** argv) {
    if (argc < 5) {
        std::fputs("update ADDRESS PASSWORD PACKAGE [PICTURE]\n", stderr);
        return 2;
    }
    gui::CPageConnect* connect = sheet.ConnectPage();
    connect->AddressBox()->setEditText(QString::fromLocal8Bit(argv[2]));
    connect->PasswordEdit()->setText(QString::fromLocal8Bit(argv[3]));
    sheet.NextButton()->click();
    if (!test::waitFor([&] { return sheet.ActivePage() == gui::CMainSheet::kPageLoad; }, 20000)) {
        std::puts("login failed");
        PrintMessages(sheet);
        return 1;
    }
    // "&Update" in the confirmation dialog as soon as it opens (it runs its own loop).
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [&] {
        if (gui::CConfirmUpdateDlg* dlg = sheet.ConfirmDialog()) {
            dlg->UpdateButton()->click();
            confirm.stop();
        }
    });
    confirm.start(20);
    sheet.LoadPage()->PathEdit()->setText(QString::fromLocal8Bit(argv[4]));
    sheet.NextButton()->click();
    const bool ended = test::waitFor([&] { return sheet.Events().Finished(); }, 120000);
    test::waitFor([] { return false; }, 200);  // the last repaint before the picture
    if (argc > 5 && !sheet.grab().save(QString::fromLocal8Bit(argv[5]), "PNG")) {
        std::printf("picture not saved: %s\n", argv[5]);
    }
    std::printf("details:\n%s\n", sheet.UpdatePage()->DetailsText().toLocal8Bit().constData());
    PrintMessages(sheet);
    const bool ok = ended && sheet.Events().Result() == CUpdateEvents::Outcome::Succeeded;
    std::puts(ok ? "update succeeded" : "update failed");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetLanguage(LanguageFromEnvironment());
    if (argc < 2) {
        std::fputs("usage: vorn_gui_probe update|options-set|options-show ...\n", stderr);
        return 2;
    }
    CStartup startup;
    if (StartupResult r = startup.Run(); !r.ok()) {
        std::printf("%s\n", r.message.c_str());
        return 4;
    }
    gui::CMainSheet sheet(true);
    sheet.SetConnectTimeouts(10000, 3000);
    sheet.resize(640, 460);
    sheet.show();
    const std::string mode = argv[1];
    if (mode == "update") {
        return Update(sheet, argc, argv);
    }
    gui::COptionDlg dlg(sheet.Op(), &sheet);
    dlg.show();
    if (mode == "options-set" && argc > 2) {
        dlg.ServerBox()->setCurrentIndex(std::atoi(argv[2]));
        dlg.OkButton()->click();
        PrintMessages(sheet);
        return dlg.result() == QDialog::Accepted ? 0 : 1;
    }
    if (mode == "options-show") {
        std::printf("server=%d\n", dlg.ServerBox()->currentIndex());
        return 0;
    }
    return 2;
}
