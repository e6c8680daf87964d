// A combined package through the wizard: confirmed once, right after its plan was loaded,
// then every member installed without another question.
#include <fstream>
#include <iterator>

#include "app/gui/CConfirmUpdateDlg.h"
#include "app/gui/CPageLoad.h"
#include "app/gui/CPageUpdate.h"
#include "lib/StringTable.h"
#include "tests/gui/GuiFixture.h"

namespace vorn::test {
namespace {

using gui::CMainSheet;

class GuiCombined : public GuiFixture {
protected:
    std::string CombinedPackage() {
        std::ifstream in(Package("m1.ssu", {{"package.conf", "[restart]\nneedrestart = No\n"}}),
                         std::ios::binary);
        const std::string member{std::istreambuf_iterator<char>(in), {}};
        const std::filesystem::path folder = m_folders.Dir() / "pack.d";
        WriteLocal(folder / "upgrade.conf",
                   "[Total]\ncount=2\n[1]\ntype=1\nname=m1.ssu\nappversion=V301\n"
                   "[2]\ntype=3\nname=post.sh\n");
        WriteLocal(folder / "readme.txt", "Combined tips.\n");
        WriteLocal(folder / "m1.ssu", member);
        WriteLocal(folder / "post.sh", "#!/bin/sh\n");
        const std::string out = (m_folders.Dir() / "pack.cssu").string();
        std::string error;
        EXPECT_TRUE(BuildPackage(folder.string(), out, "", error)) << error;
        return out;
    }
    // Answers the next "Confirm Update" dialog with its "&Update" or "&Cancel" button.
    void AnswerConfirmation(bool update) {
        WhenReady([this, update] {
            gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
            if (!dlg)
                return false;
            ++m_dialogs;
            (update ? dlg->UpdateButton() : dlg->CancelButton())->click();
            return true;
        });
    }
    bool SimPutAnything() const {
        for (const auto& t : m_sim->ReceivedTexts()) {
            if (t.rfind("put\n", 0) == 0)
                return true;
        }
        return false;
    }
    void StartFromLoadPage(const std::string& pkg) {
        if (Sheet().ActivePage() != CMainSheet::kPageLoad) {
            Sheet().BackButton()->click();  // "Disconnect": log in again for the next try
            Connect("admin");
        }
        ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
        Sheet().Op().SetNextFileName(pkg);
        Sheet().LoadPage()->BrowseButton()->click();
        Sheet().NextButton()->click();
    }
    int m_dialogs = 0;
};

TEST_F(GuiCombined, ConfirmedOnceAfterTheLoadThenEveryMemberRuns) {
    Connect("admin");
    ASSERT_EQ(Sheet().ActivePage(), CMainSheet::kPageLoad);
    const std::string pkg = CombinedPackage();

    // Cancel: nothing reaches the gateway.
    AnswerConfirmation(false);
    StartFromLoadPage(pkg);
    ASSERT_TRUE(waitFor([&] { return m_dialogs == 1 && Sheet().Activity() == 0; }, 30000));
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Aborted);
    EXPECT_FALSE(SimPutAnything());

    // Update: both members run, and only the end token finishes the page.
    AnswerConfirmation(true);
    StartFromLoadPage(pkg);
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 90000))
        << Sheet().UpdatePage()->DetailsText().toStdString();
    const std::string details = Sheet().UpdatePage()->DetailsText().toStdString();
    EXPECT_EQ(m_dialogs, 2);
    EXPECT_EQ(Sheet().Events().Result(), CUpdateEvents::Outcome::Succeeded) << details;
    EXPECT_NE(details.find(QString(LoadStr(6464)).trimmed().toStdString()), std::string::npos)
        << details;
    EXPECT_TRUE(SimReceived("put\nfile:/etc/vorncmd/apppre\n"));
    EXPECT_TRUE(SimReceived("put\nfile:/etc/vorncmd/compose.sh\n"));
}

}  // namespace
}  // namespace vorn::test
