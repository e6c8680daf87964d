// The desktop program with its data folder apart from the program folder, as in an
// installation: options, the load page's record and the automatic backups live in the data
// folder, and the program folder is never written.
#include <QComboBox>
#include <QPushButton>

#include <cerrno>
#include <set>

#include "app/OptionsFile.h"
#include "app/gui/COptionDlg.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "tests/gui/GuiFixture.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Tree(const fs::path& dir) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        out.insert(e.path().string());
    }
    return out;
}

class GuiDataFolder : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        fs::create_directories(Data());
        SetDataFolderForTests(Data());
    }
    void TearDown() override {
        GuiFixture::TearDown();
        SetDataFolderForTests({});
    }
    fs::path Data() const { return m_folders.Dir() / "data"; }
};

TEST_F(GuiDataFolder, OptionsAreReadAndSavedInTheDataFolder) {
    WriteLocal(Data() / kOptionFileName, "[OPTION_NETWORK_CONFIG]\r\nUPDATE_SERVER=2\r\n");
    const std::set<std::string> program = Tree(m_folders.Prog());
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        EXPECT_EQ(dlg.ServerBox()->currentIndex(), 2);
        dlg.ServerBox()->setCurrentIndex(1);
        dlg.OkButton()->click();
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
    COptionFile file;
    ASSERT_EQ(file.Load(Data() / kOptionFileName), 1);
    EXPECT_EQ(file.GetUpdateServer(), 1);
    EXPECT_EQ(Tree(m_folders.Prog()), program);
    // Opened again (a restart reads the same file), the dialog shows the saved choice.
    gui::COptionDlg again(Sheet().Op(), &Sheet());
    EXPECT_EQ(again.ServerBox()->currentIndex(), 1);
}

// A whole "switch_" update from the wizard: UPDATE_TYPE, the automatic backup and its pruning
// by AUTOBAK_NUM all in the data folder; nothing new in the program folder.
TEST_F(GuiDataFolder, WizardUpdateWritesOnlyTheDataFolder) {
    WriteLocal(Data() / kOptionFileName, "[AUTO_BAK]\r\nAUTOBAK_NUM=1\r\n");
    WriteLocal(Data() / "autobak" / "older.bcf", "an older automatic backup");
    fs::last_write_time(Data() / "autobak" / "older.bcf",
                        fs::file_time_type::clock::now() - std::chrono::hours(48));
    const std::string pkg = Package("switch_v301.ssu");
    const std::set<std::string> program = Tree(m_folders.Prog());
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), gui::CMainSheet::kPageLoad);
    StartConfirmedUpdate(pkg);
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded)
        << Sheet().UpdatePage()->DetailsText().toStdString();

    EXPECT_EQ(Tree(m_folders.Prog()), program);
    COptionFile file;
    ASSERT_EQ(file.Load(Data() / kOptionFileName), 1);
    std::string type;
    EXPECT_EQ(file.GetUpdateType(type), 0);
    EXPECT_EQ(type, "local");
    std::vector<std::string> kept;
    for (const auto& e : fs::directory_iterator(Data() / "autobak")) {
        kept.push_back(e.path().filename().string());
    }
    ASSERT_EQ(kept.size(), 1u);  // AUTOBAK_NUM of the data folder, not the default 10
    EXPECT_EQ(kept[0].rfind("(127.0.0.1)KELMORA GW V300R001(", 0), 0u) << kept[0];
    EXPECT_TRUE(fs::exists(Data() / "updhistory" / "localhistory"));
}

// An options file that cannot be written (here a link planted in its place) is reported with
// the file, the reason and what to do; the dialog stays open, the load page starts nothing,
// and the file the link points to is left as it was.
TEST_F(GuiDataFolder, OptionsThatCannotBeSavedAreReported) {
    const fs::path victim = m_folders.Dir() / "victim.ini";
    WriteLocal(victim, "[OPTION_NETWORK_CONFIG]\r\nUPDATE_SERVER=0\r\n");
    fs::create_symlink(victim, Data() / kOptionFileName);
    const std::string reason =
        "The options could not be saved in " + (Data() / kOptionFileName).string() +
        ": Too many levels of symbolic links\n" + (Data() / kOptionFileName).string() +
        " is a symbolic link. The program does not write through links: remove it.";
    {
        gui::COptionDlg dlg(Sheet().Op(), &Sheet());
        dlg.show();
        dlg.ServerBox()->setCurrentIndex(2);
        Sheet().Op().ClearMessages();
        dlg.OkButton()->click();
        EXPECT_TRUE(HasMessage(reason));
        EXPECT_TRUE(dlg.isVisible());
    }
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), gui::CMainSheet::kPageLoad);
    const std::size_t sent = m_sim->ReceivedTexts().size();
    Sheet().Op().ClearMessages();
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(Package("v301.ssu")));
    Sheet().NextButton()->click();
    EXPECT_TRUE(waitFor([&] { return HasMessage(std::to_string(ELOOP) + "\n" + reason); }))
        << (Sheet().Op().Messages().empty() ? "" : Sheet().Op().Messages().back());
    EXPECT_EQ(Sheet().ActivePage(), gui::CMainSheet::kPageLoad);
    EXPECT_EQ(m_sim->ReceivedTexts().size(), sent);
    EXPECT_EQ(ReadLocal(victim), "[OPTION_NETWORK_CONFIG]\r\nUPDATE_SERVER=0\r\n");
}

}  // namespace
}  // namespace vorn::test
