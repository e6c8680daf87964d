// How the command line shows console text, progress and questions.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <sstream>

#include "app/cli/CliOperator.h"
#include "app/cli/TerminalText.h"
#include "lib/StringTable.h"

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

// update, backup and restore: an upload's progress says how much is sent, at which rate and
// how long the rest takes, in place on a terminal, a line per change otherwise, as fields of
// the JSON progress event; other transfers (downloads) keep the bare percentage.
TEST(CliOperator, UploadProgressSaysRateAndTimeLeft) {
    SetLanguage(Language::English);
    const std::uint64_t MiB = 1 << 20;
    for (const CliOutputMode mode : {CliOutputMode{false, true}, CliOutputMode{false, false},
                                     CliOutputMode{true, false}}) {
        SCOPED_TRACE(std::to_string(mode.json) + std::to_string(mode.terminal));
        std::ostringstream out;
        CNoTerminal none;
        CliOperator op(out, mode, none);
        bool uploading = true;
        std::uint64_t sent = 0;
        op.SetTransferSource(
            [&]() -> std::optional<std::pair<std::uint64_t, std::uint64_t>> {
                if (!uploading)
                    return std::nullopt;
                return std::make_pair(sent, 4 * MiB);
            });
        op.AppendConsole("app1(size:4,194,304 B) : ", kBlack);
        op.SetProgressAnchor();
        sent = MiB;
        op.ReplaceProgress("25%", kBlue);
        uploading = false;
        op.SetProgressAnchor();
        op.ReplaceProgress("7%", kBlue);
        const std::string text = out.str();
        if (mode.json) {
            const auto lines = [&] {
                std::vector<QJsonObject> v;
                std::istringstream in(text);
                for (std::string l; std::getline(in, l);)
                    v.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(l)).object());
                return v;
            }();
            ASSERT_EQ(lines.size(), 3u) << text;
            EXPECT_EQ(lines[1]["text"].toString(), "25%");
            EXPECT_EQ(lines[1]["sent"].toInteger(), static_cast<qint64>(MiB));
            EXPECT_EQ(lines[1]["size"].toInteger(), static_cast<qint64>(4 * MiB));
            EXPECT_TRUE(lines[1].contains("bytes_per_second") && lines[1].contains("seconds_left"));
            EXPECT_FALSE(lines[2].contains("sent"));  // not an upload
            continue;
        }
        const std::size_t at = text.find("25% (1.00 MiB of 4.00 MiB sent, ");
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_NE(text.find(" left)", at), std::string::npos) << text;
        EXPECT_NE(text.find(mode.terminal ? "\033[34m7%\033[0m" : "\n7%\n"), std::string::npos)
            << text;
    }
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
