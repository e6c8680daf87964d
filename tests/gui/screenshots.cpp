// Pictures of the wizard's pages and dialogs for docs/screenshots/: each window is laid out
// offscreen and grabbed to a PNG named after it. Usage: gui-screenshots OUTPUT_FOLDER SUFFIX
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyleHints>

#include <functional>

#include "app/gui/CAboutDlg.h"
#include "app/gui/CCommandConsoleDlg.h"
#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CModifyNicDlg.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/CPingDlg.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/CommandMenu.h"
#include "app/gui/GuiText.h"
#include "lib/StringTable.h"
#include "operations/CUpdateEvents.h"

using namespace vorn;
using namespace vorn::gui;

namespace {

void Save(QWidget& w, const QString& folder, const QString& name, const QString& suffix) {
    w.show();
    if (!dynamic_cast<CMainSheet*>(&w)) {
        w.adjustSize();
    }
    QApplication::processEvents();
    w.grab().save(folder + "/" + name + "-" + suffix + ".png");
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        return 2;
    }
    QApplication::styleHints()->setCursorFlashTime(0);
    SetLanguage(LanguageFromEnvironment());
    const QString folder = argv[1];
    const QString suffix = argv[2];
    QDir().mkpath(folder);

    CMainSheet sheet(true);
    sheet.resize(sheet.sizeHint().expandedTo(QSize(560, 380)));
    Save(sheet, folder, "connect", suffix);

    sheet.ShowPage(CMainSheet::kPageLoad);
    sheet.LoadPage()->SetGateway("192.168.1.1", "KELMORA GW V300R001");
    sheet.LoadPage()->PathEdit()->setText("/home/user/sample_V301R002.ssu");
    Save(sheet, folder, "load", suffix);

    sheet.ShowPage(CMainSheet::kPageUpdate);
    CPageUpdate* update = sheet.UpdatePage();
    update->SetState(Str(6724));
    update->AppendDetail(Str(6725).arg(1).replace("%d", "1"), kGreen);
    update->AppendDetail("put /etc/vorncmd/app1\n", kBlack);
    update->ShowProgress("42%", 0);
    Save(sheet, folder, "update", suffix);

    COptionDlg options(sheet.Op(), &sheet);
    Save(options, folder, "options", suffix);

    CUpdateEvents events(sheet.Frame(), sheet);
    CConfirmUpdateDlg confirm(events, "Fixes the DHCP lease renewal.\nAdds IPv6 routing.",
                              "KELMORA GW V300R001", "KELMORA GW V301R002", true, &sheet);
    Save(confirm, folder, "confirm-update", suffix);

    CConfirmStopDlg stop(&sheet);
    Save(stop, folder, "confirm-stop", suffix);

    CAboutDlg about(&sheet);
    Save(about, folder, "about", suffix);

    // The console's "Command" dialogs.
    CPingDlg ping(&sheet);
    ping.TargetEdit()->setText("192.168.1.254");
    Save(ping, folder, "ping", suffix);
    CModifyNicDlg nic(sheet.Op(), &sheet);
    nic.NicBox()->setCurrentIndex(1);
    nic.SpeedBox()->setCurrentIndex(0);
    nic.MtuBox()->setChecked(true);
    nic.MtuEdit()->setText("1400");
    Save(nic, folder, "modify-nic", suffix);
    CExchangeNicsDlg exchange(&sheet);
    Save(exchange, folder, "exchange-nics", suffix);
    CCommandConsoleDlg command(sheet.Op(), &sheet);
    command.TextEdit()->setText("cat /proc/meminfo");
    Save(command, folder, "command-console", suffix);
    QMenu commands(CommandLabel(CL::MenuTitle));
    FillCommandMenu(commands, sheet.Frame(), sheet.Op(), &sheet);
    Save(commands, folder, "command-menu", suffix);
    return 0;
}
