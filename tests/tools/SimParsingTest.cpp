#include "tools/tcpipsim/DeviceSpec.h"
#include "tools/tcpipsim/Faults.h"
#include "tools/tcpipsim/Ipv4.h"
#include "tools/tcpipsim/Mac.h"
#include "tools/tcpipsim/Options.h"
#include "tools/tcpipsim/Request.h"
#include "tools/tcpipsim/SimError.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace tcpipset::sim {
namespace {

Bytes B(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct DottedCase {
    const char* text;
    std::optional<std::uint32_t> value;
    friend void PrintTo(const DottedCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }
};

class DottedDecimal : public testing::TestWithParam<DottedCase> {};

TEST_P(DottedDecimal, ReadsDecimalPartsOnly) {
    const auto& c = GetParam();
    const auto parsed = ParseDottedDecimal(c.text);
    ASSERT_EQ(parsed.has_value(), c.value.has_value()) << c.text;
    if (parsed) {
        EXPECT_EQ(parsed->value, *c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DottedDecimal,
    testing::Values(DottedCase{"192.168.1.20", 0xC0A80114}, DottedCase{"0.0.0.0", 0},
                    DottedCase{"255.255.255.255", 0xFFFFFFFF},
                    DottedCase{"0192.168.001.020", 0xC0A80114},
                    DottedCase{"000000000255.0.0.0", 0xFF000000}, DottedCase{"256.1.1.1", {}},
                    DottedCase{"99999999999.0.0.0", {}}, DottedCase{"1.2.3", {}},
                    DottedCase{"1.2.3.4.", {}}, DottedCase{".1.2.3", {}}, DottedCase{"1..2.3", {}},
                    DottedCase{"1.2.3.4.5", {}}, DottedCase{" 1.2.3.4", {}},
                    DottedCase{"1.2.3.4 ", {}}, DottedCase{"+1.2.3.4", {}},
                    DottedCase{"0x1.2.3.4", {}}, DottedCase{"", {}}));

TEST(TestRanges, OnlyLoopbackAndTheBenchmarkRange) {
    const std::vector<std::pair<const char*, bool>> cases = {
        {"127.0.0.1", true},      {"127.255.255.255", true}, {"198.18.0.0", true},
        {"198.19.255.255", true}, {"198.17.255.255", false}, {"198.20.0.0", false},
        {"192.168.1.1", false},   {"10.0.0.1", false},       {"255.255.255.255", false},
        {"0.0.0.0", false},       {"128.0.0.1", false},
    };
    for (const auto& [text, inside] : cases) {
        EXPECT_EQ(InTestRanges(*ParseDottedDecimal(text)), inside) << text;
    }
}

TEST(MacText, SeparatorsAndCase) {
    const Mac expected{0x00, 0x80, 0x92, 0x1A, 0x2B, 0x3C};
    for (const char* text : {"00:80:92:1A:2B:3C", "0080921a2b3c", "00-80-92-1A-2B-3C"}) {
        EXPECT_EQ(ParseMac(text), expected) << text;
    }
    for (const char* text : {"0080921A2B3", "0080921A2B3CD", "00:80:92:1A:2B:3G", "", "00::80"}) {
        EXPECT_FALSE(ParseMac(text)) << text;
    }
    EXPECT_EQ(MacHex(expected), "0080921A2B3C");
    EXPECT_EQ(SelectorOf(expected), "1A2B3C");
    EXPECT_EQ(NextMac(Mac{2, 0, 0, 0, 0, 0xFF}), (Mac{2, 0, 0, 0, 1, 0}));
    EXPECT_EQ(NextMac(Mac{2, 0, 0xFF, 0xFF, 0xFF, 0xFF}), (Mac{2, 1, 0, 0, 0, 0}));
}

// The set request of the workstation for MAC line 0200000A1B2C, 192.168.1.20,
// 255.255.255.0 and 192.168.1.1, built by hand.
const Bytes SetHeader = B("PTN0A1B2CI");
const Bytes SetItems{0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01};

struct RequestCase {
    const char* name;
    Bytes datagram;
    RequestKind kind;
    const char* reasonOrIp;
    friend void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }
};

class RequestParsing : public testing::TestWithParam<RequestCase> {};

TEST_P(RequestParsing, KindAndReason) {
    const auto& c = GetParam();
    const Request r = ParseRequest(c.datagram);
    EXPECT_EQ(r.kind, c.kind);
    if (c.kind == RequestKind::Invalid) {
        EXPECT_EQ(r.reason, c.reasonOrIp);
    } else if (c.kind == RequestKind::Set || c.kind == RequestKind::Restart) {
        EXPECT_EQ(r.ip ? FormatDotted(*r.ip) : "none", c.reasonOrIp);
    } else {
        EXPECT_EQ(r.selector, c.reasonOrIp);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Datagrams, RequestParsing,
    testing::Values(
        RequestCase{"discovery", B("PTN000000J"), RequestKind::Discovery, "000000"},
        RequestCase{"query", B("PTN1A2B3CJ"), RequestKind::Query, "1A2B3C"},
        RequestCase{"query_lowercase_kept", B("PTN1a2b3cJ"), RequestKind::Query, "1a2b3c"},
        RequestCase{"byte_after_J", Cat(B("PTN000000J"), {0}), RequestKind::Invalid,
                    "bytes-after-J-header"},
        RequestCase{"short", B("PTN00000J"), RequestKind::Invalid, "shorter-than-header"},
        RequestCase{"empty", {}, RequestKind::Invalid, "shorter-than-header"},
        RequestCase{"magic", B("PTM000000J"), RequestKind::Invalid, "no-magic"},
        RequestCase{"command", B("PTN000000K"), RequestKind::Invalid, "unknown-command"},
        RequestCase{"set", Cat(Cat(Cat(SetHeader, B("192.168.1.20")), SetItems), {0xFF}),
                    RequestKind::Set, "192.168.1.20"},
        RequestCase{"restart",
                    Cat(Cat(Cat(SetHeader, B("192.168.1.20")), SetItems), {0x10, 1, 1, 0xFF}),
                    RequestKind::Restart, "192.168.1.20"},
        RequestCase{"leading_zeros",
                    Cat(Cat(Cat(SetHeader, B("0192.168.001.020")), SetItems), {0xFF}),
                    RequestKind::Set, "192.168.1.20"},
        RequestCase{"ip_text_not_an_address",
                    Cat(Cat(Cat(SetHeader, B("192.168.1")), SetItems), {0xFF}), RequestKind::Set,
                    "none"},
        RequestCase{"ip_text_empty", Cat(Cat(SetHeader, SetItems), {0xFF}), RequestKind::Set,
                    "none"},
        RequestCase{"no_end", Cat(Cat(SetHeader, B("1.2.3.4")), SetItems), RequestKind::Invalid,
                    "no-end-marker"},
        RequestCase{"after_end", Cat(Cat(Cat(SetHeader, B("1.2.3.4")), SetItems), {0xFF, 0}),
                    RequestKind::Invalid, "bytes-after-end-marker"},
        RequestCase{"no_mask", Cat(SetHeader, B("1.2.3.4")), RequestKind::Invalid, "no-mask-item"},
        RequestCase{"mask_length", Cat(Cat(SetHeader, B("1.2.3.4")), {1, 3, 255, 255, 0, 0xFF}),
                    RequestKind::Invalid, "bad-mask-item"},
        RequestCase{"no_gateway", Cat(Cat(SetHeader, B("1.2.3.4")), {1, 4, 255, 255, 255, 0, 0xFF}),
                    RequestKind::Invalid, "bad-gateway-item"},
        RequestCase{"restart_value",
                    Cat(Cat(Cat(SetHeader, B("1.2.3.4")), SetItems), {0x10, 1, 0, 0xFF}),
                    RequestKind::Invalid, "bad-restart-item"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RequestParsing, SetCarriesMaskAndGatewayBytes) {
    const Request r = ParseRequest(Cat(Cat(Cat(SetHeader, B("192.168.1.20")), SetItems), {0xFF}));
    EXPECT_EQ(r.selector, "0A1B2C");
    EXPECT_EQ(r.ipText, "192.168.1.20");
    EXPECT_EQ(r.mask, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0x00}));
    EXPECT_EQ(r.gateway, (std::array<std::uint8_t, 4>{0xC0, 0xA8, 0x01, 0x01}));
}

TEST(FaultWords, ScopeLimitsAWordToItsKinds) {
    FaultList faults;
    faults.Add("silent@query+set");
    faults.Add("delay=1500@discovery");
    faults.Add("twice");
    EXPECT_TRUE(faults.For(RequestKind::Query).silent);
    EXPECT_TRUE(faults.For(RequestKind::Set).silent);
    EXPECT_FALSE(faults.For(RequestKind::Restart).silent);
    EXPECT_FALSE(faults.For(RequestKind::Discovery).silent);
    EXPECT_EQ(faults.For(RequestKind::Discovery).delayMs, 1500);
    EXPECT_EQ(faults.For(RequestKind::Query).delayMs, 0);
    EXPECT_EQ(faults.For(RequestKind::Restart).copies, 2);
}

TEST(FaultWords, LaterWordWins) {
    FaultList faults;
    faults.Add("delay=100");
    faults.Add("delay=200@query");
    EXPECT_EQ(faults.For(RequestKind::Query).delayMs, 200);
    EXPECT_EQ(faults.For(RequestKind::Set).delayMs, 100);
}

TEST(FaultWords, BadWordsAreRefused) {
    for (const char* word : {"delay=abc", "delay=", "delay=-1", "delay=70000", "unknown",
                             "silent=1", "order=mask,foo", "silent@nothing", "silent@", "flood=0",
                             "flood=20000", "raw=ABC", "first-item=256", "long=0"}) {
        FaultList faults;
        EXPECT_THROW(faults.Add(word), SimError) << word;
    }
}

TEST(DeviceLine, FieldsAndFaults) {
    const DeviceConfig d =
        ParseDeviceLine("  00:80:92:1A:2B:3C\t198.18.0.10 255.255.255.0 198.18.0.1 delay=50");
    EXPECT_EQ(MacHex(d.mac), "0080921A2B3C");
    EXPECT_EQ(FormatDotted(d.ip), "198.18.0.10");
    EXPECT_EQ(FormatDotted(d.mask), "255.255.255.0");
    EXPECT_EQ(FormatDotted(d.gateway), "198.18.0.1");
    EXPECT_EQ(d.faults.For(RequestKind::Query).delayMs, 50);
    for (const char* bad : {"0080921A2B3C 198.18.0.10 255.255.255.0",
                            "0080921A2B3 198.18.0.10 255.255.255.0 198.18.0.1",
                            "0080921A2B3C 198.18.0 255.255.255.0 198.18.0.1",
                            "0080921A2B3C 198.18.0.10 255.255.255.0 198.18.0.1 nonsense"}) {
        EXPECT_THROW(ParseDeviceLine(bad), SimError) << bad;
    }
}

TEST(DeviceFile, CommentsBlankLinesAndTheLineOfAnError) {
    const std::string path = testing::TempDir() + "tcpipsim-devices.txt";
    {
        std::ofstream out(path);
        out << "# two devices\n\n020000000001 198.18.0.10 255.255.0.0 198.18.0.1 # first\n"
            << "   \n020000000002 198.18.0.11 255.255.0.0 198.18.0.1 twice\n";
    }
    const auto devices = ReadDeviceFile(path);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].faults.For(RequestKind::Query).copies, 2);
    {
        std::ofstream out(path);
        out << "020000000001 198.18.0.10 255.255.0.0 198.18.0.1\nbroken line\n";
    }
    try {
        ReadDeviceFile(path);
        ADD_FAILURE() << "no error";
    } catch (const SimError& e) {
        EXPECT_NE(std::string(e.what()).find(path + ":2:"), std::string::npos) << e.what();
    }
    std::remove(path.c_str());
}

TEST(CommandLine, GeneratedDevicesFollowTheGivenOnes) {
    const Options o =
        ParseOptions({"--device", "0A0000000001 198.18.5.5 255.255.255.0 198.18.5.1", "--count=3",
                      "--first-mac", "02:00:00:00:00:FF", "--first-ip", "198.18.0.254", "--faults",
                      "twice delay=5", "--spacing-us", "0", "--port=0", "--bind", "127.0.0.1",
                      "--burst", "--flood-on=query", "--flood-us", "0"});
    ASSERT_EQ(o.devices.size(), 4u);
    EXPECT_EQ(MacHex(o.devices[0].mac), "0A0000000001");
    EXPECT_TRUE(o.devices[0].faults.Empty());
    EXPECT_EQ(MacHex(o.devices[1].mac), "0200000000FF");
    EXPECT_EQ(MacHex(o.devices[2].mac), "020000000100");
    EXPECT_EQ(FormatDotted(o.devices[3].ip), "198.18.1.0");
    EXPECT_EQ(FormatDotted(o.devices[3].mask), "255.255.0.0");
    EXPECT_EQ(o.devices[3].faults.For(RequestKind::Discovery).copies, 2);
    EXPECT_EQ(o.devices[3].faults.For(RequestKind::Discovery).delayMs, 5);
    EXPECT_EQ(o.responder.spacing.count(), 0);
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(FormatDotted(o.bind), "127.0.0.1");
    EXPECT_TRUE(o.burst);
    EXPECT_EQ(o.floodOn, std::vector<RequestKind>{RequestKind::Query});
    EXPECT_EQ(o.floodGap.count(), 0);
}

TEST(CommandLine, Defaults) {
    const Options o = ParseOptions({});
    EXPECT_TRUE(o.devices.empty());
    EXPECT_EQ(o.port, 5001);
    EXPECT_EQ(FormatDotted(o.bind), "0.0.0.0");
    EXPECT_EQ(o.responder.spacing.count(), 300);
    EXPECT_EQ(o.responder.rebootMs, 2000);
    EXPECT_FALSE(o.burst);
    EXPECT_TRUE(o.floodOn.empty());
    EXPECT_EQ(o.floodGap.count(), 100);
}

TEST(CommandLine, FloodOnKinds) {
    using enum RequestKind;
    const std::vector<std::pair<const char*, std::vector<RequestKind>>> cases = {
        {"discovery", {Discovery}},
        {"restart", {Restart}},
        {"any", {Discovery, Query, Set, Restart}},
    };
    for (const auto& [text, kinds] : cases) {
        EXPECT_EQ(ParseOptions({"--count=1", "--flood-on", text}).floodOn, kinds) << text;
    }
}

// Among them: a flood needs a device to send from, and --flood-us needs a flood.
TEST(CommandLine, Refusals) {
    const std::vector<std::vector<std::string>> cases = {
        {"--count"},
        {"--count", "x"},
        {"--count", "-1"},
        {"--port", "65536"},
        {"--bogus"},
        {"--log="},
        {"--bind", "localhost"},
        {"--first-mac", "1"},
        {"--faults", "nope"},
        {"positional"},
        {"--flood-on", "sometimes", "--count=1"},
        {"--flood-on", "any"},
        {"--flood-us", "100"},
        {"--flood-on=any", "--flood-us", "1000001", "--count=1"},
        {"--flood-on=any", "--flood-us=-1", "--count=1"},
        {"--burst=yes"},
    };
    for (const auto& args : cases) {
        EXPECT_THROW(ParseOptions(args), SimError) << args[0];
    }
}

} // namespace
} // namespace tcpipset::sim
