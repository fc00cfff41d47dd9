// Runs inside tools/testnet: the workstation's namespace, tcpipsim across a veth.
// Each case is one ctest case, started with the simulator options it needs.
#include "tests/tools/UdpProbe.h"

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>

namespace tcpipset::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* LimitedBroadcast = "255.255.255.255";
constexpr std::uint16_t DevicePort = 5001;

// Header of a reply of generated device n to a request with this command letter.
std::string ReplyHeaderHex(int n, char command) {
    char selector[7];
    std::snprintf(selector, sizeof selector, "%06d", n);
    return Hex(Bytes{'P', 'T', 'N'}) + Hex(Bytes(selector, selector + 6)) +
           Hex(Bytes{static_cast<std::uint8_t>(command)});
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

class Segment : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = Env("TESTNET_SIM_LOG");
        if (log_.empty()) {
            GTEST_SKIP() << "not inside tools/testnet (TESTNET_SIM_LOG is not set)";
        }
    }
    std::vector<Datagram> Ask(const Bytes& request, std::chrono::milliseconds quiet = 1000ms,
                              const std::string& to = LimitedBroadcast) {
        probe_.Send(request, to, DevicePort);
        return probe_.ReceiveUntilQuiet(quiet, 20s);
    }
    UdpProbe probe_;
    std::string log_;
};

TEST_F(Segment, DiscoveryOfThreeDevices) {
    const auto replies = Ask(DiscoveryRequest());
    ASSERT_EQ(replies.size(), 3u);
    for (int n = 1; n <= 3; ++n) {
        const Datagram& d = replies[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(d.from, "198.18.0." + std::to_string(9 + n));
        EXPECT_EQ(d.port, DevicePort);
        EXPECT_EQ(Hex(d.bytes), ReplyHeaderHex(n, 'J') + "0104FFFF0000" + "0204C6120001" +
                                    "0A0602000000000" + std::to_string(n) + "FF");
    }
    const auto lines = LogLines(log_, " rx ", 1, 2s);
    ASSERT_EQ(lines.size(), 1u);
    const std::string from = "from=198.19.0.1:" + std::to_string(probe_.LocalPort());
    for (const std::string& part :
         {from, std::string("to=255.255.255.255"), std::string("len=10 kind=discovery"),
          std::string("matched=3 devices=020000000001,020000000002,020000000003"),
          std::string("bytes=50544E3030303030304A")}) {
        EXPECT_NE(lines[0].find(part), std::string::npos) << part << " in " << lines[0];
    }
}

TEST_F(Segment, DirectedBroadcastReachesEveryDevice) {
    EXPECT_EQ(Ask(DiscoveryRequest(), 1000ms, Env("TESTNET_BROADCAST")).size(), 3u);
    EXPECT_EQ(LogLines(log_, "to=" + Env("TESTNET_BROADCAST") + " ", 1, 2s).size(), 1u);
}

TEST_F(Segment, NoDeviceNoAnswer) {
    EXPECT_TRUE(Ask(DiscoveryRequest()).empty());
    EXPECT_EQ(LogLines(log_, "kind=discovery matched=0 ", 1, 2s).size(), 1u);
}

TEST_F(Segment, QueryIsAnsweredByTheSelectedDeviceOnly) {
    const auto replies = Ask(QueryRequest("000002"));
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].from, "198.18.0.11");
    EXPECT_EQ(Hex(replies[0].bytes).substr(0, 20), ReplyHeaderHex(2, 'J'));
    EXPECT_TRUE(Ask(QueryRequest("00000X"), 600ms).empty());
    EXPECT_EQ(LogLines(log_, "kind=query matched=0 ", 1, 2s).size(), 1u);
}

TEST_F(Segment, SetMovesTheDeviceAndItAnswersFromTheNewAddress) {
    const auto set =
        Ask(SetRequest("000002", "198.18.1.20", {255, 255, 255, 0}, {198, 18, 1, 1}, false));
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].from, "198.18.1.20");
    EXPECT_EQ(Hex(set[0].bytes),
              ReplyHeaderHex(2, 'I') + "0104FFFFFF00" + "0204C6120101" + "0A06020000000002FF");
    const auto discovery = Ask(DiscoveryRequest());
    std::set<std::string> sources;
    for (const auto& d : discovery) {
        sources.insert(d.from);
    }
    EXPECT_EQ(sources, (std::set<std::string>{"198.18.0.10", "198.18.1.20", "198.18.0.12"}));
    const auto lines = LogLines(log_, "kind=set matched=1 devices=020000000002 ", 1, 2s);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("bytes=" + Hex(SetRequest("000002", "198.18.1.20", {255, 255, 255, 0},
                                                      {198, 18, 1, 1}, false))),
              std::string::npos);
}

