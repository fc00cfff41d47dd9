#include "tools/tcpipctl/MacArgument.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace tcpipset {
namespace {

struct MacCase {
    const char* given;
    std::optional<std::string> listed;
};

void PrintTo(const MacCase& c, std::ostream* os) {
    *os << '"' << c.given << '"';
}

class MacArgumentTest : public ::testing::TestWithParam<MacCase> {};

TEST_P(MacArgumentTest, GivesTheListedFormOrNothing) {
    EXPECT_EQ(NormaliseMacArgument(GetParam().given), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, MacArgumentTest,
    ::testing::Values(
        MacCase{"0080921A2B3C", "0080921A2B3C"}, MacCase{"0080921a2b3c", "0080921A2B3C"},
        MacCase{"00:80:92:1a:2b:3c", "0080921A2B3C"}, MacCase{"00-80-92-1A-2B-3C", "0080921A2B3C"},
        MacCase{"ABCDEFabcdef", "ABCDEFABCDEF"}, MacCase{"ff:ff:ff:ff:ff:ff", "FFFFFFFFFFFF"},
        // Lengths other than the two forms.
        MacCase{"", std::nullopt}, MacCase{"0080921A2B3", std::nullopt},
        MacCase{"0080921A2B3C0", std::nullopt}, MacCase{"0080921A2B3C0080921A2B3C", std::nullopt},
        MacCase{"00:80:92:1a:2b", std::nullopt}, MacCase{"00:80:92:1a:2b:3c:", std::nullopt},
        // Separators: one kind, between every byte, nowhere else.
        MacCase{"00:80:92-1a:2b:3c", std::nullopt}, MacCase{"00.80.92.1a.2b.3c", std::nullopt},
        MacCase{"00 80 92 1a 2b 3c", std::nullopt}, MacCase{"0:080:92:1a:2b:3c", std::nullopt},
        MacCase{"00::8092:1a:2b:3c", std::nullopt}, MacCase{"008:0921:a2b:3c:", std::nullopt},
        // Characters that are not hexadecimal digits, also in separated form.
        MacCase{"0080921A2B3G", std::nullopt}, MacCase{"00:80:92:1a:2b:3g", std::nullopt},
        MacCase{" 080921A2B3C", std::nullopt}, MacCase{"0x80921A2B3C", std::nullopt},
        MacCase{"0080921A2B3\xC3", std::nullopt}, MacCase{"00:80:92:1a:2b:+3", std::nullopt}));

} // namespace
} // namespace tcpipset
