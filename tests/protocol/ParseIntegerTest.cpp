#include "protocol/ParseInteger.h"

#include "tests/i18n/Language.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace tcpipset {
namespace {

struct IntegerCase {
    std::string text;
    std::optional<std::int32_t> value;          // nothing: the conversion fails
    const char* language = languages::Japanese; // of the message
};

void PrintTo(const IntegerCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class ParseIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(ParseIntegerTest, ConvertsOrNamesTheWholeText) {
    const IntegerCase& c = GetParam();
    if (c.value) {
        EXPECT_EQ(ParseInteger(c.text), *c.value);
        return;
    }
    languages::ScopedLanguage language(c.language);
    try {
        ParseInteger(c.text);
        FAIL() << "no error for '" << c.text << "'";
    } catch (const EConvertError& e) {
        const bool english = std::string(c.language) == languages::English;
        EXPECT_EQ(e.Message(),
                  "'" + c.text + (english ? "' is not an integer" : "' は整数ではありません"));
    }
}

INSTANTIATE_TEST_SUITE_P(Decimal, ParseIntegerTest,
                         testing::Values(IntegerCase{"0", 0}, IntegerCase{"7", 7},
                                         IntegerCase{"000192", 192}, IntegerCase{"-5", -5},
                                         IntegerCase{"+5", 5}, IntegerCase{"-0", 0},
                                         IntegerCase{"   42", 42}, IntegerCase{"  -42", -42},
                                         IntegerCase{"2147483647", 2147483647},
                                         IntegerCase{"-2147483648", -2147483647 - 1},
                                         IntegerCase{"00000000002147483647", 2147483647},
                                         IntegerCase{"2147483648", std::nullopt},
                                         IntegerCase{"-2147483649", std::nullopt},
                                         IntegerCase{"99999999999", std::nullopt},
                                         IntegerCase{"1844674407370955161600", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, ParseIntegerTest,
    testing::Values(IntegerCase{"$C0", 192}, IntegerCase{"$c0", 192}, IntegerCase{"xFF", 255},
                    IntegerCase{"XfF", 255}, IntegerCase{"0x10", 16}, IntegerCase{"0X1a", 26},
                    IntegerCase{"-$10", -16}, IntegerCase{"+0x10", 16},
                    IntegerCase{" $7FFFFFFF", 2147483647}, IntegerCase{"$FFFFFFFF", -1},
                    IntegerCase{"$80000000", -2147483647 - 1},
                    IntegerCase{"-$80000000", -2147483647 - 1}, IntegerCase{"-$FFFFFFFF", 1},
                    IntegerCase{"$0000000000FF", 255}, IntegerCase{"$100000000", std::nullopt},
                    IntegerCase{"$FFFFFFFFF", std::nullopt}, IntegerCase{"$", std::nullopt},
                    IntegerCase{"0x", std::nullopt}, IntegerCase{"x", std::nullopt},
                    IntegerCase{"-$", std::nullopt}, IntegerCase{"$G", std::nullopt},
                    IntegerCase{"0x1G", std::nullopt}, IntegerCase{"$$1", std::nullopt},
                    IntegerCase{"00x1", std::nullopt}, IntegerCase{"1x1", std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    Refused, ParseIntegerTest,
    testing::Values(IntegerCase{"", std::nullopt}, IntegerCase{" ", std::nullopt},
                    IntegerCase{"   ", std::nullopt}, IntegerCase{"-", std::nullopt},
                    IntegerCase{"+", std::nullopt}, IntegerCase{"1 ", std::nullopt},
                    IntegerCase{"1.", std::nullopt}, IntegerCase{"1.1", std::nullopt},
                    IntegerCase{"- 1", std::nullopt}, IntegerCase{"--1", std::nullopt},
                    IntegerCase{"+-1", std::nullopt}, IntegerCase{"\t1", std::nullopt},
                    IntegerCase{"1a", std::nullopt}, IntegerCase{"a", std::nullopt},
                    IntegerCase{"1e3", std::nullopt}, IntegerCase{"\xef\xbc\x91", std::nullopt},
                    IntegerCase{"%1x", std::nullopt, languages::English},
                    IntegerCase{std::string("1\0", 2), std::nullopt}));

} // namespace
} // namespace tcpipset
