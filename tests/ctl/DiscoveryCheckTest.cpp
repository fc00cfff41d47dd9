#include "tools/tcpipctl/doctor/DiscoveryCheck.h"

#include "tools/tcpipctl/doctor/RouteTable.h"
#include "tools/tcpipctl/doctor/WireFrame.h"

#include <gtest/gtest.h>
#include <ostream>
#include <vector>

namespace tcpipset {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An IPv4 header of the length given (in words) carrying UDP 5001 -> 40000 from 198.18.0.10.
Bytes Ipv4Udp(std::uint8_t words = 5, std::uint8_t protocol = 17, std::uint16_t fragment = 0) {
    Bytes ip(std::size_t{words} * 4, 0);
    ip[0] = static_cast<std::uint8_t>(0x40 | words);
    ip[6] = static_cast<std::uint8_t>(fragment >> 8);
    ip[7] = static_cast<std::uint8_t>(fragment);
    ip[9] = protocol;
    ip[12] = 198, ip[13] = 18, ip[14] = 0, ip[15] = 10;
    const Bytes udp{0x13, 0x89, 0x9C, 0x40, 0, 8, 0, 0};
    ip.insert(ip.end(), udp.begin(), udp.end());
    return ip;
}

Bytes Framed(Bytes link, const Bytes& ip) {
    link.insert(link.end(), ip.begin(), ip.end());
    return link;
}

const Bytes Macs(12, 0xAA);

Bytes Ethernet(const Bytes& ip, const Bytes& tags = {}, const Bytes& type = {0x08, 0x00}) {
    Bytes link = Macs;
    link.insert(link.end(), tags.begin(), tags.end());
    link.insert(link.end(), type.begin(), type.end());
    return Framed(link, ip);
}

Bytes CutAt(Bytes frame, std::size_t length) {
    frame.resize(length);
    return frame;
}

struct FrameCase {
    const char* name;
    Bytes frame;
    LinkType link;
    bool read;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
    *os << c.name;
}

class WireFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(WireFrameTest, ReadsTheAddressesOfUdpOverIpv4) {
    const auto datagram = UdpInFrame(GetParam().frame, GetParam().link);
    ASSERT_EQ(datagram.has_value(), GetParam().read);
    if (datagram) {
        EXPECT_EQ(datagram->source, (std::array<std::uint8_t, 4>{198, 18, 0, 10}));
        EXPECT_EQ(datagram->sourcePort, 5001);
        EXPECT_EQ(datagram->destinationPort, 40000);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WireFrameTest,
    ::testing::Values(
        FrameCase{"Ethernet", Ethernet(Ipv4Udp()), LinkType::Ethernet, true},
        FrameCase{"TwoVlanTags", Ethernet(Ipv4Udp(), {0x88, 0xA8, 0, 5, 0x81, 0, 0, 100}),
                  LinkType::Ethernet, true},
        FrameCase{"IpOptions", Ethernet(Ipv4Udp(6)), LinkType::Ethernet, true},
        FrameCase{"Tcp", Ethernet(Ipv4Udp(5, 6)), LinkType::Ethernet, false},
        FrameCase{"LaterFragment", Ethernet(Ipv4Udp(5, 17, 0x00B9)), LinkType::Ethernet, false},
        FrameCase{"FirstFragment", Ethernet(Ipv4Udp(5, 17, 0x2000)), LinkType::Ethernet, true},
        FrameCase{"CutShort", CutAt(Ethernet(Ipv4Udp()), 40), LinkType::Ethernet, false},
        FrameCase{"Ipv6", Ethernet(Ipv4Udp(), {}, {0x86, 0xDD}), LinkType::Ethernet, false},
        FrameCase{"LinuxCooked",
                  Framed({0, 0, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0, 8, 0}, Ipv4Udp()),
                  LinkType::LinuxCooked, true},
        FrameCase{"LinuxCooked2",
                  Framed({8, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 6, 1, 2, 3, 4, 5, 6, 0, 0}, Ipv4Udp()),
                  LinkType::LinuxCooked2, true},
        FrameCase{"Raw", Ipv4Udp(), LinkType::Raw, true},
        FrameCase{"UnknownLinkLayer", Ethernet(Ipv4Udp()), static_cast<LinkType>(105), false}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(WireFrame, ReadsArpRequestsAndRepliesForIpv4) {
    // Who has 198.19.0.1? Tell 198.19.128.10.
    const Bytes request{0,   1,  8,   0,  6, 4, 0, 1, 2, 0, 0,   0,  0, 1,
                        198, 19, 128, 10, 0, 0, 0, 0, 0, 0, 198, 19, 0, 1};
    const auto read = ArpInFrame(Ethernet(request, {}, {0x08, 0x06}), LinkType::Ethernet);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->request);
    EXPECT_EQ(read->senderAddress, (std::array<std::uint8_t, 4>{198, 19, 128, 10}));
    EXPECT_EQ(read->targetAddress, (std::array<std::uint8_t, 4>{198, 19, 0, 1}));
    Bytes reply = request;
    reply[7] = 2;
    EXPECT_FALSE(ArpInFrame(Ethernet(reply, {}, {0x08, 0x06}), LinkType::Ethernet)->request);
    EXPECT_FALSE(ArpInFrame(CutAt(Ethernet(request, {}, {0x08, 0x06}), 41), LinkType::Ethernet));
    EXPECT_FALSE(ArpInFrame(Ethernet(request), LinkType::Ethernet)); // typed as IPv4
    EXPECT_FALSE(ArpInFrame(request, LinkType::Raw));
}

TEST(RouteTable, TheLongestUsablePrefixLeadsBack) {
    const std::string heading = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\n";
    const std::string table = heading + "eth0\t000012C6\t00000000\t0001\t0\t0\t0\t0000FFFF\n" +
                              "eth1\t000A12C6\t00000000\t0001\t0\t0\t0\t00FFFFFF\n" +
                              "*\t000B12C6\t00000000\t0201\t0\t0\t0\t00FFFFFF\n";
    EXPECT_EQ(RouteInterfaceFor(table, {198, 18, 10, 7}), "eth1");
    EXPECT_EQ(RouteInterfaceFor(table, {198, 18, 11, 7}), "eth0"); // past the unreachable one
    EXPECT_EQ(RouteInterfaceFor(table, {198, 19, 128, 10}), "");
}

struct DiscoveryCase {
    const char* name;
    InterfaceDiscovery result;
    DeliveryCauses causes;
    Verdict verdict;
    const char* detailPart;
    const char* advicePart;
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscoveryCheckTest : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryCheckTest, ComparesTheWireWithWhatWasReceived) {
    const DiscoveryCase& c = GetParam();
    const auto checks = DiscoveryChecks({c.result}, c.causes);
    ASSERT_EQ(checks.size(), 1U);
    EXPECT_EQ(checks[0].verdict, c.verdict);
    EXPECT_NE(checks[0].detail.find(c.detailPart), std::string::npos) << checks[0].detail;
    EXPECT_NE(checks[0].advice.find(c.advicePart), std::string::npos) << checks[0].advice;
    ASSERT_TRUE(checks[0].figures);
    EXPECT_EQ(checks[0].figures->wire.has_value(), c.result.wire.has_value());
}

using Address = std::array<std::uint8_t, 4>;
const std::vector<Address> ThreeOnTheWire{{198, 18, 0, 10}, {198, 18, 0, 11}, {198, 18, 0, 12}};
const std::vector<std::string> ThreeReceived{"198.18.0.10", "198.18.0.11", "198.18.0.12"};
const std::vector<Address> Unrouted{{198, 19, 128, 10}};
const std::string Routes = "Iface Destination Gateway Flags RefCnt Use Metric Mask\n"
                           "eth0 000012C6 00000000 0001 0 0 0 0000FFFF\n";

// The workstation 198.19.0.1/18 on eth0, and what its ARP capture saw.
const Address Workstation{198, 19, 0, 1};
const std::vector<Subnet> WorkstationSubnet{{Workstation, 18}};
WireArp Asks(Address sender, Address target = Workstation) {
    return {true, sender, target};
}
InterfaceDiscovery Arped(InterfaceDiscovery result, std::vector<WireArp> arp) {
    result.arp = std::move(arp);
    result.ownAddresses = {Workstation};
    return result;
}
DeliveryCauses WithSubnets(DeliveryCauses causes) {
    causes.subnets = WorkstationSubnet;
    return causes;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DiscoveryCheckTest,
    ::testing::Values(
        DiscoveryCase{"AllDelivered",
                      {"eth0", ThreeReceived, 0, 0, ThreeOnTheWire, 0, {}, {}, {}, {}},
                      {},
                      Verdict::Ok,
                      "3 on the wire, 3 delivered, from 198.18.0.10",
                      ""},
        DiscoveryCase{"FirewallDrops",
                      {"eth0", {}, 0, 0, ThreeOnTheWire, 0, {}, {}, {}, {}},
                      {{"inet filter input"}, {}, {}, {}, DefaultReplyPort},
                      Verdict::Problem,
                      "0 delivered, from 198.18.0.10, 198.18.0.11, 198.18.0.12, none dropped; "
                      "likely cause: the firewall: \"inet filter input\" drops them",
                      "let replies from UDP port 5001 in"},
        DiscoveryCase{"NoRouteBackWithLooseRpFilter",
                      {"eth0", {}, 0, 0, Unrouted, 0, {}, {}, {}, {}},
                      {{}, {{"eth0", 2}}, Routes, {}, DefaultReplyPort},
                      Verdict::Problem,
                      "rp_filter loose (2): the workstation has no route back to 198.19.128.10",
                      "rp_filter"},
        DiscoveryCase{"RoutedSendersAreNotBlamedOnRpFilter",
                      {"eth0", {}, 0, 0, ThreeOnTheWire, 0, {}, {}, {}, {}},
                      {{}, {{"eth0", 1}}, Routes, {}, DefaultReplyPort},
                      Verdict::Problem,
                      "none that the doctor can see",
                      "packet filters"},
        DiscoveryCase{"BufferOverflowed",
                      {"eth0", {"198.18.0.10"}, 0, 2, ThreeOnTheWire, 0, {}, {}, {}, {}},
                      {},
                      Verdict::Problem,
                      "2 datagrams dropped; likely cause: the receive buffer",
                      "receive buffer"},
        DiscoveryCase{"UnreadableRepliesWereDeliveredAndTheirSendersNamed",
                      {"eth0",
                       {"198.18.0.10"},
                       2,
                       0,
                       ThreeOnTheWire,
                       0,
                       {},
                       {},
                       {},
                       {},
                       {"2 replies could not be read: from 198.18.0.11, 198.18.0.12"}},
                      {},
                      Verdict::Ok,
                      "3 delivered, from 198.18.0.10, 198.18.0.11, 198.18.0.12, none dropped; 2 "
                      "replies could not be read: from 198.18.0.11",
                      ""},
        DiscoveryCase{
            "NotCaptured",
            {"eth0", ThreeReceived, 0, 0, std::nullopt, 0, "no right to capture", {}, {}, {}},
            {},
            Verdict::Ok,
            "3 replies from 198.18.0.10, 198.18.0.11, 198.18.0.12, "
            "none dropped (the wire was not captured: no right to capture",
            ""},
        DiscoveryCase{"NothingOnTheWire",
                      {"eth0", {}, 0, 0, std::vector<Address>{}, 0, {}, {}, {}, {}},
                      {},
                      Verdict::Problem,
                      "no reply reached eth0",
                      "the cable, the VLAN"},
        DiscoveryCase{"FactoryDevicesUnansweredUnderRpFilter",
                      Arped({"eth0", {}, 0, 0, std::vector<Address>{}, 0, {}, {}, {}, {}},
                            {Asks({198, 19, 128, 10}), Asks({198, 19, 128, 11}),
                             Asks({198, 19, 128, 10}), Asks({0, 0, 0, 0})}),
                      WithSubnets({{}, {{"eth0", 2}}, Routes, {}, DefaultReplyPort}),
                      Verdict::Problem,
                      "no reply reached eth0, none dropped; 2 devices asked for the workstation's "
                      "address by ARP and got no answer, so their replies never left them: "
                      "198.19.128.10, 198.19.128.11 (rp_filter loose (2) and no route back)",
                      "sudo ip route add 198.19.128.0/24 dev eth0, or turn rp_filter off"},
        DiscoveryCase{"FactoryDeviceOutsideEverySubnet",
                      Arped({"eth0", ThreeReceived, 0, 0, ThreeOnTheWire, 0, {}, {}, {}, {}},
                            {Asks({192, 168, 0, 10})}),
                      WithSubnets({{}, {{"eth0", 0}}, Routes, {}, DefaultReplyPort}),
                      Verdict::Problem,
                      "192.168.0.10 (an address outside every subnet of the workstation)",
                      "sudo ip route add 192.168.0.0/24 dev eth0"},
        DiscoveryCase{"AnsweredOrRepliedArpIsNoFault",
                      Arped({"eth0", ThreeReceived, 0, 0, ThreeOnTheWire, 0, {}, {}, {}, {}},
                            {Asks({198, 18, 0, 10}),
                             Asks({198, 19, 7, 7}),
                             {false, Workstation, {198, 19, 7, 7}},
                             Asks({198, 19, 128, 9}, {198, 19, 0, 2})}),
                      WithSubnets({{}, {{"eth0", 2}}, Routes, {}, DefaultReplyPort}), Verdict::Ok,
                      "3 on the wire, 3 delivered", ""}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
} // namespace tcpipset