TEST_F(Segment, SetReadsLeadingZerosAsDecimal) {
    const auto set =
        Ask(SetRequest("000001", "0198.018.001.020", {255, 255, 255, 0}, {198, 18, 1, 1}, false));
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0].from, "198.18.1.20");
}

TEST_F(Segment, SetWithAnUnreadableIpTextIsIgnored) {
    const std::vector<std::string> texts = {"198.18.1", "198.18.1.256", "198.18.1.20.5", ""};
    for (const auto& text : texts) {
        EXPECT_TRUE(
            Ask(SetRequest("000001", text, {255, 255, 255, 0}, {198, 18, 1, 1}, false), 600ms)
                .empty())
            << text;
    }
    EXPECT_EQ(LogLines(log_, "notes=020000000001:bad-ip-text ", texts.size(), 2s).size(),
              texts.size());
    const auto query = Ask(QueryRequest("000001"));
    ASSERT_EQ(query.size(), 1u);
    EXPECT_EQ(query[0].from, "198.18.0.10");
}

// Started with --reboot-ms 1500.
TEST_F(Segment, RestartAnswersThenStaysSilentForItsReboot) {
    const auto restart =
        Ask(SetRequest("000001", "198.18.4.1", {255, 255, 255, 0}, {198, 18, 4, 254}, true), 300ms);
    ASSERT_EQ(restart.size(), 1u);
    EXPECT_EQ(restart[0].from, "198.18.4.1");
    EXPECT_EQ(Hex(restart[0].bytes).substr(20, 24), "0104FFFFFF00"
                                                    "0204C61204FE");
    EXPECT_TRUE(Ask(QueryRequest("000001"), 600ms).empty());
    EXPECT_EQ(LogLines(log_, "notes=020000000001:rebooting ", 1, 2s).size(), 1u);
    std::this_thread::sleep_until(restart[0].at + 2200ms);
    const auto after = Ask(QueryRequest("000001"));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].from, "198.18.4.1");
}

// Started with 1000 devices. Reads as promptly as it can, with the default receive
// buffer, as the workstation does.
TEST_F(Segment, ThousandDevicesAllAnswerOneDiscovery) {
    const auto start = TestClock::now();
    const auto replies = Ask(DiscoveryRequest());
    std::set<std::string> macs;
    int misplaced = 0;
    for (const auto& d : replies) {
        ASSERT_EQ(d.bytes.size(), 31u);
        const Bytes mac(d.bytes.begin() + 24, d.bytes.begin() + 30);
        macs.insert(Hex(mac));
        const int n = mac[4] * 256 + mac[5];
        const int host = 10 + n - 1;
        misplaced +=
            d.from != "198.18." + std::to_string(host / 256) + "." + std::to_string(host % 256);
    }
    EXPECT_EQ(replies.size(), 1000u);
    EXPECT_EQ(macs.size(), 1000u);
    EXPECT_EQ(misplaced, 0);
    if (!replies.empty()) {
        const auto spread = std::chrono::duration_cast<std::chrono::milliseconds>(
            replies.back().at - replies.front().at);
        const auto first =
            std::chrono::duration_cast<std::chrono::milliseconds>(replies.front().at - start);
        RecordProperty("first_reply_ms", static_cast<int>(first.count()));
        RecordProperty("spread_ms", static_cast<int>(spread.count()));
        std::printf("1000 replies: first after %lld ms, spread over %lld ms\n",
                    static_cast<long long>(first.count()), static_cast<long long>(spread.count()));
    }
    EXPECT_EQ(LogLines(log_, "kind=discovery matched=1000 ", 1, 2s).size(), 1u);
}

// The fault cases, against the devices of fault-devices.txt: device n is picked by
// F000nn and lives at 198.18.2.n.
struct FaultCase {
    const char* name;
    int device;
    std::function<void(UdpProbe&, const std::string& selector, const std::string& address)> check;
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<Datagram> Query(UdpProbe& probe, const std::string& selector,
                            std::chrono::milliseconds quiet = 1000ms) {
    probe.Send(QueryRequest(selector), LimitedBroadcast, DevicePort);
    return probe.ReceiveUntilQuiet(quiet, 20s);
}

std::vector<Datagram> SetTo(UdpProbe& probe, const std::string& selector, const std::string& ip) {
    probe.Send(SetRequest(selector, ip, {255, 255, 255, 0}, {198, 18, 3, 1}, false),
               LimitedBroadcast, DevicePort);
    return probe.ReceiveUntilQuiet(1000ms, 20s);
}

// The well-formed reply of fault device n after the header, as far as it goes.
std::string ItemsHex(int n) {
    char mac[3];
    std::snprintf(mac, sizeof mac, "%02d", n);
    return std::string("0104FFFF0000") + "0204C6120001" + "0A06020000F000" + mac;
}

// One reply, from the device's own address; returns its bytes as hexadecimal.
std::string OneReplyHex(const std::vector<Datagram>& replies, const std::string& address) {
    EXPECT_EQ(replies.size(), 1u);
    if (replies.empty()) {
        return {};
    }
    EXPECT_EQ(replies[0].from, address);
    return Hex(replies[0].bytes);
}

class DeviceFault : public Segment, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DeviceFault, Shows) {
    char selector[7];
    std::snprintf(selector, sizeof selector, "F000%02d", GetParam().device);
    GetParam().check(probe_, selector, "198.18.2." + std::to_string(GetParam().device));
}

