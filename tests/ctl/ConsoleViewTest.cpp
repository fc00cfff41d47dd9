#include "tools/tcpipctl/ConsoleView.h"

#include "tests/i18n/Language.h"
#include "ui/operations/Messages.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace tcpipset {
namespace {

constexpr const char* Question = "Change the TCP/IP address?";

struct AnswerCase {
    const char* typed;
    DialogResult result;
    std::string prompted; // everything written to the terminal
    const char* language = languages::English;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
    *os << '"' << c.typed << '"';
}

class ConsolePromptTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ConsolePromptTest, AsksOnceAndGoesOnOnlyForYes) {
    std::istringstream answers(GetParam().typed);
    std::ostringstream prompts;
    ConsoleView view(false, answers, prompts);
    const languages::ScopedLanguage language(GetParam().language);

    EXPECT_EQ(view.ShowConfirmation(messages::ConfirmSet()), GetParam().result);

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
                      AnswerCase{"", DialogResult::Cancel, Prompt + "\n"},
                      // The window's question, in the window's words.
                      AnswerCase{"y\n", DialogResult::Yes, "TCP/IPアドレスを変更しますか。 [y/N] ",
                                 languages::Japanese}));

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
