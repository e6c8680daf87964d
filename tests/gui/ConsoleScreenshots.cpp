#include "tests/gui/ConsoleScreenshots.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include "app/gui/CConnectDeviceDlg.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CCurrentDeviceDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CModifyPasswordDlg.h"
#include "lib/StringTable.h"
#include "lib/Text.h"

using namespace vorn;
using namespace vorn::gui;

void SaveConsoleScreenshots(CMainSheet& sheet, const SaveShot& save) {
    // Output in every colour through the Operator, with a transfer's progress line.
    Operator& op = sheet.Op();
    op.SetWindowTitle(std::string(LoadStr(6702)) + " - 192.168.1.1");
    op.AppendConsole(FormatStr(6500, "192.168.1.1"), kBlack);
    op.AppendConsole(LoadStr(6474), kBlue);
    op.AppendConsole(LoadStr(6475), kBlack);
    op.AppendConsole("KELMORA GW V300R001\n", kBlack);
    op.AppendConsole("\n", kBlack);
    op.AppendConsole(LoadStr(6518), kBlack);
    op.AppendConsole(LoadStr(6519), kBlack);
    op.AppendConsole("/opt/tolbane/tmp/cfgbk(size:12,288 B) : ", kBlack);
    op.SetProgressAnchor();
    op.ReplaceProgress("42%", kBlue);
    op.ReplaceProgress("100%", kBlue);
    op.AppendConsole("\n", kBlack);
    op.AppendConsole(LoadStr(6470), kBlue);
    op.AppendConsole(LoadStr(6455), kRed);
    op.AppendConsole(FormatStr(6501, "192.168.1.2"), kRed);

    CConsoleWindow& console = *sheet.Console();
    console.setMinimumSize(640, 420);
    save(console, "console");

    // Each menu as it drops down.
    int n = 0;
    for (QAction* a : console.menuBar()->actions()) {
        QMenu* menu = a->menu();
        if (!menu || menu->actions().isEmpty()) {
            continue;
        }
        menu->popup(console.mapToGlobal(QPoint(0, 0)));
        save(*menu, QString("console-menu%1").arg(++n));
        menu->hide();
    }

    CConnectDeviceDlg connect(sheet.Op(), "192.168.1.1", &console);
    connect.PasswordEdit()->setText("secret");
    save(connect, "connect-device");

    CModifyPasswordDlg password(sheet.Op(), &console);
    password.NewPasswordEdit()->setText("new-secret");
    save(password, "modify-password");

    CCurrentDeviceDlg device(&console);
    device.ModelBox()->setCurrentIndex(1);
    device.SeriesBox()->setCurrentIndex(3);
    save(device, "current-device");
}
