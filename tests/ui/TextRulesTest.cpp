#include "ui/window/ApplicationTitle.h"
#include "ui/window/ReportText.h"

#include <gtest/gtest.h>
#include <string>

namespace tcpipset {
namespace {

struct TextCase {
    std::string input;
    std::string expected;
};

class ApplicationTitleTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ApplicationTitleTest, FromExecutablePath) {
    EXPECT_EQ(ApplicationTitleFromPath(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, ApplicationTitleTest,
                         ::testing::Values(TextCase{"/usr/bin/TCPIPSET.EXE", "Tcpipset"},
                                           TextCase{"tcpipset", "tcpipset"}, TextCase{"a.b.c", "a"},
                                           TextCase{"/opt/x.y/TcpIp", "Tcpip"},
                                           TextCase{"/usr/bin/.hidden", ""}, TextCase{"", ""},
                                           TextCase{"build/app/tcpipset", "tcpipset"},
                                           TextCase{"/bin/ÄBC", "Äbc"}));

class ReportTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ReportTextTest, FullStopOnlyAfterCharactersAboveIt) {
    EXPECT_EQ(ReportText(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ReportTextTest,
    ::testing::Values(TextCase{"", ""}, TextCase{"Host not found.", "Host not found."},
                      TextCase{"Directory not empty", "Directory not empty."},
                      TextCase{"Socket Error # 10040", "Socket Error # 10040."},
                      TextCase{"Stop!", "Stop!"}, TextCase{"ends in space ", "ends in space "},
                      TextCase{"dash-", "dash-"}, TextCase{"slash/", "slash/."},
                      TextCase{"'' は整数ではありません", "'' は整数ではありません."},
                      TextCase{"半角ｶﾅ", "半角ｶﾅ."}, TextCase{"line\r\n", "line\r\n"}));

} // namespace
} // namespace tcpipset
