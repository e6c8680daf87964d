// "&Search..." and the "Select Device" dialog driven through its widgets. The wizard's search
// is aimed at responders on 127.0.0.1 (the simulator's discovery answer, or a probe that
// plays several gateways); nothing broadcasts.
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "app/RecentAddressList.h"
#include "app/gui/CSelectDeviceDlg.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "tests/common/UdpProbe.h"
#include "tests/gui/GuiFixture.h"
#include "tools/gateway-sim/SimDiscovery.h"

namespace vorn::test {
namespace {

class GuiSelectDevice : public GuiFixture {
protected:
    // The wizard's search sends from 127.0.0.1 to the responder on `port`.
    void AimSearchAt(std::uint16_t port) {
        Sheet().Search().SetSearchTime(300);
        Sheet().Search().SetLocalAddresses(std::vector<std::string>{"127.0.0.1"});
        Sheet().Search().SetTarget({"127.0.0.1", port});
    }
    gui::CPageConnect* Page() { return Sheet().ConnectPage(); }
    gui::CSelectDeviceDlg* Dialog() { return Page()->SelectDeviceDialog(); }
    std::string Status() { return Dialog()->StatusLabel()->text().toStdString(); }
    // The rows as "number address" strings.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        QTableWidget* list = Dialog()->List();
        for (int r = 0; r < list->rowCount(); ++r) {
            rows.push_back(list->item(r, 0)->text().toStdString() + " " +
                           list->item(r, 1)->text().toStdString());
        }
        return rows;
    }
    void ClickRow(int row) {
        QTableWidget* list = Dialog()->List();
        const QRect cell = list->visualItemRect(list->item(row, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    }
    bool Closed() { return !Dialog() || !Dialog()->isVisible(); }
};

TEST_F(GuiSelectDevice, RowsOfEveryAnsweringGatewayAndOkFillsTheAddressAndItsPassword) {
    RecentAddressList recent;
    recent.Load(WorkPath(RecentAddressList::kFileName, ""));
    ASSERT_TRUE(recent.Add("10.0.0.9", "nine"));
    UdpProbe gateways;
    AimSearchAt(gateways.Port());
    Page()->AddressBox()->setEditText("192.0.2.7");
    Page()->PasswordEdit()->setText("typed");

    Page()->SearchButton()->click();
    ASSERT_NE(Dialog(), nullptr);
    EXPECT_TRUE(Dialog()->isVisible());
    EXPECT_TRUE(Dialog()->isModal());
    EXPECT_EQ(Status(), LoadStr(6689));
    EXPECT_FALSE(Dialog()->RefreshButton()->isEnabled());
    EXPECT_EQ(Dialog()->List()->rowCount(), 0);

    // Three gateways answer the request (one twice); the list is sorted when the search ends.
    ASSERT_TRUE(gateways.Receive(5000));
    for (const char* a : {"192.168.1.20", "10.0.0.9", "192.168.1.3", "10.0.0.9"}) {
        ASSERT_TRUE(gateways.SendTo(Sheet().Search().Port(), ReplyBytes(a)));
    }
    ASSERT_TRUE(waitFor([&] { return Dialog()->RefreshButton()->isEnabled(); }, 10000));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1 10.0.0.9", "2 192.168.1.3", "3 192.168.1.20"}));
    EXPECT_EQ(Status(), FormatStr(6628, 3));
    EXPECT_EQ(Dialog()->List()->currentRow(), 0);
    EXPECT_EQ(Dialog()->focusWidget(), Dialog()->RefreshButton());

    // The person picks the third row, then goes back to the first and presses OK.
    ClickRow(2);
    ClickRow(0);
    QTest::mouseClick(Dialog()->OkButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return Closed(); }));
    EXPECT_EQ(Page()->AddressBox()->currentText().toStdString(), "10.0.0.9");
    EXPECT_EQ(Page()->PasswordEdit()->text().toStdString(), "nine");

