#include "tools/tcpipctl/Output.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

namespace tcpipset {
namespace {

struct ErrorCase {
    const char* name;
    const char* message;
    bool json;
    const char* err;
    const char* out;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReportErrorTest, WritesTheMessageForPeopleAndForScripts) {
    std::ostringstream out;
    std::ostringstream err;

    EXPECT_EQ(ReportError(GetParam().message, 3, GetParam().json, out, err), 3);

    EXPECT_EQ(err.str(), GetParam().err);
    EXPECT_EQ(out.str(), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ReportErrorTest,
    ::testing::Values(ErrorCase{"ForPeople", "タイムアウトが発生しました。", false,
                                "タイムアウトが発生しました。\n", ""},
                      ErrorCase{"ForScripts", "タイムアウトが発生しました。", true,
                                "タイムアウトが発生しました。\n",
                                "{\"error\":\"タイムアウトが発生しました。\"}\n"},
                      // The transport breaks its lines for a message box; the console gets plain
                      // ones and a script the message as it is.
                      ErrorCase{"LineBreaksOfTheTransport",
                                "Socket Error # 11001\r\nHost not found.", true,
                                "Socket Error # 11001\nHost not found.\n",
                                "{\"error\":\"Socket Error # 11001\\r\\nHost not found.\"}\n"},
                      ErrorCase{"LoneCarriageReturnsKept", "a\rb\r", false, "a\rb\r\n", ""},
                      ErrorCase{"QuotesEscapedForScripts", "'say \"x\"' は整数ではありません", true,
                                "'say \"x\"' は整数ではありません\n",
                                "{\"error\":\"'say \\\"x\\\"' は整数ではありません\"}\n"},
                      // A quoted part of an entered address need not be UTF-8.
                      ErrorCase{"TextThatIsNotUtf8", "'\xff' は整数ではありません", true,
                                "'\xff' は整数ではありません\n",
                                "{\"error\":\"'\xEF\xBF\xBD' は整数ではありません\"}\n"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
} // namespace tcpipset
