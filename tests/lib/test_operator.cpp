// The questions of the Operator: answers queued through the "next answer" hook are taken
// first, in order, one per question of their kind; then the front end is asked.
#include <gtest/gtest.h>

#include "tests/common/RecordingOperator.h"

namespace vorn::test {
namespace {

TEST(OperatorQuestions, QueuedAnswersComeFirstThenTheFrontEndIsAsked) {
    RecordingOperator op;
    op.answerYes = false;
    op.openFile = "/front/end";
    op.SetNextAnswer(true);
    op.SetNextAnswer(false);
    op.SetNextFileName("/queued/a");
    op.SetNextFileName(std::nullopt);  // a cancelled choice
    op.SetNextText("typed");
    op.SetNextDevice(std::make_pair(2, 5));
    EXPECT_EQ(op.AnswersPending(), 6u);

    EXPECT_TRUE(op.AskYesNo("first?"));
    EXPECT_FALSE(op.AskOkCancel("second?"));
    EXPECT_TRUE(op.messages.empty()) << "queued answers do not reach the front end";
    op.answerYes = true;
    EXPECT_TRUE(op.AskYesNo("third?"));  // queue empty: the front end answers
    EXPECT_EQ(op.messages, std::vector<std::string>{"third?"});

    EXPECT_EQ(op.ChooseOpenFile("x", "*.*"), std::optional<std::string>("/queued/a"));
    EXPECT_EQ(op.ChooseSaveFile("x", "*.*"), std::nullopt);
    EXPECT_EQ(op.ChooseOpenFile("x", "*.*"), std::optional<std::string>("/front/end"));
    EXPECT_EQ(op.AskText("Password:", true), std::optional<std::string>("typed"));
    int model = -1, series = -1;
    EXPECT_TRUE(op.ChooseDevice(model, series));
    EXPECT_EQ(std::make_pair(model, series), std::make_pair(2, 5));
    EXPECT_FALSE(op.ChooseDevice(model, series));  // the front end's: no device set
    EXPECT_EQ(op.AnswersPending(), 0u);
}

}  // namespace
}  // namespace vorn::test