    // A double click chooses at once; an address without a remembered password empties it.
    Page()->SearchButton()->click();
    ASSERT_TRUE(gateways.Receive(5000));
    ASSERT_TRUE(gateways.SendTo(Sheet().Search().Port(), ReplyBytes("192.168.1.3")));
    ASSERT_TRUE(waitFor([&] { return Dialog()->List()->rowCount() == 1; }, 10000));
    // Through the window system, which makes the double click out of two presses.
    QTableWidget* list = Dialog()->List();
    const QPoint cell =
        list->viewport()->mapTo(Dialog(), list->visualItemRect(list->item(0, 1)).center());
    QTest::mouseDClick(Dialog()->windowHandle(), Qt::LeftButton, {}, cell);
    ASSERT_TRUE(waitFor([&] { return Closed(); }));
    EXPECT_EQ(Page()->AddressBox()->currentText().toStdString(), "192.168.1.3");
    EXPECT_TRUE(Page()->PasswordEdit()->text().isEmpty());
}

TEST_F(GuiSelectDevice, RefreshSearchesAgainAndCancelChangesNothing) {
    SimDiscoveryConfig cfg;
    cfg.bindAddress = "127.0.0.1";
    cfg.port = 0;
    cfg.announce = "127.0.0.1";
    CSimDiscovery responder(cfg);
    ASSERT_TRUE(responder.Start()) << responder.LastError();
    AimSearchAt(responder.Port());
    Page()->AddressBox()->setEditText("192.0.2.7");
    Page()->PasswordEdit()->setText("typed");

    Page()->SearchButton()->click();
    ASSERT_NE(Dialog(), nullptr);
    ASSERT_TRUE(waitFor([&] { return Dialog()->RefreshButton()->isEnabled(); }, 10000));
    EXPECT_EQ(Rows(), std::vector<std::string>{"1 127.0.0.1"});
    EXPECT_EQ(responder.RequestCount(), 1);

    QTest::mouseClick(Dialog()->RefreshButton(), Qt::LeftButton);
    EXPECT_EQ(Status(), LoadStr(6692));
    EXPECT_EQ(Dialog()->List()->rowCount(), 0);
    EXPECT_FALSE(Dialog()->RefreshButton()->isEnabled());
    ASSERT_TRUE(waitFor([&] { return Dialog()->RefreshButton()->isEnabled(); }, 10000));
    EXPECT_EQ(Rows(), std::vector<std::string>{"1 127.0.0.1"});
    EXPECT_EQ(Status(), FormatStr(6628, 1));
    EXPECT_EQ(responder.RequestCount(), 2);

    // "Cancel" with a row selected: the page keeps what was typed.
    QPushButton* cancel = nullptr;
    for (QPushButton* b : Dialog()->findChildren<QPushButton*>()) {
        if (b != Dialog()->OkButton() && b != Dialog()->RefreshButton())
            cancel = b;
    }
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return Closed(); }));
    EXPECT_EQ(Page()->AddressBox()->currentText().toStdString(), "192.0.2.7");
    EXPECT_EQ(Page()->PasswordEdit()->text().toStdString(), "typed");

    // Escape is Cancel too.
    Page()->SearchButton()->click();
    ASSERT_TRUE(waitFor([&] { return Dialog()->RefreshButton()->isEnabled(); }, 10000));
    QTest::keyClick(Dialog(), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return Closed(); }));
    EXPECT_EQ(Page()->AddressBox()->currentText().toStdString(), "192.0.2.7");
    EXPECT_EQ(Page()->PasswordEdit()->text().toStdString(), "typed");
}

TEST_F(GuiSelectDevice, NoGatewayAnsweredShowsAnEmptyListAndOkKeepsTheAddress) {
    UdpProbe silent;
    AimSearchAt(silent.Port());
    Page()->AddressBox()->setEditText("192.0.2.7");
    Page()->SearchButton()->click();
    ASSERT_NE(Dialog(), nullptr);
    ASSERT_TRUE(waitFor([&] { return Dialog()->RefreshButton()->isEnabled(); }, 10000));
    EXPECT_EQ(Dialog()->List()->rowCount(), 0);
    EXPECT_EQ(Status(), FormatStr(6628, 0));
    QTest::mouseClick(Dialog()->OkButton(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return Closed(); }));
    EXPECT_EQ(Page()->AddressBox()->currentText().toStdString(), "192.0.2.7");
}

}  // namespace
}  // namespace vorn::test
