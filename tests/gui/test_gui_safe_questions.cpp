// Every question that would change a gateway or delete local data defaults to the answer
// that does nothing: Enter on the real message box sends nothing to the gateway and
// deletes nothing.
#include <QAction>
#include <QMenu>

#include <functional>

#include "app/ConsoleMenuRules.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CExchangeNicsDlg.h"
#include "app/gui/COptionDlg.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "tests/gui/GuiFixture.h"
#include "tests/gui/RealMessageBoxes.h"
#include "tools/gateway-sim/SimDiagnostics.h"

namespace vorn::test {
namespace {

namespace fs = std::filesystem;
using C = ConsoleCommand;

class GuiSafeQuestions : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        m_realBoxes = true;
        // The gateway answers the NIC exchange too.
        m_sim->Stop();
        m_sim = StartGatewaySim(m_folders.SimRoot(), {}, 300, [](CGatewaySim& sim) {
            AddScriptCommands(sim);
            AddDiagnosticCommands(sim);
        });
        ASSERT_TRUE(m_sim);
    }
    void Trigger(C c) { Sheet().Console()->Action(c)->trigger(); }
    // The Exchange NICs dialog of the console's Command menu, confirmed with its first NICs.
    void ExchangeNics() {
        Sheet().Console()->CommandMenu()->findChild<QAction*>("nicExchange")->trigger();
        for (auto* dlg : Sheet().Console()->findChildren<gui::CExchangeNicsDlg*>()) {
            if (dlg->isVisible()) {
                dlg->OkButton()->click();
                return;
            }
        }
        ADD_FAILURE() << "no Exchange NICs dialog";
    }
    std::string Backup(const std::string& savedVersion) {
        WriteLocal(WorkPath("cfgversion", "tmp"), savedVersion);
        WriteLocal(WorkPath("cfgbk", "tmp"), "hostname=saved\n");
        const std::string path = (m_folders.Dir() / "saved.bcf").string();
        EXPECT_EQ(WriteBackupFile(path), 0);
        return path;
    }
};

TEST_F(GuiSafeQuestions, EnterOnEveryDestructiveQuestionDoesNothing) {
    Connect("admin");
    ASSERT_TRUE(Sheet().IsConnected());
    const std::string factory = Package("factory.ssu");
    const std::string otherConfig = Package("other.ssu", {{"cfgversion", "KELMORA GW V299\n"}});
    const std::string otherBackup = Backup("KELMORA GW V299\n");
    const fs::path history = WorkPath("localhistory", "updhistory");
    const fs::path oldPackage = WorkPath("old.ssu", "oldpkg");
    const fs::path downloaded = WorkPath("new.ssu", "Download");
    WriteLocal(history, "26.12.10 10:00:00, updated gateway: 10.0.0.5, package: a.ssu\n");
    WriteLocal(oldPackage, "old");
    WriteLocal(downloaded, "new");
    std::unique_ptr<gui::COptionDlg> options;

    struct Case {
        int question;
        QMessageBox::StandardButton safe;
        // Queues the answers before the question and starts the command.
        std::function<void()> ask;
        // The commands the gateway receives meanwhile (before the question, if any).
        std::vector<std::string> sent;
    };
    gui::CGuiOperator& op = Sheet().Op();
    const Case cases[] = {
        {6512,
         QMessageBox::No,
         [&] {
             op.SetNextFileName(factory);
             Trigger(C::RestoreFactoryDefaults);
         },
         {}},
        {6539,
         QMessageBox::Cancel,
         [&] {
             op.SetNextFileName(otherConfig);
             op.SetNextAnswer(true);  // 6512
             Trigger(C::RestoreFactoryDefaults);
         },
         {}},
        {6517, QMessageBox::No, [&] { Trigger(C::RestoreBackup); }, {}},
        {6521,
         QMessageBox::No,
         [&] {
             op.SetNextAnswer(true);  // 6517
             op.SetNextFileName(otherBackup);
             Trigger(C::RestoreBackup);
         },
         {}},
        {6550, QMessageBox::No, [&] { ExchangeNics(); }, {}},
        {6551,
         QMessageBox::No,
         [&] {
             op.SetNextAnswer(true);  // 6550
             ExchangeNics();
         },
         {"swapnic-set.sh eth0 eth1\n"}},
        {6555, QMessageBox::No, [&] { Trigger(C::DeleteLocalLogs); }, {}},
        {6704,
         QMessageBox::Cancel,
         [&] {
             options = std::make_unique<gui::COptionDlg>(op, &Sheet());
             options->show();
             options->OnClear();
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.question);
        const std::size_t before = m_sim->ReceivedTexts().size();
        CBoxAnswerer enter;
        c.ask();
        ASSERT_TRUE(waitFor([&] { return !enter.Seen().empty(); }, 20000));
        ASSERT_TRUE(waitFor([&] { return Sheet().Frame().SessionState == 0; }, 20000));
        const SeenBox& box = enter.Seen().front();
        const std::string question = QString(LoadStr(c.question)).trimmed().toStdString();
        EXPECT_EQ(box.text.rfind(question.substr(0, question.find('%')), 0), 0u) << box.text;
        EXPECT_EQ(box.defaultButton, c.safe);
        EXPECT_EQ(box.escapeButton, c.safe);
        EXPECT_EQ(enter.Seen().size(), 1u) << "Enter went on to another question";
        // Nothing but what came before the question reached the gateway.
        std::vector<std::string> commands;
        const std::vector<std::string> texts = m_sim->ReceivedTexts();
        for (std::size_t i = before; i < texts.size(); ++i) {
            if (texts[i].rfind("excute\ncmd:", 0) == 0) {
                commands.push_back(texts[i].substr(11));
            } else {
                commands.push_back(texts[i]);
            }
        }
        EXPECT_EQ(commands, c.sent);
        EXPECT_EQ(op.AnswersPending(), 0u);
        options.reset();
    }
    EXPECT_TRUE(fs::exists(history));
    EXPECT_TRUE(fs::exists(oldPackage));
    EXPECT_TRUE(fs::exists(downloaded));
    EXPECT_TRUE(Sheet().Frame().Connected);
    EXPECT_EQ(m_sim->RebootCount(), 0);
}

}  // namespace
}  // namespace vorn::test
