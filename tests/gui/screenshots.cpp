// Pictures of the wizard's pages and dialogs for docs/screenshots/, taken from the running
// program: a gateway simulator in this process on 127.0.0.1, a search answered from
// 127.0.0.1, a real login and a real update of a sample package, grabbed in the middle of
// its transfer and stopped there. Each window is drawn with grab() into a PNG named after it.
//
// Usage: gui-screenshots OUTPUT_FOLDER SUFFIX
// VORN_HOME must be a program folder with the archive component and the helper scripts.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleHints>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "app/gui/CAboutDlg.h"
#include "app/gui/CCommandConsoleDlg.h"
#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/CMainSheet.h"
#include "app/gui/CModifyNicDlg.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageConnect.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/CPingDlg.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "app/gui/CommandLabels.h"
#include "app/gui/CommandMenu.h"
#include "app/gui/GuiMain.h"
#include "app/gui/GuiText.h"
#include "lib/StringTable.h"
#include "lib/Text.h"
#include "packages/ZipBridgeLoader.h"
#include "tests/common/UdpProbe.h"
#include "tests/common/WaitFor.h"
#include "tests/gui/ConsoleScreenshots.h"
#include "tools/gateway-sim/CGatewaySim.h"
#include "tools/gateway-sim/SimScripts.h"
#include "tools/mkpkg/PackageWriter.h"

using namespace vorn;
using namespace vorn::gui;

namespace {

QString g_folder;
QString g_suffix;

// `settle`: let pending layout and paint events run first (never while the core is inside a
// call that must not be re-entered, such as an upload's progress report).
void Grab(QWidget& w, const QString& name, bool settle = true) {
    if (settle) {
        QApplication::processEvents();
    }
    w.grab().save(g_folder + "/" + name + "-" + g_suffix + ".png");
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "gui-screenshots: %s\n", what.c_str());
    return 1;
}

