#include "protocol/Requests.h"

#include "protocol/ParseInteger.h"

#include <gtest/gtest.h>
#include <string>

namespace tcpipset {
namespace {

Bytes Concat(std::initializer_list<Bytes> pieces) {
    Bytes out;
    for (const Bytes& piece : pieces) {
        out.insert(out.end(), piece.begin(), piece.end());
    }
    return out;
}

Bytes Ascii(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

const std::string Mac = "0200000A1B2C";
// "PTN" "0A1B2C" "I"
const Bytes SetHeader{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x49};
const Bytes MaskItem{0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00};
const Bytes GatewayItem{0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01};
const Bytes RestartItem{0x10, 0x01, 0x01};
const Bytes End{0xFF};

TEST(DiscoveryRequest, IsTheTenCharactersOfTheBroadcastSelector) {
    EXPECT_EQ(BuildDiscoveryRequest(),
              (Bytes{0x50, 0x54, 0x4E, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x4A}));
}

struct SelectorCase {
    std::string macLine;
    std::string selector;
};

void PrintTo(const SelectorCase& c, std::ostream* os) {
    *os << '"' << c.macLine << '"';
}

class DeviceSelectorTest : public testing::TestWithParam<SelectorCase> {};

TEST_P(DeviceSelectorTest, TakesCharactersSevenToTwelve) {
    const SelectorCase& c = GetParam();
    EXPECT_EQ(DeviceSelectorOf(c.macLine), c.selector);
    EXPECT_EQ(BuildQueryRequest(c.macLine), Concat({Ascii("PTN" + c.selector + "J")}));
}

INSTANTIATE_TEST_SUITE_P(Lines, DeviceSelectorTest,
                         testing::Values(SelectorCase{"0200000A1B2C", "0A1B2C"},
                                         SelectorCase{"0200000A1B2C0200000A1B2D", "0A1B2C"},
                                         SelectorCase{"0080921A2B3C", "1A2B3C"},
                                         SelectorCase{"0200000A1B", "0A1B"},
                                         SelectorCase{"0200000", "0"}, SelectorCase{"020000", ""},
                                         SelectorCase{"", ""}));

TEST(QueryRequest, MatchesTheGoldenBytes) {
    EXPECT_EQ(BuildQueryRequest(Mac),
              (Bytes{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x4A}));
}

struct SettingsCase {
    std::string name;
    std::string ip;
    std::string mask;
    std::string gateway;
    Bytes maskItem;
    Bytes gatewayItem;
};

void PrintTo(const SettingsCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsRequestTest : public testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsRequestTest, SetRequestIsHeaderTextItemsEnd) {
    const SettingsCase& c = GetParam();
    const Bytes set = BuildSetRequest(Mac, c.ip, c.mask, c.gateway);
    EXPECT_EQ(set, Concat({SetHeader, Ascii(c.ip), c.maskItem, c.gatewayItem, End}));
    EXPECT_EQ(set.size(), c.ip.size() + 23);
}

TEST_P(SettingsRequestTest, RestartRequestInsertsTheRestartItem) {
    const SettingsCase& c = GetParam();
    const Bytes restart = BuildRestartRequest(Mac, c.ip, c.mask, c.gateway);
    EXPECT_EQ(restart,
              Concat({SetHeader, Ascii(c.ip), c.maskItem, c.gatewayItem, RestartItem, End}));
    EXPECT_EQ(restart.size(), c.ip.size() + 26);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SettingsRequestTest,
    testing::Values(SettingsCase{"Typical", "192.168.1.20", "255.255.255.0", "192.168.1.1",
                                 MaskItem, GatewayItem},
                    SettingsCase{"FifteenCharacterIp", "192.168.001.020", "255.255.255.0",
                                 "192.168.1.1", MaskItem, GatewayItem},
                    SettingsCase{"GatewayModulo256",
                                 "10.0.0.2",
                                 "255.0.0.0",
                                 "300.1.1.1",
                                 {0x01, 0x04, 0xFF, 0x00, 0x00, 0x00},
                                 {0x02, 0x04, 0x2C, 0x01, 0x01, 0x01}},
                    SettingsCase{"NoGateway",
                                 "10.0.0.2",
                                 "255.255.255.0",
                                 "0.0.0.0",
                                 MaskItem,
                                 {0x02, 0x04, 0x00, 0x00, 0x00, 0x00}},
                    SettingsCase{"PastedHexAndNegative",
                                 "1.1.1.1",
                                 "$FF.x80.-1.0",
                                 " 192.168.1.1",
                                 {0x01, 0x04, 0xFF, 0x80, 0xFF, 0x00},
                                 GatewayItem},
                    // Far longer than any fixed request buffer would hold; it is sent whole.
                    SettingsCase{"LongIpText", "1.1.1." + std::string(194, '7'), "255.255.255.0",
                                 "192.168.1.1", MaskItem, GatewayItem},
                    SettingsCase{"EmptyIpText", "", "255.255.255.0", "192.168.1.1", MaskItem,
                                 GatewayItem}),
    [](const testing::TestParamInfo<SettingsCase>& tested) { return tested.param.name; });

TEST(SettingsRequest, TypicalRequestsMatchTheGoldenBytes) {
    const Bytes set{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x49, 0x31, 0x39,
                    0x32, 0x2E, 0x31, 0x36, 0x38, 0x2E, 0x31, 0x2E, 0x32, 0x30, 0x01, 0x04,
                    0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01, 0xFF};
    EXPECT_EQ(BuildSetRequest(Mac, "192.168.1.20", "255.255.255.0", "192.168.1.1"), set);

    Bytes restart(set.begin(), set.begin() + 34);
    restart.insert(restart.end(), {0x10, 0x01, 0x01, 0xFF});
    EXPECT_EQ(restart.size(), 38u);
    EXPECT_EQ(BuildRestartRequest(Mac, "192.168.1.20", "255.255.255.0", "192.168.1.1"), restart);
}

TEST(SettingsRequest, LongIpTextIsCarriedByteForByte) {
    const std::string ip(200, '9');
    const Bytes restart = BuildRestartRequest(Mac, ip, "255.255.255.0", "0.0.0.0");
    ASSERT_EQ(restart.size(), 226u);
    EXPECT_EQ(Bytes(restart.begin() + 10, restart.begin() + 210), Ascii(ip));
    EXPECT_EQ(restart.back(), ItemEnd);
}

struct BadFieldsCase {
    std::string mask;
    std::string gateway;
    std::string offendingText;
};

void PrintTo(const BadFieldsCase& c, std::ostream* os) {
    *os << "mask \"" << c.mask << "\" gateway \"" << c.gateway << '"';
}

class BadFieldsTest : public testing::TestWithParam<BadFieldsCase> {};

TEST_P(BadFieldsTest, BothBuildersRaiseForTheFirstBadPart) {
    const BadFieldsCase& c = GetParam();
    const std::string message = "'" + c.offendingText + "' is not an integer";
    for (auto build : {&BuildSetRequest, &BuildRestartRequest}) {
        try {
            build(Mac, "192.168.1.20", c.mask, c.gateway);
            ADD_FAILURE() << "no conversion error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), message);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BadFieldsTest,
    testing::Values(BadFieldsCase{"255.255.255.0", "192.168.1", ""},
                    BadFieldsCase{"255.255.255.0", "192..1.1", ""},
                    BadFieldsCase{"255.255.255.0", "1.1.1.1.1", "1.1"},
                    BadFieldsCase{"255.255.255.0", "1.1.1.4294967296", "4294967296"},
                    BadFieldsCase{"255.255.255.0", "", ""},
                    // The mask is converted first, so its fault is the one named.
                    BadFieldsCase{"255.255.x.0", "a.b.c.d", "x"},
                    BadFieldsCase{"255.255.255", "a.b.c.d", ""}));

struct BytesCase {
    std::string text;
    std::array<std::uint8_t, 4> bytes;
};

void PrintTo(const BytesCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class AddressTextToBytesTest : public testing::TestWithParam<BytesCase> {};

TEST_P(AddressTextToBytesTest, KeepsTheLowByteOfEachPart) {
    EXPECT_EQ(AddressTextToBytes(GetParam().text), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Texts, AddressTextToBytesTest,
                         testing::Values(BytesCase{"192.168.1.1", {192, 168, 1, 1}},
                                         BytesCase{"0.0.0.0", {0, 0, 0, 0}},
                                         BytesCase{"300.256.511.65535", {44, 0, 255, 255}},
                                         BytesCase{"-1.-256.$FFFFFFFF.0", {255, 0, 255, 0}},
                                         BytesCase{"0192.0168.0000.0001", {192, 168, 0, 1}}));

} // namespace
} // namespace tcpipset
