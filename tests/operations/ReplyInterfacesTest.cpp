#include "ui/operations/ReplyInterfaces.h"

#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace tcpipset {
namespace {

using Names = std::vector<std::string>;

struct AimCase {
    const char* name;
    Names usable;
    Names limit;
    std::optional<Names> aimed; // none: the line's interfaces are all gone
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
        AimCase{
            "EveryInterfaceItWasSeenOnOnce", {"eth0", "eth1", "wlan0"}, {}, Names{"eth1", "wlan0"}},
        AimCase{"AnInterfaceThatWentAwayIsLeftOut", {"eth0", "wlan0"}, {}, Names{"wlan0"}},
        AimCase{"NoneLeftIsGone", {"eth0"}, {}, std::nullopt},
        AimCase{"TheOperatorsLimitHolds", {"eth0", "eth1", "wlan0"}, {"eth1"}, Names{"eth1"}},
        AimCase{"OnlyOutsideTheLimitIsGone", {"eth0", "eth1", "wlan0"}, {"eth0"}, std::nullopt}),
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

TEST(ReplyInterfaces, ALineNotSeenSeenNowhereKnownOrClearedIsNotKnown) {
    ReplyInterfaces seen;
    seen.Note("020000000001", "eth0");
    seen.Note("020000000002", "");
    EXPECT_EQ(seen.Of("0200000B0001", {"eth0"}, {}), Names{});
    EXPECT_EQ(seen.Of("020000000002", {}, {}), Names{});
    seen.Clear();
    EXPECT_EQ(seen.Of("020000000001", {}, {}), Names{});
}

} // namespace
} // namespace tcpipset
