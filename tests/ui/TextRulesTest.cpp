#include "ui/window/ApplicationTitle.h"
#include "ui/window/ReportText.h"

#include <gtest/gtest.h>
#include <string>

namespace tcpipset {
namespace {

struct TextCase {
    const char* name;
    std::string input;
    std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class ApplicationTitleTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ApplicationTitleTest, FromExecutablePath) {
    EXPECT_EQ(ApplicationTitleFromPath(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ApplicationTitleTest,
    ::testing::Values(TextCase{"UpperCaseWithExtension", "/usr/bin/TCPIPSET.EXE", "Tcpipset"},
                      TextCase{"FirstLetterKeptAsItIs", "tcpipset", "tcpipset"},
                      TextCase{"EndsAtTheFirstDot", "a.b.c", "a"},
                      TextCase{"DotInADirectoryIgnored", "/opt/x.y/TcpIp", "Tcpip"},
                      TextCase{"DotFirstLeavesNothing", "/usr/bin/.hidden", ""},
                      TextCase{"Empty", "", ""},
                      TextCase{"RelativePath", "build/app/tcpipset", "tcpipset"},
                      TextCase{"NonAsciiFirstLetter", "/bin/ÄBC", "Äbc"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

class ReportTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReportTextTest, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(ReportText(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ReportTextTest,
    ::testing::Values(
        TextCase{"Empty", "", ""}, TextCase{"EndsInFullStop", "Host not found.", "Host not found."},
        TextCase{"EndsInLetter", "Directory not empty", "Directory not empty."},
        TextCase{"EndsInDigit", "Socket Error # 10040", "Socket Error # 10040."},
        TextCase{"EndsInExclamationMark", "Stop!", "Stop!"},
        TextCase{"EndsInSpace", "ends in space ", "ends in space "},
        TextCase{"EndsInDash", "dash-", "dash-"}, TextCase{"EndsInSlash", "slash/", "slash/."},
        TextCase{"EndsInJapanese", "'' は整数ではありません", "'' は整数ではありません."},
        TextCase{"EndsInHalfWidthKana", "半角ｶﾅ", "半角ｶﾅ."},
        TextCase{"EndsInLineBreak", "line\r\n", "line\r\n"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
} // namespace tcpipset
