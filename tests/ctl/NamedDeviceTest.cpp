#include "tools/tcpipctl/NamedDevice.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

const std::string Asked = "0200000C0001";

struct NamedCase {
    const char* name;
    std::vector<QueryAnswers::Device> devices;
    std::string answering; // as DeviceList writes them
    std::string others;
};

void PrintTo(const NamedCase& c, std::ostream* os) {
    *os << c.name;
}

class NamedDeviceTest : public ::testing::TestWithParam<NamedCase> {};

TEST_P(NamedDeviceTest, SortsTheAnswersByTheMacTheyCarry) {
    const NamedDevice sorted = SortAnswers(Asked, GetParam().devices);
    EXPECT_EQ(DeviceList(sorted.answering), GetParam().answering);
    EXPECT_EQ(DeviceList(sorted.others), GetParam().others);
}

QueryAnswers::Device At(std::string mac, std::string address) {
    return {std::move(mac), std::move(address), {}, {}, {}, true};
}

INSTANTIATE_TEST_SUITE_P(
    Table, NamedDeviceTest,
    ::testing::Values(
        NamedCase{"TheMacAsked", {At(Asked, "10.0.0.1")}, "0200000C0001 at 10.0.0.1", ""},
        NamedCase{"AnotherMacIsAnotherDevice",
                  {At("0400000C0001", "10.0.0.2")},
                  "",
                  "0400000C0001 at 10.0.0.2"},
        NamedCase{"NoMacWhenNoneCarriesTheAsked", {At("", "10.0.0.3")}, "(no MAC) at 10.0.0.3", ""},
        NamedCase{"NoMacLeftOutWhenOneCarriesTheAsked",
                  {At("", "10.0.0.3"), At(Asked, "10.0.0.1")},
                  "0200000C0001 at 10.0.0.1",
                  ""},
        NamedCase{"TwoCarryingTheAsked",
                  {At(Asked, "10.0.0.1"), At("0400000C0001", "10.0.0.2"), At(Asked, "10.0.0.4")},
                  "0200000C0001 at 10.0.0.1, 0200000C0001 at 10.0.0.4",
                  "0400000C0001 at 10.0.0.2"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tcpipset
