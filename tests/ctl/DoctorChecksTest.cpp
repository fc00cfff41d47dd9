#include "tools/tcpipctl/DoctorChecks.h"
#include "tools/tcpipctl/RouteTable.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

struct FirewallCase {
    const char* name;
    const char* nft;
    const char* iptables;
    bool readable;
    Verdict verdict;
    const char* detailPart;
};

void PrintTo(const FirewallCase& c, std::ostream* os) {
    *os << c.name;
}

class FirewallCheckTest : public ::testing::TestWithParam<FirewallCase> {};

TEST_P(FirewallCheckTest, TellsWhetherRepliesFromPort5001GetIn) {
    const DoctorCheck check =
        FirewallCheck(GetParam().nft, GetParam().iptables, GetParam().readable);
    EXPECT_EQ(check.verdict, GetParam().verdict);
    EXPECT_NE(check.detail.find(GetParam().detailPart), std::string::npos) << check.detail;
    EXPECT_EQ(check.advice.empty(), GetParam().verdict == Verdict::Ok);
}

constexpr const char* StatefulDrop = R"(table inet filter {
	chain input {
		type filter hook input priority filter; policy drop;
		ct state established,related accept
		iif "lo" accept
	}
	chain output {
		type filter hook output priority filter; policy drop;
	}
})";
constexpr const char* WithReplyRule = R"(table inet filter {
	chain input {
		type filter hook input priority filter; policy drop;
		udp sport 5001 accept
		ct state established,related accept
	}
})";
constexpr const char* EndsInReject = R"(table inet firewalld {
	chain filter_INPUT {
		type filter hook input priority filter + 10; policy accept;
		ct state established,related accept
		reject with icmpx admin-prohibited
	}
})";
constexpr const char* OutputOnly = R"(table ip nat {
	chain postrouting {
		type nat hook postrouting priority srcnat; policy accept;
		oifname "eth0" masquerade
	}
})";

INSTANTIATE_TEST_SUITE_P(
    Table, FirewallCheckTest,
    ::testing::Values(
        FirewallCase{"NoRulesAtAll", "", "", true, Verdict::Ok, "no input filter"},
        FirewallCase{"OtherHooksOnly", OutputOnly, "", true, Verdict::Ok, "no input filter"},
        FirewallCase{"StatefulDefaultDrop", StatefulDrop, "", true, Verdict::Problem,
                     "\"inet filter input\""},
        FirewallCase{"DefaultDropWithTheReplyRule", WithReplyRule, "", true, Verdict::Ok,
                     "lets replies from UDP port 5001 in"},
        FirewallCase{"ChainEndingInAReject", EndsInReject, "", true, Verdict::Problem,
                     "\"inet firewalld filter_INPUT\""},
        FirewallCase{"IptablesInputPolicyDrop", "", ":INPUT DROP [0:0]\n-A INPUT -i lo -j ACCEPT\n",
                     true, Verdict::Problem, "\"iptables INPUT\""},
        FirewallCase{"IptablesWithTheReplyRule", "",
                     ":INPUT DROP [0:0]\n-A INPUT -p udp -m udp --sport 5001 -j ACCEPT\n", true,
                     Verdict::Ok, "lets replies"},
        FirewallCase{"RulesThatCannotBeRead", "", "", false, Verdict::Warning, "cannot read"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct RpFilterCase {
    const char* name;
    int all;
    int own;
    bool defaultRoute;
    Verdict verdict;
};

void PrintTo(const RpFilterCase& c, std::ostream* os) {
    *os << c.name;
}

class RpFilterCheckTest : public ::testing::TestWithParam<RpFilterCase> {};

TEST_P(RpFilterCheckTest, WarnsWhereRepliesFromUnroutedAddressesAreDropped) {
    const RpFilterCase& c = GetParam();
    EXPECT_EQ(RpFilterCheck("eth0", c.all, c.own, c.defaultRoute).verdict, c.verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RpFilterCheckTest,
    ::testing::Values(RpFilterCase{"Off", 0, 0, false, Verdict::Ok},
                      RpFilterCase{"StrictOnTheInterface", 0, 1, true, Verdict::Warning},
                      RpFilterCase{"StrictForAllCounts", 1, 0, true, Verdict::Warning},
                      RpFilterCase{"LooseWithADefaultRoute", 2, 0, true, Verdict::Ok},
                      RpFilterCase{"LooseWithoutADefaultRoute", 2, 2, false, Verdict::Warning}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(DoctorChecks, RpFilterAdviceWritesTheDotOfAVlanInterfaceAsASlash) {
    EXPECT_NE(
        RpFilterCheck("eth0.100", 1, 0, true).advice.find("net.ipv4.conf.eth0/100.rp_filter=0"),
        std::string::npos);
}

TEST(DoctorChecks, ReceiveBufferGrantedBelowTheAskIsAWarning) {
    EXPECT_EQ(ReceiveBufferCheck(4194304, 8388608, 1).verdict, Verdict::Ok);
    EXPECT_EQ(ReceiveBufferCheck(4194304, 425984, 1).verdict, Verdict::Warning);
    // Counted double: half of what was asked for.
    EXPECT_EQ(ReceiveBufferCheck(4194304, 4194304, 1).verdict, Verdict::Warning);
    EXPECT_EQ(ReceiveBufferCheck(4194304, 425984, 20).verdict, Verdict::Ok);
    EXPECT_EQ(ReceiveBufferCheck(0, 212992, 1).verdict, Verdict::Ok);
}

TEST(DoctorChecks, DefaultRouteIsTheRowWithDestinationAndMaskZero) {
    const std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth1\t0000FEA9\t00000000\t0001\t0\t0\t0\t0000FFFF\t0\t0\t0\n"
        "wlan0\t00000000\t0100A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    EXPECT_EQ(DefaultRouteInterface(table), "wlan0");
    EXPECT_EQ(DefaultRouteInterface(table.substr(0, table.find("wlan0"))), "");
    // `ip route add unreachable default`, as /proc/net/route shows it.
    EXPECT_EQ(DefaultRouteInterface(table.substr(0, table.find("wlan0")) +
                                    "*\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n"),
              "");
}

} // namespace
} // namespace tcpipset
