#include "tools/tcpipctl/AddressOptions.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <tuple>

namespace tcpipset {
namespace {

struct AddressCase {
    const char* name;
    Verb verb;
    const char* ip;
    const char* mask;
    const char* gateway;
    std::string refusal;
    std::string warning = {};
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.name;
}

class AddressOptionsTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressOptionsTest, RefusesWhatNoDeviceCanUseAndNamesTheOption) {
    Command command;
    command.verb = GetParam().verb;
    std::tie(command.ip, command.mask, command.gateway) =
        std::tuple(GetParam().ip, GetParam().mask, GetParam().gateway);

    const AddressVerdict verdict = CheckAddressOptions(command);

    EXPECT_EQ(verdict.refusal, GetParam().refusal);
    EXPECT_EQ(verdict.warning, GetParam().warning);
}

constexpr Verb Set = Verb::Set;
constexpr Verb Restart = Verb::Restart;

// The segment scripts refuse the common faults end to end; these are the finer points.
INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressOptionsTest,
    ::testing::Values(
        // Decimal, as typed: 017 read as octal 15 would put the gateway outside.
        AddressCase{"LeadingZeros", Set, "198.18.1.020", "255.255.255.248", "198.18.1.017", ""},
        AddressCase{"HostOfAWideSubnetEndingIn0", Set, "198.18.2.0", "255.255.0.0", "198.18.0.1",
                    ""},
        AddressCase{"GatewayInTheWiderSubnet", Set, "198.18.2.5", "255.255.254.0", "198.18.3.254",
                    ""},
        AddressCase{"GatewayOutside", Restart, "198.18.3.5", "255.255.254.0", "198.18.4.1", "",
                    "--gateway 198.18.4.1 lies outside the subnet of --ip "
                    "198.18.3.5 --mask 255.255.254.0"},
        AddressCase{"FourDigits", Set, "198.18.3.0021", "255.0.0.0", "0.0.0.0",
                    "tcpipctl: --ip 198.18.3.0021: not an IPv4 address"},
        AddressCase{"MaskWithALastGap", Restart, "198.18.3.40", "255.255.255.253", "0.0.0.0",
                    "tcpipctl: --mask 255.255.255.253: the one-bits of a subnet mask must be "
                    "contiguous"},
        AddressCase{"MaskOfOneBit", Set, "10.18.3.40", "128.0.0.0", "10.0.0.1", ""},
        // The window's rules look at the last part alone; the mask tells the rest.
        AddressCase{"NetworkAddressOfItsSubnet", Set, "198.18.3.128", "255.255.255.128",
                    "198.18.3.129",
                    "tcpipctl: --ip 198.18.3.128: the network address of its subnet with --mask "
                    "255.255.255.128"},
        AddressCase{"BroadcastAddressOfItsSubnet", Restart, "198.18.3.127", "255.255.255.128",
                    "198.18.3.1",
                    "tcpipctl: --ip 198.18.3.127: the broadcast address of its subnet with "
                    "--mask 255.255.255.128"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct BroadcastCase {
    const char* name;
    const char* given;
    std::optional<std::string> sent;
};

void PrintTo(const BroadcastCase& c, std::ostream* os) {
    *os << c.name;
}

class BroadcastTest : public ::testing::TestWithParam<BroadcastCase> {};

TEST_P(BroadcastTest, TakesOnlyAnAddressAndDropsLeadingZeros) {
    EXPECT_EQ(CanonicalBroadcast(GetParam().given), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Broadcasts, BroadcastTest,
                         ::testing::Values(BroadcastCase{"LeadingZerosAreDecimal",
                                                         "198.018.001.010", "198.18.1.10"},
                                           BroadcastCase{"Name", "localhost", std::nullopt},
                                           BroadcastCase{"ThreeParts", "198.18.255", std::nullopt}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
} // namespace tcpipset