const FaultCase FaultCases[] = {
    {"silent", 1, [](auto& p, auto& s, auto&) { EXPECT_TRUE(Query(p, s, 1500ms).empty()); }},
    {"delay", 2,
     [](auto& p, auto& s, auto& a) {
         const auto sent = TestClock::now();
         EXPECT_TRUE(Query(p, s, 1100ms).empty());
         const auto late = p.Receive(3000ms);
         ASSERT_TRUE(late);
         EXPECT_EQ(late->from, a);
         EXPECT_GE(late->at - sent, 1400ms);
     }},
    {"twice", 3,
     [](auto& p, auto& s, auto& a) {
         const auto replies = Query(p, s);
         ASSERT_EQ(replies.size(), 2u);
         EXPECT_EQ(replies[0].bytes, replies[1].bytes);
         EXPECT_EQ(replies[1].from, a);
     }},
    {"long_120", 4,
     [](auto& p, auto& s, auto& a) {
         const std::string hex = OneReplyHex(Query(p, s), a);
         EXPECT_EQ(hex.size(), 240u);
         EXPECT_EQ(hex.substr(20, 43), ItemsHex(4) + "FF" + "E");
     }},
    {"long_80", 5,
     [](auto& p, auto& s, auto& a) { EXPECT_EQ(OneReplyHex(Query(p, s), a).size(), 160u); }},
    {"zero_first", 6,
     [](auto& p, auto& s, auto& a) {
         const std::string hex = OneReplyHex(Query(p, s), a);
         EXPECT_EQ(hex.substr(0, 2), "00");
         EXPECT_EQ(hex.substr(20), ItemsHex(6) + "FF");
     }},
    {"type_0_first", 7,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20), "0002AABB" + ItemsHex(7) + "FF");
     }},
    {"type_14_after_mask", 8,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20, 20), "0104FFFF0000"
                                                               "0E02AABB");
     }},
    {"end_marker_first", 9,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20), "FF" + ItemsHex(9) + "FF");
     }},
    {"no_end_marker", 10,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20), ItemsHex(10));
     }},
    {"gateway_first", 11,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20, 24), "0204C6120001"
                                                               "0104FFFF0000");
     }},
    {"large_length_near_the_end", 12,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(44), "0AFA020000F00012FF");
     }},
    {"empty_datagram", 13,
     [](auto& p, auto& s, auto& a) { EXPECT_EQ(OneReplyHex(Query(p, s), a), ""); }},
    {"old_address_after_a_set", 14,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(SetTo(p, s, "198.18.3.14"), a).substr(20, 24), "0104FFFFFF00"
                                                                              "0204C6120301");
         EXPECT_EQ(OneReplyHex(Query(p, s), "198.18.3.14").substr(20, 12), "0104FFFFFF00");
     }},
    {"flood", 15,
     [](auto& p, auto& s, auto& a) {
         const auto sent = TestClock::now();
         const auto replies = Query(p, s, 500ms);
         ASSERT_GE(replies.size(), 50u);
         EXPECT_EQ(replies.back().from, a);
         EXPECT_GE(replies.back().at - replies.front().at, 300ms);
         EXPECT_LT(replies.back().at - sent, 1500ms) << "the flood did not end";
     }},
    {"ignore_set", 16,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(SetTo(p, s, "198.18.3.16"), a).substr(20, 12), "0104FFFF0000");
         OneReplyHex(Query(p, s), a);
     }},
    {"silent_to_queries_only", 17,
     [](auto& p, auto& s, auto& a) {
         EXPECT_TRUE(Query(p, s).empty());
         p.Send(DiscoveryRequest(), LimitedBroadcast, DevicePort);
         int fromDevice = 0;
         for (const auto& d : p.ReceiveUntilQuiet(1000ms, 20s)) {
             fromDevice += d.from == a;
         }
         EXPECT_EQ(fromDevice, 1);
     }},
    {"mac_first", 18,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(20, 16), "0A06020000F00018");
     }},
    {"two_mac_items", 19,
     [](auto& p, auto& s, auto& a) {
         EXPECT_EQ(OneReplyHex(Query(p, s), a).substr(44), "0A06020000F00019"
                                                           "0A06020000F00019"
                                                           "FF");
     }},
};

INSTANTIATE_TEST_SUITE_P(Faults, DeviceFault, ::testing::ValuesIn(FaultCases),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace tcpipset::testing
