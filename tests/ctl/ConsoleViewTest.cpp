#include "tools/tcpipctl/ConsoleView.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace tcpipset {
namespace {

constexpr const char* Question = "TCP/IPアドレスを変更しますか。";

struct AnswerCase {
    const char* typed;
    DialogResult result;
    std::string prompted; // everything written to the terminal
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << '"' << c.typed << '"';
}

class ConsolePromptTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ConsolePromptTest, AsksOnceAndGoesOnOnlyForYes) {
    std::istringstream answers(GetParam().typed);
    std::ostringstream prompts;
    ConsoleView view(false, answers, prompts);

    EXPECT_EQ(view.ShowConfirmation(Question), GetParam().result);

    EXPECT_EQ(prompts.str(), GetParam().prompted);
    EXPECT_EQ(view.Cancelled(), GetParam().result == DialogResult::Cancel);
}

const std::string Prompt = std::string(Question) + " [y/N] ";

INSTANTIATE_TEST_SUITE_P(
    Answers, ConsolePromptTest,
    ::testing::Values(AnswerCase{"y\n", DialogResult::Yes, Prompt},
                      AnswerCase{"Y\n", DialogResult::Yes, Prompt},
                      AnswerCase{"yes\n", DialogResult::Yes, Prompt},
                      AnswerCase{"YeS\n", DialogResult::Yes, Prompt},
                      // The last line of a file that ends without a line break.
                      AnswerCase{"y", DialogResult::Yes, Prompt},
                      AnswerCase{"n\n", DialogResult::Cancel, Prompt},
                      AnswerCase{"\n", DialogResult::Cancel, Prompt},
                      AnswerCase{" y\n", DialogResult::Cancel, Prompt},
                      AnswerCase{"yes please\n", DialogResult::Cancel, Prompt},
                      AnswerCase{"ja\n", DialogResult::Cancel, Prompt},
                      // End of input: the prompt's line is ended for the message after it.
                      AnswerCase{"", DialogResult::Cancel, Prompt + "\n"}));

TEST(ConsoleViewTest, AssumedYesAsksNothingAndReadsNothing) {
    std::istringstream answers("n\n");
    std::ostringstream prompts;
    ConsoleView view(true, answers, prompts);

    EXPECT_EQ(view.ShowConfirmation(Question), DialogResult::Yes);

    EXPECT_EQ(prompts.str(), "");
    EXPECT_EQ(answers.tellg(), 0);
    EXPECT_FALSE(view.Cancelled());
}

TEST(ConsoleViewTest, ASecondQuestionReadsTheNextLine) {
    std::istringstream answers("y\nn\n");
    std::ostringstream prompts;
    ConsoleView view(false, answers, prompts);

    EXPECT_EQ(view.ShowConfirmation(Question), DialogResult::Yes);
    EXPECT_EQ(view.ShowConfirmation(Question), DialogResult::Cancel);
}

} // namespace
} // namespace tcpipset
