#include "tools/tcpipsim/DeviceSet.h"
#include "tools/tcpipsim/ReplyEncoder.h"
#include "tools/tcpipsim/RequestLog.h"

#include <gtest/gtest.h>
#include <string>

namespace tcpipset::sim {
namespace {

using std::chrono::milliseconds;

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Header "PTN1A2B3CJ", then mask, gateway, MAC and the end marker, as the workstation
// reads a reply item by item.
constexpr const char* Header = "50544E3141324233434A";
constexpr const char* MaskItem = "0104FFFFFF00";
constexpr const char* GatewayItem = "0204C0A80001";
constexpr const char* MacItem = "0A060080921A2B3C";

std::string H(std::initializer_list<const char*> parts) {
    std::string text;
    for (const char* part : parts) {
        text += part;
    }
    return text;
}

struct ShapeCase {
    const char* name;
    const char* fault;
    std::string hex;
    friend void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }
};

class ReplyBytes : public testing::TestWithParam<ShapeCase> {};

TEST_P(ReplyBytes, EveryByte) {
    const auto& c = GetParam();
    FaultList faults;
    if (*c.fault != '\0') {
        faults.Add(c.fault);
    }
    const ReplyValues values{{0x00, 0x80, 0x92, 0x1A, 0x2B, 0x3C},
                             Ipv4::FromParts(255, 255, 255, 0),
                             Ipv4::FromParts(192, 168, 0, 1),
                             'J'};
    EXPECT_EQ(HexBytes(EncodeReply(values, faults.For(RequestKind::Query).shape)), c.hex);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ReplyBytes,
    testing::Values(
        ShapeCase{"plain", "", H({Header, MaskItem, GatewayItem, MacItem, "FF"})},
        ShapeCase{"zero_first", "zero-first",
                  H({"00544E3141324233434A", MaskItem, GatewayItem, MacItem, "FF"})},
        ShapeCase{"first_type_0", "first-item=0",
                  H({Header, "0002AABB", MaskItem, GatewayItem, MacItem, "FF"})},
        ShapeCase{"first_end_marker", "first-item=255",
                  H({Header, "FF", MaskItem, GatewayItem, MacItem, "FF"})},
        ShapeCase{"type_14_after_mask", "extra-item=14",
                  H({Header, MaskItem, "0E02AABB", GatewayItem, MacItem, "FF"})},
        ShapeCase{"gateway_first", "gateway-first",
                  H({Header, GatewayItem, MaskItem, MacItem, "FF"})},
        ShapeCase{"mac_first", "mac-first", H({Header, MacItem, MaskItem, GatewayItem, "FF"})},
        ShapeCase{"two_macs", "order=mask,mac,mac", H({Header, MaskItem, MacItem, MacItem, "FF"})},
        ShapeCase{"no_items", "order=none", H({Header, "FF"})},
        ShapeCase{"no_end", "no-end", H({Header, MaskItem, GatewayItem, MacItem})},
        ShapeCase{"big_length", "big-length",
                  H({Header, MaskItem, GatewayItem, "0AFA0080921A2B3C", "FF"})},
        ShapeCase{"long", "long=40",
                  H({Header, MaskItem, GatewayItem, MacItem, "FF", "EEEEEEEEEEEEEEEEEE"})},
        ShapeCase{"long_shorter_than_reply", "long=5",
                  H({Header, MaskItem, GatewayItem, MacItem, "FF"})},
        ShapeCase{"empty", "empty", ""}, ShapeCase{"raw", "raw=01 02 ff", "0102FF"}),
    [](const auto& param) { return std::string(param.param.name); });

Bytes Query(const char* selector) {
    return Cat(Cat(B("PTN"), B(selector)), B("J"));
}

Bytes Set(const char* selector, const char* ip, bool restart) {
    Bytes d = Cat(Cat(Cat(B("PTN"), B(selector)), B("I")), B(ip));
    d = Cat(d, {1, 4, 255, 255, 255, 0, 2, 4, 198, 18, 9, 1});
    if (restart) {
        d = Cat(d, {0x10, 1, 1});
    }
    d.push_back(0xFF);
    return d;
}

class Devices : public testing::Test {
protected:
    DeviceSet Make(std::vector<std::string> faultsPerDevice, int rebootMs = 1000) {
        GeneratedDevices generated;
        generated.count = static_cast<int>(faultsPerDevice.size());
        auto devices = GenerateDevices(generated);
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (!faultsPerDevice[i].empty()) {
                devices[i].faults.Add(faultsPerDevice[i]);
            }
        }
        return DeviceSet(std::move(devices),
                         ResponderSettings{std::chrono::microseconds(500), rebootMs});
    }
    const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);
};

TEST_F(Devices, DiscoveryIsAnsweredByAllInTurnFromTheirAddresses) {
    DeviceSet set = Make({"", "silent", "", ""});
    const Handling h = set.Handle(B("PTN000000J"), t0);
    EXPECT_EQ(h.matched.size(), 4u);
    ASSERT_EQ(h.replies.size(), 3u);
    // The silent device takes no turn, so the spacing stays even.
    const std::vector<std::pair<std::size_t, const char*>> expected = {
        {0, "198.18.0.10"}, {2, "198.18.0.12"}, {3, "198.18.0.13"}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(h.replies[k].device, expected[k].first);
        EXPECT_EQ(FormatDotted(h.replies[k].source), expected[k].second);
        EXPECT_EQ(h.replies[k].at, t0 + std::chrono::microseconds(500) * static_cast<long>(k));
        EXPECT_EQ(h.replies[k].bytes[9], 'J');
    }
}

