// How the command line shows console text, progress and questions.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <sstream>

#include "app/cli/CliOperator.h"
#include "app/cli/TerminalText.h"

namespace vorn::cli {
namespace {

class ScriptedTerminal : public CliTerminal {
public:
    std::optional<std::string> answer;
    std::string prompts;
    bool Available() const override { return true; }
    std::optional<std::string> ReadLine(const std::string& prompt, bool) override {
        prompts += prompt;
        return answer;
    }
};

TEST(CliOperator, ProgressIsRewrittenInPlaceOnATerminal) {
    std::ostringstream out;
    CNoTerminal none;
    CliOperator op(out, {false, true}, none);
    op.AppendConsole("file(size:2,048 B) : ", kBlack);
    op.SetProgressAnchor();
    op.ReplaceProgress("50%", kBlue);
    op.ReplaceProgress("100%", kBlue);
    op.AppendConsole("\n", kBlack);
    op.AppendConsole("Upload file successfully!\n", kBlue);
    op.AppendConsole("Failed\n", kRed);
    EXPECT_EQ(out.str(),
              "file(size:2,048 B) : "
              "\rfile(size:2,048 B) : \033[K\033[34m50%\033[0m"
              "\rfile(size:2,048 B) : \033[K\033[34m100%\033[0m"
              "\n"
              "\033[34mUpload file successfully!\n\033[0m"
              "\033[31mFailed\n\033[0m");
}

TEST(CliOperator, ProgressIsPlainLinesOffATerminal) {
    std::ostringstream out;
    CNoTerminal none;
    CliOperator op(out, {false, false}, none);
    op.AppendConsole("file : ", kBlack);
    op.SetProgressAnchor();
    op.ReplaceProgress("200,000 B", kBlue);
    op.ReplaceProgress("250,000 B\n", kBlue);
    op.AppendConsole("Download file successfully!\n", kBlue);
    EXPECT_EQ(out.str(), "file : \n200,000 B\n250,000 B\nDownload file successfully!\n");
}

TEST(CliOperator, JsonLinesForConsoleProgressAndEvents) {
    std::ostringstream out;
    CNoTerminal none;
    CliOperator op(out, {true, false}, none);
    op.AppendConsole("caf\xe9 \"quoted\"\n", kRed);  // not UTF-8: still valid JSON
    op.ReplaceProgress("7%", kBlue);
    op.NotifyWizard(6, "");
    op.Exit(1);
    std::istringstream lines(out.str());
    std::string line;
    std::vector<QJsonObject> objects;
    while (std::getline(lines, line)) {
        QJsonParseError err;
        objects.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line), &err).object());
        ASSERT_EQ(err.error, QJsonParseError::NoError) << line;
    }
    ASSERT_EQ(objects.size(), 4u);
    EXPECT_EQ(objects[0]["type"].toString(), "console");
    EXPECT_EQ(objects[0]["colour"].toInt(), 255);
    EXPECT_TRUE(objects[0]["text"].toString().endsWith("\"quoted\"\n"));
    EXPECT_EQ(objects[1]["type"].toString(), "progress");
    EXPECT_EQ(objects[2]["type"].toString(), "wizard");
    EXPECT_EQ(objects[2]["code"].toInt(), 6);
    EXPECT_EQ(objects[3]["type"].toString(), "exit");
    EXPECT_EQ(objects[3]["code"].toInt(), 1);
}

TEST(CliOperator, QuestionsFollowYesTheTerminalOrNo) {
    std::ostringstream out;
    CNoTerminal none;
    CliOperator noTerminal(out, {false, false}, none);
    EXPECT_FALSE(noTerminal.AskYesNo("Restart now?"));
    noTerminal.SetAssumeYes(true);
    EXPECT_TRUE(noTerminal.AskOkCancel("Proceed?"));

    ScriptedTerminal tty;
    CliOperator asking(out, {false, true}, tty);
    tty.answer = "y";
    EXPECT_TRUE(asking.AskYesNo("Restart now?"));
    EXPECT_NE(tty.prompts.find("Restart now? [y/N] "), std::string::npos);
    tty.answer = "";
    EXPECT_FALSE(asking.AskYesNo("Restart now?"));
    tty.answer = std::nullopt;  // end of input
    EXPECT_FALSE(asking.AskYesNo("Restart now?"));
}

TEST(CliOperator, DeviceChoiceAndSecretsComeFromTheCommandLine) {
    std::ostringstream out;
    CNoTerminal none;
    CliOperator op(out, {false, false}, none);
    int model = -1, series = -1;
    EXPECT_FALSE(op.ChooseDevice(model, series));
    op.SetDevice(std::make_pair(4, 1));
    EXPECT_TRUE(op.ChooseDevice(model, series));
    EXPECT_EQ(model, 4);
    EXPECT_EQ(series, 1);
    EXPECT_FALSE(op.AskText("Password:", true).has_value());
    op.SetSecretAnswer("pw");
    EXPECT_EQ(op.AskText("Password:", true).value_or(""), "pw");
}

}  // namespace
}  // namespace vorn::cli

namespace vorn::cli {
namespace {

// Escaping whole texts and streams written a byte at a time (a CR or a C1 lead byte is decided
// by the byte after it, also across writes).
TEST(TerminalText, ControlCharactersAreShownEscaped) {
    struct Case {
        std::string in, shown;
    } cases[] = {
        {"plain text\twith tab\n", "plain text\twith tab\n"},
        {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        {"line\r\n", "line\r\n"},
        {"over\rwrite", "over\\x0dwrite"},
        {"end\r", "end\\x0d"},
        {"\r\r\n", "\\x0d\r\n"},
        {std::string("nul\0del\x7f", 8), "nul\\x00del\\x7f"},
        {"\xc2\x9b" "2J", "\\xc2\\x9b2J"},
        {"\xc2\xa9 \xe4\xb8\x8a \xc2", "\xc2\xa9 \xe4\xb8\x8a \xc2"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeControls(c.in), c.shown);
        std::ostringstream out;
        {
            CEscapingStreamBuf buf(out);
            std::ostream s(&buf);
            for (char ch : c.in) s << ch;
        }
        EXPECT_EQ(out.str(), c.shown);
    }
}

}  // namespace
}  // namespace vorn::cli
