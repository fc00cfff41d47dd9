#include "tools/tcpipctl/doctor/DoctorChecks.h"

#include "tools/tcpipctl/doctor/RouteTable.h"

#include <fstream>
#include <gtest/gtest.h>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace tcpipset {
namespace {

struct FirewallCase {
    const char* name;
    const char* nftFixture;    // nft -j list ruleset
    const char* legacyFixture; // iptables-legacy-save
    std::vector<std::string> interfaces;
    Verdict verdict;
    const char* inDetail;
    const char* inAdvice;
    const char* droppingChains;
    const char* nftSaveFixture = ""; // iptables-nft-save
    int port = DefaultReplyPort;
};

// As a user sees it: none of nft, iptables-nft-save and iptables-legacy-save can be read.
constexpr const char* NotReadable = "(not readable)";
// No nft program at all: only what iptables-nft-save and iptables-legacy-save show.
constexpr const char* NftMissing = "(nft missing)";

void PrintTo(const FirewallCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Fixture(const char* name) {
    if (*name == '\0') {
        return {};
    }
    std::ifstream file(std::string(TCPIPSET_FIREWALL_FIXTURES) + "/" + name);
    EXPECT_TRUE(file) << name;
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class FirewallCheckTest : public ::testing::TestWithParam<FirewallCase> {};

TEST_P(FirewallCheckTest, TellsWhetherRepliesFromPort5001GetIn) {
    const FirewallCase& c = GetParam();
    FirewallTexts texts;
    texts.nftInstalled = std::string(c.nftFixture) != NftMissing;
    if (texts.nftInstalled && std::string(c.nftFixture) != NotReadable) {
        texts.nftJson = Fixture(c.nftFixture);
    }
    if (*c.nftSaveFixture != '\0') {
        texts.iptablesNftSave = Fixture(c.nftSaveFixture);
    }
    if (*c.legacyFixture != '\0') {
        texts.iptablesLegacySave = Fixture(c.legacyFixture);
    }
    const FirewallFinding finding = ReadFirewall(texts, c.interfaces, c.port);
    EXPECT_EQ(finding.check.verdict, c.verdict);
    EXPECT_NE(finding.check.detail.find(c.inDetail), std::string::npos) << finding.check.detail;
    EXPECT_NE(finding.check.advice.find(c.inAdvice), std::string::npos) << finding.check.advice;
    EXPECT_EQ(finding.check.advice.empty(), c.verdict == Verdict::Ok);
    std::string dropping;
    for (const auto& chain : finding.droppingChains) {
        dropping += (dropping.empty() ? "" : ", ") + chain;
    }
    EXPECT_EQ(dropping, c.droppingChains);
}

constexpr const char* NftRule = "sudo nft insert rule inet filter input udp sport 5001 accept";
constexpr const char* UfwRule = "sudo ufw allow proto udp from any port 5001";
constexpr const char* LegacyRule = "sudo iptables -I INPUT -p udp --sport 5001 -j ACCEPT";
constexpr const char* LetIn = "lets replies from UDP port 5001 in";
constexpr const char* NoDrop = "no input filter drops by default";
constexpr const char* InetInput = "inet filter input";
const std::vector<std::string> Eth0{"eth0"};

INSTANTIATE_TEST_SUITE_P(
    Table, FirewallCheckTest,
    ::testing::Values(
        FirewallCase{"NoRulesAtAll", "empty.json", "", {}, Verdict::Ok, NoDrop, "", ""},
        FirewallCase{"OtherHooksOnly", "other-hooks-only.json", "", Eth0, Verdict::Ok, NoDrop, "",
                     ""},
        FirewallCase{"DebianDefault", "debian-default.json", "", Eth0, Verdict::Ok, NoDrop, "", ""},
        FirewallCase{"StatefulDefaultDrop", "desktop-stateful.json", "", Eth0, Verdict::Problem,
                     "the input filter \"inet filter input\" drops replies from UDP port 5001 "
                     "by its policy",
                     NftRule, InetInput},
        FirewallCase{"DefaultDropWithTheShippedRule", "desktop-stateful-with-rule.json", "", Eth0,
                     Verdict::Ok, "\"inet filter input\" drops by default and lets replies", "",
                     ""},
        FirewallCase{"AnAcceptDoesNotSpareTheOtherTable", "two-tables.json", "", Eth0,
                     Verdict::Problem, "\"ip guard input\" drops", "rule ip guard input udp",
                     "ip guard input"},
        FirewallCase{"AcceptPolicyEndingInADrop", "ends-in-counter-drop.json", "", Eth0,
                     Verdict::Problem, "by a rule in chain \"input\"", NftRule, InetInput},
        FirewallCase{"RuleForAnotherPort", "wrong-port.json", "", Eth0, Verdict::Problem,
                     "by its policy", NftRule, InetInput},
        FirewallCase{"InterfaceDropOnEth0", "iifname-drop.json", "", Eth0, Verdict::Problem,
                     "by a rule in chain \"input\"", NftRule, InetInput},
        FirewallCase{"InterfaceDropSparesVeth",
                     "iifname-drop.json",
                     "",
                     {"veth-x"},
                     Verdict::Ok,
                     LetIn,
                     "",
                     ""},
        FirewallCase{"InterfaceDropNamesItsInterfaces",
                     "iifname-drop.json",
                     "",
                     {"veth-x", "eth1"},
                     Verdict::Problem,
                     "5001 on eth1 by a rule",
                     NftRule,
                     InetInput},
        FirewallCase{"InterfaceDropOnAnyInterface",
                     "iifname-drop.json",
                     "",
                     {},
                     Verdict::Problem,
                     "by a rule in chain \"input\"",
                     NftRule,
                     InetInput},
        FirewallCase{"UdpRejected", "udp-reject.json", "", Eth0, Verdict::Problem,
                     "by a rule in chain \"input\"", NftRule, InetInput},
        FirewallCase{"LoggedReject", "log-reject.json", "", Eth0, Verdict::Problem, "by a rule",
                     NftRule, InetInput},
        FirewallCase{"AcceptForTcpOnly", "tcp-only.json", "", Eth0, Verdict::Problem,
                     "by its policy", NftRule, InetInput},
        FirewallCase{"AcceptInTheOutputChain", "accept-in-output.json", "", Eth0, Verdict::Problem,
                     "by its policy", NftRule, InetInput},
        FirewallCase{"AcceptInAChainNothingJumpsTo", "accept-unreached.json", "", Eth0,
                     Verdict::Problem, "by its policy", NftRule, InetInput},
        FirewallCase{"AcceptReachedByJump", "accept-by-jump.json", "", Eth0, Verdict::Ok, LetIn, "",
                     ""},
        FirewallCase{"JumpToAChainThatDrops", "jump-to-drop.json", "", Eth0, Verdict::Problem,
                     "by a rule in chain \"no_new_udp\"", "rule ip filter input udp",
                     "ip filter input"},
        FirewallCase{"InvalidDroppedUnderAcceptPolicy", "ct-invalid-drop.json", "", Eth0,
                     Verdict::Ok, NoDrop, "", ""},
        FirewallCase{"DropPolicyForIpv6Only", "ip6-only-drop.json", "", Eth0, Verdict::Ok, NoDrop,
                     "", ""},
        FirewallCase{"NamedSetDecides", "named-set.json", "", Eth0, Verdict::Warning,
                     "cannot tell whether the input filter \"inet filter input\" lets replies "
                     "from UDP port 5001 in: a rule in chain \"input\" depends on the named set "
                     "@printers",
                     NftRule, ""},
        FirewallCase{"MarkDecides", "mark.json", "", Eth0, Verdict::Warning, "the packet mark",
                     NftRule, ""},
        FirewallCase{"IptablesNftMatchDecides", "xt-conntrack.json", "", Eth0, Verdict::Warning,
                     "iptables match (conntrack)", "rule ip filter INPUT udp", ""},
        FirewallCase{"IptablesNftMatchFromItsSave", "xt-conntrack.json", "", Eth0, Verdict::Ok,
                     LetIn, "", "", "xt-conntrack.nft-save"},
        FirewallCase{"UfwThroughIptablesNftWithoutItsSave", "ufw.json", "", Eth0, Verdict::Warning,
                     "in chain \"ufw-before-input\"", UfwRule, ""},
        FirewallCase{"UfwThroughIptablesNft", "ufw.json", "", Eth0, Verdict::Problem,
                     "\"ip filter INPUT\" drops replies from UDP port 5001 by its policy", UfwRule,
                     "ip filter INPUT", "ufw.nft-save"},
        FirewallCase{"UfwThroughIptablesNftWithTheReplyRule", "ufw-reply-rule.json", "", Eth0,
                     Verdict::Ok, LetIn, "", "", "ufw-reply-rule.nft-save"},
        FirewallCase{"IptablesNftSaveLeavesInetTablesAlone", "desktop-stateful.json", "", Eth0,
                     Verdict::Problem, "by its policy", NftRule, InetInput, "ufw.nft-save"},
        FirewallCase{"IptablesNftSaveLeavesTablesWithoutXtAlone", "jump-to-drop.json", "", Eth0,
                     Verdict::Problem, "by a rule in chain \"no_new_udp\"",
                     "rule ip filter input udp", "ip filter input", "ufw.nft-save"},
        FirewallCase{"UfwLegacyDefaults", "", "ufw-legacy.save", Eth0, Verdict::Problem,
                     "\"iptables filter INPUT\" drops replies from UDP port 5001 by its policy",
                     UfwRule, "iptables filter INPUT"},
        FirewallCase{"UfwLegacyWithTheReplyRule", "", "ufw-legacy-reply-rule.save", Eth0,
                     Verdict::Ok, LetIn, "", ""},
        FirewallCase{"FirewalldDefaults", "firewalld-public.json", "", Eth0, Verdict::Problem,
                     "\"inet firewalld filter_INPUT\" drops replies from UDP port 5001 by a rule "
                     "in chain \"filter_IN_public\"",
                     "sudo firewall-cmd --add-service=tcpipset", "inet firewalld filter_INPUT"},
        FirewallCase{"FirewalldWithTheService", "firewalld-public-tcpipset.json", "", Eth0,
                     Verdict::Ok, LetIn, "", ""},
        FirewallCase{"IptablesLegacyPolicyDrop", "", "iptables-policy-drop.save", Eth0,
                     Verdict::Problem, "\"iptables filter INPUT\" drops", LegacyRule,
                     "iptables filter INPUT"},
        FirewallCase{"IptablesLegacyReplyRule", "", "iptables-reply-rule.save", Eth0, Verdict::Ok,
                     LetIn, "", ""},
        FirewallCase{"IptablesLegacyRejectOnEth", "", "iptables-udp-reject.save", Eth0,
                     Verdict::Problem, "by a rule in chain \"INPUT\"", LegacyRule,
                     "iptables filter INPUT"},
        FirewallCase{"IptablesLegacyRejectSparesWlan",
                     "",
                     "iptables-udp-reject.save",
                     {"wlan0"},
                     Verdict::Ok,
                     NoDrop,
                     "",
                     ""},
        FirewallCase{"NftAndLegacyBothDrop", "desktop-stateful.json", "iptables-policy-drop.save",
                     Eth0, Verdict::Problem, "; the input filter \"iptables filter INPUT\" drops",
                     LegacyRule, "inet filter input, iptables filter INPUT"},
        FirewallCase{"NftTextInsteadOfJson", "desktop-stateful.nft", "", Eth0, Verdict::Warning,
                     "not JSON", "", ""},
        FirewallCase{"RulesThatCannotBeRead", NotReadable, "", Eth0, Verdict::Warning,
                     "cannot read", "sudo tcpipctl doctor", ""},
        FirewallCase{"UfwWithoutNft", NftMissing, "", Eth0, Verdict::Problem,
                     "\"ip filter INPUT\" drops replies from UDP port 5001 by its policy", UfwRule,
                     "ip filter INPUT", "ufw.nft-save"},
        FirewallCase{"UfwReplyRuleWithoutNft", NftMissing, "", Eth0, Verdict::Ok,
                     "5001 in (nft is not installed", "", "", "ufw-reply-rule.nft-save"},
        FirewallCase{"NothingReadableWithoutNft", NftMissing, "", Eth0, Verdict::Warning,
                     "cannot tell whether replies from UDP port 5001 get in: nft is not installed",
                     "sudo apt install nftables", ""},
        FirewallCase{"LegacyOnlyWithoutNft", NftMissing, "iptables-reply-rule.save", Eth0,
                     Verdict::Warning, "nothing shows nftables' tables", "tcpipctl(1)", ""},
        FirewallCase{"TheRuleForPort5001SparesNoOtherPort", "desktop-stateful-with-rule.json", "",
                     Eth0, Verdict::Problem, "drops replies from UDP port 5002 by its policy",
                     "sudo nft insert rule inet filter input udp sport 5002 accept", InetInput, "",
                     5002},
        FirewallCase{"FirewalldAdviceForAnotherPort", "firewalld-public.json", "", Eth0,
                     Verdict::Problem, "by a rule", "sudo firewall-cmd --add-source-port=5002/udp",
                     "inet firewalld filter_INPUT", "", 5002}),
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

// Rules that nft would refuse to load, as a damaged or hand-made text could hold them.
std::string ChainsCalling(const char* action) {
    const std::string head = R"({"family": "inet", "table": "t", )";
    return R"({"nftables": [{"table": {"family": "inet", "name": "t"}}, {"chain": )" + head +
           R"("name": "input", "hook": "input", "policy": "accept"}}, {"chain": )" + head +
           R"("name": "a"}}, {"rule": )" + head + R"("chain": "input", "expr": [{")" + action +
           R"(": {"target": "a"}}]}}, {"rule": )" + head + R"("chain": "a", "expr": [{")" + action +
           R"(": {"target": "input"}}]}}]})";
}

TEST(DoctorChecks, FirewallLoopsEndInCannotTell) {
    for (const char* action : {"jump", "goto"}) {
        FirewallTexts texts;
        texts.nftJson = ChainsCalling(action);
        const DoctorCheck check = ReadFirewall(texts, {"eth0"}).check;
        EXPECT_EQ(check.verdict, Verdict::Warning) << action;
        EXPECT_NE(check.detail.find("cannot tell"), std::string::npos) << check.detail;
    }
}

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
    // The sockets' share is said of the size, in one sentence with it.
    EXPECT_EQ(ReceiveBufferCheck(4194304, 425984, 20).detail,
              "asked for 4194304 bytes, granted 425984 (as the system counts it, twice what it "
              "holds for data), on each of 20 sockets that share the port");
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