TEST_F(Devices, QueryIsAnsweredByEveryDeviceWithThatSelectorOnly) {
    DeviceSet set = Make({"", "", ""});
    EXPECT_EQ(set.Handle(Query("000002"), t0).replies.size(), 1u);
    EXPECT_TRUE(set.Handle(Query("000004"), t0).matched.empty());
    EXPECT_TRUE(set.Handle(B("PTN000002J "), t0).matched.empty());
}

TEST_F(Devices, SetMovesTheDeviceAndTheReplyCarriesTheNewValues) {
    DeviceSet set = Make({"", ""});
    const Handling h = set.Handle(Set("000002", "198.018.009.020", false), t0);
    ASSERT_EQ(h.replies.size(), 1u);
    EXPECT_EQ(FormatDotted(h.replies[0].source), "198.18.9.20");
    EXPECT_EQ(HexBytes(h.replies[0].bytes), "50544E30303030303249"
                                            "0104FFFFFF00"
                                            "0204C6120901"
                                            "0A06020000000002"
                                            "FF");
    EXPECT_EQ(FormatDotted(set.State(1).ip), "198.18.9.20");
    EXPECT_EQ(FormatDotted(set.State(0).ip), "198.18.0.10");
    EXPECT_EQ(FormatDotted(set.Handle(Query("000002"), t0).replies.at(0).source), "198.18.9.20");
}

TEST_F(Devices, SetWithAnUnreadableIpTextIsIgnored) {
    DeviceSet set = Make({""});
    for (const char* ip : {"198.18.9", "198.18.9.256", "", "198.18.9.20.1", "198.18.9.x"}) {
        const Handling h = set.Handle(Set("000001", ip, false), t0);
        EXPECT_EQ(h.matched.size(), 1u) << ip;
        EXPECT_TRUE(h.replies.empty()) << ip;
        EXPECT_EQ(h.notes, std::vector<std::string>{"020000000001:bad-ip-text"}) << ip;
        EXPECT_EQ(FormatDotted(set.State(0).ip), "198.18.0.10") << ip;
    }
}

TEST_F(Devices, RestartAnswersThenStaysQuietForTheReboot) {
    DeviceSet set = Make({"", "reboot=300"}, 1000);
    EXPECT_EQ(set.Handle(Set("000001", "198.18.9.1", true), t0).replies.size(), 1u);
    EXPECT_EQ(set.Handle(Set("000002", "198.18.9.2", true), t0).replies.size(), 1u);
    const Handling during = set.Handle(Query("000001"), t0 + milliseconds(999));
    EXPECT_TRUE(during.replies.empty());
    EXPECT_EQ(during.notes, std::vector<std::string>{"020000000001:rebooting"});
    EXPECT_EQ(set.Handle(Query("000001"), t0 + milliseconds(1001)).replies.size(), 1u);
    EXPECT_EQ(set.Handle(Query("000002"), t0 + milliseconds(301)).replies.size(), 1u);
}

TEST_F(Devices, AddressFaultsOfASet) {
    DeviceSet set = Make({"old-address", "ignore-set"});
    const Handling old = set.Handle(Set("000001", "198.18.9.1", false), t0);
    EXPECT_EQ(FormatDotted(old.replies.at(0).source), "198.18.0.10");
    EXPECT_EQ(old.replies[0].bytes[14], 0xFF); // the new mask 255.255.255.0
    EXPECT_EQ(FormatDotted(set.State(0).ip), "198.18.9.1");
    const Handling ignored = set.Handle(Set("000002", "198.18.9.2", false), t0);
    EXPECT_EQ(FormatDotted(ignored.replies.at(0).source), "198.18.0.11");
    EXPECT_EQ(ignored.replies[0].bytes[14], 0x00); // still 255.255.0.0
    EXPECT_EQ(FormatDotted(set.State(1).ip), "198.18.0.11");
}

TEST_F(Devices, TimingFaults) {
    DeviceSet set = Make({"delay=1500", "copies=3", "flood=200"});
    EXPECT_EQ(set.Handle(Query("000001"), t0).replies.at(0).at, t0 + milliseconds(1500));
    EXPECT_EQ(set.Handle(Query("000002"), t0).replies.size(), 3u);
    const Handling flood = set.Handle(Query("000003"), t0);
    ASSERT_EQ(flood.replies.size(), 1u);
    EXPECT_EQ(flood.replies[0].repeatUntil, t0 + milliseconds(200));
    EXPECT_EQ(flood.replies[0].repeatEvery, std::chrono::microseconds(1000));
}

TEST(RequestLogLine, NamesTheMatchedDevicesAndTheBytes) {
    GeneratedDevices generated;
    generated.count = 20;
    DeviceSet set(GenerateDevices(generated), {});
    const Bytes request = B("PTN000000J");
    const std::string line =
        FormatRxLine(1.5, Endpoint{Ipv4::FromParts(198, 19, 0, 1), 40000},
                     Ipv4::FromParts(255, 255, 255, 255), request, set.Handle(request, {}), set);
    EXPECT_EQ(line.rfind("t=1.500 rx from=198.19.0.1:40000 to=255.255.255.255 len=10 "
                         "kind=discovery matched=20 devices=020000000001,020000000002,",
                         0),
              0u)
        << line;
    EXPECT_NE(line.find(",020000000010,+4 bytes=50544E3030303030304A"), std::string::npos) << line;
    const Bytes junk{0x00, 0x01};
    EXPECT_EQ(FormatRxLine(0, {}, {}, junk, set.Handle(junk, {}), set),
              "t=0.000 rx from=0.0.0.0:0 to=0.0.0.0 len=2 kind=invalid matched=0 "
              "reason=shorter-than-header bytes=0001");
}

} // namespace
} // namespace tcpipset::sim
