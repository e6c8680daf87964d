// Every control of the wizard and its dialogs can be found by a name: its own text, the
// label that has it as buddy, or an accessible name where nothing visible names it.
#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTableWidget>

#include "app/gui/CConfirmStopDlg.h"
#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageUpdate.h"
#include "app/gui/CSelectDeviceDlg.h"
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

TEST_F(GuiAccessibility, EveryControlOfThePagesAndDialogsHasAName) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(Unnamed(&Sheet()), Names{});
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        EXPECT_EQ(Unnamed(&dlg), Names{});
    }
    {
        gui::CConfirmUpdateDlg dlg(Sheet().Events(), "tips", "V300", "V301", true, &Sheet());
        EXPECT_EQ(Unnamed(&dlg), Names{});
        EXPECT_FALSE(AccessibleName(dlg.StatusLabel()).isEmpty());
    }
    {
        gui::CConfirmStopDlg dlg(&Sheet());
        EXPECT_EQ(Unnamed(&dlg), Names{});
    }
    UdpProbe silent;
    Sheet().Search().SetSearchTime(300);
    Sheet().Search().SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
    Sheet().Search().SetTarget({"127.0.0.1", silent.Port()});
    Sheet().ConnectPage()->SearchButton()->click();
    ASSERT_NE(Sheet().ConnectPage()->SelectDeviceDialog(), nullptr);
    EXPECT_EQ(Unnamed(Sheet().ConnectPage()->SelectDeviceDialog()), Names{});

    // Texts without a label of their own: the update page's state line and details.
    gui::CPageUpdate* update = Sheet().UpdatePage();
    EXPECT_EQ(AccessibleName(update->ProgressBar()).toStdString(), "Transfer");
    for (QLabel* label : update->findChildren<QLabel*>()) {
        if (label != update->ProgressLabel()) {
            EXPECT_EQ(label->accessibleName().toStdString(), "Update state");
        }
    }
}

}  // namespace
}  // namespace vorn::test
