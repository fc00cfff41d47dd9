#include "ui/window/ReceiveBufferSetting.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

struct SettingCase {
    const char* name;
    const char* text;
    std::optional<std::int32_t> bytes;
};

void PrintTo(const SettingCase& c, std::ostream* os) {
    *os << c.name;
}

class ReceiveBufferSettingTest : public ::testing::TestWithParam<SettingCase> {};

TEST_P(ReceiveBufferSettingTest, TakesOnlyANumberOfBytesInRange) {
    EXPECT_EQ(ReceiveBufferSetting(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, ReceiveBufferSettingTest,
                         ::testing::Values(SettingCase{"StockBuffer", "212992", 212992},
                                           SettingCase{"SystemDefault", "0", 0},
                                           SettingCase{"OneGiB", "1073741824", 1073741824},
                                           SettingCase{"Unset", nullptr, std::nullopt},
                                           SettingCase{"Empty", "", std::nullopt},
                                           SettingCase{"Negative", "-1", std::nullopt},
                                           SettingCase{"AboveOneGiB", "1073741825", std::nullopt},
                                           SettingCase{"Unit", "4M", std::nullopt},
                                           SettingCase{"Blank", " 212992", std::nullopt}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tcpipset
