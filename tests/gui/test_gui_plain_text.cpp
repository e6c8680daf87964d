// Text from a gateway, a package or a backup file reaches the real message boxes and tool
// tips as plain text: markup in it is shown literally and loads nothing.
#include <QAction>
#include <QLabel>
#include <QRadioButton>
#include <QTextDocument>
#include <QToolTip>

#include "app/ConsoleMenuRules.h"
#include "app/gui/CConsoleWindow.h"
#include "app/gui/CPageLoad.h"
#include "lib/Text.h"
#include "lib/WorkFolders.h"
#include "packages/BackupFile.h"
#include "tests/gui/GuiFixture.h"
#include "tests/gui/RealMessageBoxes.h"

namespace vorn::test {
namespace {

using C = ConsoleCommand;

class GuiPlainText : public GuiFixture {
protected:
    void SetUp() override {
        GuiFixture::SetUp();
        m_realBoxes = true;
        ASSERT_TRUE(m_fifo.Ready());
    }
    // Bold, a font, an image that would be read from the pipe, and one that never ends.
    std::string Markup() const {
        return "<b>bold</b><font color=\"red\">red</font><img src=\"" + m_fifo.Path().string() +
               "\"><img src=\"/dev/zero\">";
    }
    void RestartSimWithVersion(const std::string& version) {
        m_sim->Stop();
        m_sim = StartGatewaySim(
            m_folders.SimRoot(), [&](GatewaySimConfig& c) { c.versionText = version; }, 300,
            [](CGatewaySim& sim) { AddScriptCommands(sim); });
        ASSERT_TRUE(m_sim);
    }
    QAction* Item(C c) { return Sheet().Console()->Action(c); }
    // Nothing opened the pipe (a reader would show up within the wait).
    bool PipeUntouched() {
        return !waitFor([&] { return m_fifo.Opened(); }, 300);
    }
    // The box showed `text` literally, as plain text.
    void ExpectLiteral(const SeenBox& box, const std::string& text) {
        EXPECT_EQ(box.format, Qt::PlainText) << box.text;
        EXPECT_NE(box.text.find(text), std::string::npos) << box.text;
    }

    CFifoWatch m_fifo{m_folders.Dir() / "image-pipe"};
    // A box that took the markup for rich text would read /dev/zero until memory ran out.
    CAddressSpaceLimit m_limit{2ull << 30};
};

TEST_F(GuiPlainText, GatewayVersionInTheFactoryDefaultsQuestion) {
    RestartSimWithVersion("KELMORA GW V300R001 " + Markup() + "\n");
    Connect("admin");
    ASSERT_TRUE(Sheet().IsConnected());
    const std::string pkg = Package("factory.ssu");
    const std::size_t sent = m_sim->ReceivedTexts().size();
    CBoxAnswerer answerer;
    Sheet().Op().SetNextFileName(pkg);
    Sheet().Op().SetNextAnswer(true);  // 6512; the version question is a real box
    Item(C::RestoreFactoryDefaults)->trigger();
    ASSERT_EQ(answerer.Seen().size(), 1u);
    const SeenBox& box = answerer.Seen()[0];
    ExpectLiteral(box, "Version of current device is KELMORA GW V300R001 " + Markup());
    EXPECT_EQ(box.parent, Sheet().Console());
    EXPECT_TRUE(PipeUntouched());
    // Enter was Cancel.
    EXPECT_EQ(m_sim->ReceivedTexts().size(), sent);
    EXPECT_EQ(Sheet().Frame().SessionState, 0);
}

TEST_F(GuiPlainText, BackupVersionInTheRestoreQuestion) {
    Connect("admin");
    // A backup saved from a gateway whose version holds markup.
    WriteLocal(WorkPath("cfgversion", "tmp"), "KELMORA " + Markup() + "\n");
    WriteLocal(WorkPath("cfgbk", "tmp"), "hostname=saved\n");
    const std::string backup = (m_folders.Dir() / "markup.bcf").string();
    ASSERT_EQ(WriteBackupFile(backup), 0);
    const std::size_t sent = m_sim->ReceivedTexts().size();
    CBoxAnswerer answerer;
    Sheet().Op().SetNextAnswer(true);  // 6517; the version question is a real box
    Sheet().Op().SetNextFileName(backup);
    Item(C::RestoreBackup)->trigger();
    ASSERT_EQ(answerer.Seen().size(), 1u);
    ExpectLiteral(answerer.Seen()[0], "Version(KELMORA " + Markup() + ")");
    EXPECT_TRUE(PipeUntouched());
    EXPECT_EQ(m_sim->ReceivedTexts().size(), sent);
}

TEST_F(GuiPlainText, PackageNameInTheFailedLoadBox) {
    Connect("admin");
    const std::filesystem::path pkg = m_folders.Dir() / "<b>corrupt<font color=red>x.ssu";
    WriteLocal(pkg, "not a package at all, far too short");
    CBoxAnswerer answerer;
    Sheet().LoadPage()->PathEdit()->setText(QString::fromStdString(pkg.string()));
    Sheet().NextButton()->click();
    ASSERT_TRUE(waitFor([&] { return !answerer.Seen().empty(); }));
    const SeenBox& box = answerer.Seen()[0];
    EXPECT_EQ(box.text.rfind(QString(LoadStr(6530)).trimmed().toStdString(), 0), 0u) << box.text;
    ExpectLiteral(box, "<b>corrupt<font color=red>x.ssu");
}

TEST_F(GuiPlainText, GatewayReasonInThePreCheckStatusAndItsToolTip) {
    Connect("admin");
    const std::string pkg = Package("refused.ssu", {{"apppre", "#sim: fail " + Markup() + "\n"}});
    QString status;
    QString tip;
    Qt::TextFormat format = Qt::AutoText;
    bool tipShown = false;
    WhenReady([&] {
        gui::CConfirmUpdateDlg* dlg = Sheet().ConfirmDialog();
        if (!dlg || !dlg->RetryButton()->isVisible())
            return false;
        status = dlg->StatusLabel()->text();
        format = dlg->StatusLabel()->textFormat();
        tip = dlg->StatusLabel()->toolTip();
        // The tool tip as the person sees it when the mouse rests on the status (only when
        // it holds no markup: markup would read the endless image and end the test).
        QTextDocument shown;
        shown.setHtml(tip);
        if (shown.toPlainText() == status) {
            QToolTip::showText(dlg->StatusLabel()->mapToGlobal(QPoint(2, 2)), tip,
                               dlg->StatusLabel());
            QApplication::processEvents();
            tipShown = QToolTip::isVisible();
            QToolTip::hideText();
        }
        dlg->CancelButton()->click();
        return true;
    });
    StartCheckedUpdate(pkg);
    ASSERT_TRUE(waitFor([&] { return Sheet().Events().Finished(); }, 60000));
    const std::string expected = "Pre-upgrade check failed:" + Markup();
    EXPECT_EQ(status.toStdString(), expected);
    EXPECT_EQ(format, Qt::PlainText);
    // The tool tip is rich text whose shown text is the reason, character for character.
    EXPECT_TRUE(Qt::mightBeRichText(tip)) << tip.toStdString();
    QTextDocument shown;
    shown.setHtml(tip);
    EXPECT_EQ(shown.toPlainText().toStdString(), expected);
    EXPECT_TRUE(tipShown);
    EXPECT_TRUE(PipeUntouched());
}

}  // namespace
}  // namespace vorn::test
