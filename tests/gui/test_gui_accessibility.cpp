// Every control of the wizard and its dialogs can be found by a name: its own text, the
// label that has it as buddy, or an accessible name where nothing visible names it.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTableWidget>

#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "app/gui/GuiLabels.h"
#include "app/gui/GuiText.h"
#include "tests/common/UdpProbe.h"
#include "tests/gui/GuiFixture.h"

namespace vorn::test {
namespace {

bool IsControl(QWidget* w) {
    if (qobject_cast<QComboBox*>(w->parentWidget()) ||
        qobject_cast<QAbstractScrollArea*>(w->parentWidget())) {
        return false;  // parts of a combo box or a list: the whole is the control
    }
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QAbstractButton*>(w) || qobject_cast<QProgressBar*>(w) ||
           qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTableWidget*>(w);
}

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).trimmed() : QString();
}

// The controls under `root` that no name reaches.
std::vector<std::string> Unnamed(QWidget* root) {
    std::vector<std::string> out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (IsControl(w) && AccessibleName(w).isEmpty()) {
            out.push_back(std::string(w->metaObject()->className()) + " in " +
                          w->parentWidget()->metaObject()->className());
        }
    }
    return out;
}

class GuiAccessibility : public GuiFixture {};

// A name that still carries a mnemonic mark: "&" or a Chinese "(&X)" / "(X)" suffix.
bool HasMnemonicMark(const QString& name) {
    static const QRegularExpression suffix(QStringLiteral("\\([A-Z]\\)"));
    return name.contains('&') || suffix.match(name).hasMatch();
}

// The controls under `root` whose name still shows a mnemonic; buttons excepted (screen
// readers read a button's own text, and Qt drops its "&").
std::vector<std::string> MarkedNames(QWidget* root) {
    std::vector<std::string> out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (IsControl(w) && !qobject_cast<QAbstractButton*>(w) &&
            HasMnemonicMark(AccessibleName(w))) {
            out.push_back(AccessibleName(w).toStdString());
        }
    }
    return out;
}

TEST_F(GuiAccessibility, EveryControlOfThePagesAndDialogsHasANameInEachLanguage) {
    using Names = std::vector<std::string>;
    for (Language lang : {Language::English, Language::Simplified, Language::Traditional}) {
        SCOPED_TRACE(static_cast<int>(lang));
        SetLanguage(lang);
        gui::CMainSheet sheet(true);
        sheet.show();
        EXPECT_EQ(Unnamed(&sheet), Names{});
        EXPECT_EQ(MarkedNames(&sheet), Names{});
        {
            gui::COptionDlg dlg(sheet.Op(), &sheet);
            EXPECT_EQ(Unnamed(&dlg), Names{});
            EXPECT_EQ(MarkedNames(&dlg), Names{});
        }
        {
            gui::CConfirmUpdateDlg dlg(sheet.Events(), "tips", "V300", "V301", true, &sheet);
            EXPECT_EQ(Unnamed(&dlg), Names{});
            EXPECT_EQ(MarkedNames(&dlg), Names{});
            EXPECT_FALSE(AccessibleName(dlg.StatusLabel()).isEmpty());
        }
        {
            gui::CConfirmStopDlg dlg(&sheet);
            EXPECT_EQ(Unnamed(&dlg), Names{});
        }
        UdpProbe silent;
        sheet.Search().SetSearchTime(300);
        sheet.Search().SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
        sheet.Search().SetTarget({"127.0.0.1", silent.Port()});
        sheet.ConnectPage()->SearchButton()->click();
        ASSERT_NE(sheet.ConnectPage()->SelectDeviceDialog(), nullptr);
        EXPECT_EQ(Unnamed(sheet.ConnectPage()->SelectDeviceDialog()), Names{});

        // The editable address box is named by its label, not by the address it shows; so
        // are its edit field and its list.
        QComboBox* address = sheet.ConnectPage()->AddressBox();
        const QString name = gui::AccessibleLabel(gui::Label(gui::L::IpAddress));
        for (QWidget* w :
             {static_cast<QWidget*>(address), static_cast<QWidget*>(address->lineEdit()),
              static_cast<QWidget*>(address->view())}) {
            EXPECT_EQ(AccessibleName(w).toStdString(), name.toStdString())
                << w->metaObject()->className();
        }
        if (lang == Language::English) {
            EXPECT_EQ(name.toStdString(), "IP Address");
        }

        // Texts without a label of their own: the update page's state line and details.
        gui::CPageUpdate* update = sheet.UpdatePage();
        EXPECT_EQ(AccessibleName(update->ProgressBar()), gui::Label(gui::L::ProgressIdle));
        for (QLabel* label : update->findChildren<QLabel*>()) {
            if (label != update->ProgressLabel()) {
                EXPECT_EQ(label->accessibleName(), gui::Label(gui::L::StateName));
            }
        }
    }
    SetLanguage(Language::English);
}

}  // namespace
}  // namespace vorn::test