// A single package whose image is large enough for a transfer that lasts a moment.
std::string SamplePackage(const std::filesystem::path& dir, std::string& error) {
    std::string image = "#sim: version KELMORA GW V301R002\n";
    for (int i = 0; image.size() < 48u << 20; ++i) {
        image += "firmware block " + std::to_string(i) + "\n";
    }
    const std::map<std::string, std::string> members = {
        {"appversion", "KELMORA GW V301R002\n"},
        {"cfgversion", "KELMORA GW V300R001\n"},
        {"apppre", "#!/bin/sh\nexit 0\n"},
        {"app1", image},
        {"appsh1", "#!/bin/sh\n# install /stmp/app\nexit 0\n"},
        {"readme.txt", "Fixes the DHCP lease renewal.\nAdds IPv6 static routes.\n"},
    };
    const std::filesystem::path folder = dir / "sample";
    std::filesystem::create_directories(folder);
    for (const auto& [name, data] : members) {
        std::ofstream(folder / name, std::ios::binary) << data;
    }
    const std::string out = (dir / "sample_V301R002.ssu").string();
    return BuildPackage(folder.string(), out, "", error) ? out : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        return Fail("usage: gui-screenshots OUTPUT_FOLDER SUFFIX");
    }
    QApplication::styleHints()->setCursorFlashTime(0);
    SetLanguage(LanguageFromEnvironment());
    QTranslator qtTranslator;
    LoadQtTranslation(app, qtTranslator);
    g_folder = argv[1];
    g_suffix = argv[2];
    QDir().mkpath(g_folder);

    std::string error;
    if (!LoadZipBridge(error)) {
        return Fail(error);
    }
    QTemporaryDir work;
    const std::filesystem::path dir = work.path().toStdString();
    const std::string package = SamplePackage(dir, error);
    if (package.empty()) {
        return Fail(error);
    }
    GatewaySimConfig config;
    config.root = dir / "gateway";
    config.rebootRefuseMs = 300;
    CGatewaySim sim(config);
    AddScriptCommands(sim);
    if (!sim.Start()) {
        return Fail(sim.LastError());
    }
    // Three gateways answering the search, played from 127.0.0.1.
    vorn::test::UdpProbe gateways;

    CMainSheet sheet(true);
    sheet.Search().SetSearchTime(300);
    sheet.Search().SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
    sheet.Search().SetTarget({"127.0.0.1", gateways.Port()});
    sheet.resize(sheet.sizeHint().expandedTo(QSize(560, 400)));
    sheet.show();
    CPageConnect* connect = sheet.ConnectPage();
    connect->AddressBox()->setEditText(QString("127.0.0.1:%1").arg(sim.Port()));
    connect->PasswordEdit()->setText("admin");
    Grab(sheet, "connect");

    connect->SearchButton()->click();
    if (!gateways.Receive(5000)) {
        return Fail("no search request");
    }
    for (const char* a : {"192.168.1.20", "10.0.0.5", "192.168.1.1"}) {
        gateways.SendTo(sheet.Search().Port(), vorn::test::ReplyBytes(a));
    }
    CSelectDeviceDlg* select = connect->SelectDeviceDialog();
    if (!select ||
        !vorn::test::waitFor([&] { return select->RefreshButton()->isEnabled(); }, 30000)) {
        return Fail("the search did not end");
    }
    Grab(*select, "select-device");
    select->Cancel();

    {
        COptionDlg options(sheet.Op(), &sheet);
        options.show();
        options.ProxyBox()->click();  // address and port on, authentication still off
        options.adjustSize();
        Grab(options, "options");
    }

    sheet.NextButton()->click();
    if (!vorn::test::waitFor([&] { return sheet.ActivePage() == CMainSheet::kPageLoad; }, 30000)) {
        return Fail("the login did not end on the load page");
    }
    sheet.LoadPage()->PathEdit()->setText(QString::fromStdString(package));
    sheet.LoadPage()->PreCheckRadio()->setChecked(true);
    Grab(sheet, "load");

    // The confirmation runs its own event loop; a timer answers it and the stop question, and
    // the progress bar's change takes the picture of the transfer.
    bool confirmed = false;
    bool transferShown = false;
    bool stopped = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!confirmed) {
            CConfirmUpdateDlg* dlg = sheet.ConfirmDialog();
            if (dlg && dlg->UpdateButton()->isEnabled()) {
                Grab(*dlg, "confirm-update");
                confirmed = true;
                dlg->UpdateButton()->click();
            }
        } else if (transferShown && !stopped) {
            // "&Stop" is held back while a file is on its way.
            if (!sheet.StopDialog() && sheet.BackButton()->isEnabled()) {
                sheet.BackButton()->click();
            }
            if (CConfirmStopDlg* dlg = sheet.StopDialog(); dlg && dlg->isVisible()) {
                Grab(*dlg, "confirm-stop");
                stopped = true;
                dlg->CheckBox()->click();
                dlg->StopButton()->click();
            }
        }
    });
    driver.start(20);
    QObject::connect(sheet.UpdatePage()->ProgressBar(), &QProgressBar::valueChanged, [&](int v) {
        if (!transferShown && v >= 40 && v < 100 && sheet.Frame().UploadSize() > (1u << 20)) {
            transferShown = true;
            Grab(sheet, "update", false);
        }
    });
    sheet.NextButton()->click();
    if (!vorn::test::waitFor(
            [&] { return stopped && sheet.ActivePage() == CMainSheet::kPageConnect; }, 120000)) {
        return Fail("the update was not shown and stopped");
    }

    CAboutDlg about(&sheet);
    about.show();
    about.adjustSize();
    Grab(about, "about");

    // A question with a gateway's version that holds markup: the box shows it literally.
    {
        const std::string version =
            "KELMORA GW V300R001 <b>bold</b><font color=\"red\">red</font><img src=\"/dev/zero\">";
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box && box->isVisible()) {
                answer.stop();
                Grab(*box, "question-markup");
                box->defaultButton()->click();
            }
        });
        answer.start(50);
        sheet.Op().SetUnattended(false);
        sheet.Op().AskOkCancel(FormatStr(6539, version.c_str(), "KELMORA GW V301R002"));
        sheet.Op().SetUnattended(true);
    }

    const auto shot = [](QWidget& w, const QString& name) {
        w.show();
        w.adjustSize();
        Grab(w, name);
    };
    SaveConsoleScreenshots(sheet, shot);

    // The console's "Command" dialogs (the menu itself is among the console's menus).
    CPingDlg ping(&sheet);
    ping.TargetEdit()->setText("192.168.1.254");
    shot(ping, "ping");
    CModifyNicDlg nic(sheet.Op(), &sheet);
    nic.NicBox()->setCurrentIndex(1);
    nic.SpeedBox()->setCurrentIndex(0);
    nic.MtuBox()->setChecked(true);
    nic.MtuEdit()->setText("1400");
    shot(nic, "modify-nic");
    CExchangeNicsDlg exchange(&sheet);
    shot(exchange, "exchange-nics");
    CCommandConsoleDlg command(sheet.Op(), &sheet);
    command.TextEdit()->setText("cat /proc/meminfo");
    shot(command, "command-console");
    sim.Stop();
    return 0;
}
