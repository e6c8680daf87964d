// The options dialog: validation messages with the focus on the field, OK through the
// temporary copy, Cancel writes nothing.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "app/OptionsFile.h"
#include "app/gui/COptionDlg.h"
#include "tests/gui/GuiFixture.h"

namespace vorn::test {
namespace {

class GuiOptions : public GuiFixture {
protected:
    std::filesystem::path OptionFile() const { return m_folders.Prog() / kOptionFileName; }
};

TEST_F(GuiOptions, ProxyFieldsAreCheckedInOrderAndNothingIsWrittenUntilTheyPass) {
    WriteLocal(OptionFile(), "[OPTION_NETWORK_CONFIG]\nUSE_HTTP_PROXY=no\n");
    const std::string before = ReadLocal(OptionFile());
    struct Case {
        const char* ip;
        const char* port;
        bool auth;
        const char* user;
        std::string message;
    } cases[] = {
        {"", "8080", false, "", LoadStr(6728)},
        {"not an address", "8080", false, "", LoadStr(6716)},
        {"10.0.0.1", "", false, "", LoadStr(6729)},
        {"10.0.0.1", "8080", true, "", LoadStr(6730)},
        {"10.0.0.1", "8080", true, "a:b", std::string(LoadStr(6792)) + LoadStr(6718)},
    };
    for (const Case& c : cases) {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        dlg.ProxyBox()->click();
        ASSERT_TRUE(dlg.AddressEdit()->isEnabled());
        ASSERT_FALSE(dlg.UserEdit()->isEnabled());
        if (c.auth)
            dlg.AuthBox()->click();
        dlg.AddressEdit()->setText(c.ip);
        dlg.PortEdit()->setText(c.port);
        dlg.UserEdit()->setText(c.user);
        Sheet().Op().ClearMessages();
        dlg.OkButton()->click();
        EXPECT_TRUE(HasMessage(c.message)) << c.ip << "/" << c.port << "/" << c.user;
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(ReadLocal(OptionFile()), before);
    }
}

TEST_F(GuiOptions, CancelWritesNothingAndOkStoresThroughTheCopy) {
    WriteLocal(OptionFile(), "[OPTION_NETWORK_CONFIG]\nUSE_HTTP_PROXY=no\n");
    const std::string before = ReadLocal(OptionFile());
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        dlg.ServerBox()->setCurrentIndex(2);
        dlg.ProxyBox()->click();
        dlg.AddressEdit()->setText("10.0.0.1");
        dlg.PortEdit()->setText("8080");
        dlg.CancelButton()->click();
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
    }
    EXPECT_EQ(ReadLocal(OptionFile()), before);
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        dlg.ServerBox()->setCurrentIndex(2);
        dlg.ProxyBox()->click();
        dlg.AuthBox()->click();
        dlg.AddressEdit()->setText("  10.0.0.1 ");
        dlg.PortEdit()->setText("8080");
        dlg.UserEdit()->setText(" user ");
        dlg.OkButton()->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted)
            << (Sheet().Op().Messages().empty() ? "" : Sheet().Op().Messages().back());
    }
    COptionFile file;
    ASSERT_EQ(file.Load(OptionFile()), 1);
    std::string v;
    EXPECT_EQ(file.GetUpdateServer(), 2);
    EXPECT_EQ(file.GetProxyIp(v), 0);
    EXPECT_EQ(v, "10.0.0.1");
    EXPECT_EQ(file.GetAuthUsername(v), 0);
    EXPECT_EQ(v, "user");
    EXPECT_EQ(file.GetNeedAuth(v), 0);
    EXPECT_EQ(v, "yes");
    // The empty password is stored as the enciphered marker alone (36 hex characters).
    EXPECT_EQ(file.GetAuthPassword(v), 0);
    EXPECT_EQ(v.size(), 36u);
    EXPECT_FALSE(std::filesystem::exists(OptionFile().string() + ".tmp"));
}

}  // namespace
}  // namespace vorn::test
