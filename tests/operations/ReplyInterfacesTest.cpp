#include "ui/operations/ReplyInterfaces.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

using Names = std::vector<std::string>;

struct AimCase {
    const char* name;
    Names usable;
    Names limit;
    Names aimed;
};

void PrintTo(const AimCase& c, std::ostream* os) {
    *os << c.name;
}

class ReplyInterfacesTest : public ::testing::TestWithParam<AimCase> {};

// The line 0200000B0001 answered on eth1 twice and on wlan0; another line on eth0.
TEST_P(ReplyInterfacesTest, AimsAtTheInterfacesTheLineWasSeenOn) {
    ReplyInterfaces seen;
    seen.Note("0200000B0001", "eth1");
    seen.Note("0200000B0001", "eth1");
    seen.Note("0200000B0001", "wlan0");
    seen.Note("0200000B0001", "");
    seen.Note("020000000001", "eth0");
    EXPECT_EQ(seen.Of("0200000B0001", GetParam().usable, GetParam().limit), GetParam().aimed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplyInterfacesTest,
    ::testing::Values(
        AimCase{"EveryInterfaceItWasSeenOnOnce", {"eth0", "eth1", "wlan0"}, {}, {"eth1", "wlan0"}},
        AimCase{"AnInterfaceThatWentAwayIsLeftOut", {"eth0", "wlan0"}, {}, {"wlan0"}},
        AimCase{"NoneLeftIsNoneKnown", {"eth0"}, {}, {}},
        AimCase{"TheOperatorsLimitHolds", {"eth0", "eth1", "wlan0"}, {"eth1"}, {"eth1"}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct SharedCase {
    const char* name;
    std::string other;
    std::string otherInterface;
    Names aimed;
    bool shared;
};

void PrintTo(const SharedCase& c, std::ostream* os) {
    *os << c.name;
}

class SharesSelectorTest : public ::testing::TestWithParam<SharedCase> {};

// 0200000B0001 was seen on eth1; the other line is listed as the row gives it.
TEST_P(SharesSelectorTest, OnlyAnotherTextThatTheRequestReachesIsACollision) {
    ReplyInterfaces seen;
    seen.Note("0200000B0001", "eth1");
    seen.Note(GetParam().other, GetParam().otherInterface);
    EXPECT_EQ(seen.SharesSelector("0200000B0001", GetParam().aimed), GetParam().shared);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SharesSelectorTest,
    ::testing::Values(SharedCase{"OnTheSameInterface", "0400000B0001", "eth1", {"eth1"}, true},
                      SharedCase{"RequestOnEveryInterface", "0400000B0001", "eth0", {}, true},
                      SharedCase{"OtherInterfaceUnknown", "0400000B0001", "", {"eth1"}, true},
                      SharedCase{
                          "OnlyWhereTheRequestDoesNotGo", "0400000B0001", "eth0", {"eth1"}, false},
                      SharedCase{"TheSameLineAgain", "0200000B0001", "eth0", {}, false},
                      SharedCase{"OtherLastSixDigits", "0200000B0002", "eth1", {}, false}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ReplyInterfaces, ALineNotSeenOrClearedIsNotKnown) {
    ReplyInterfaces seen;
    seen.Note("020000000001", "eth0");
    EXPECT_TRUE(seen.Of("0200000B0001", {"eth0"}, {}).empty());
    seen.Clear();
    EXPECT_TRUE(seen.Of("020000000001", {"eth0"}, {}).empty());
}

} // namespace
} // namespace tcpipset
