#include "protocol/ReplyWalk.h"

#include "protocol/Requests.h"

#include <gtest/gtest.h>
#include <string>

namespace tcpipset {
namespace {

const Bytes Header{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x4A};
const Bytes Mask{0x01, 0x04, 0xFF, 0xFF, 0xFF, 0x00};
const Bytes Gateway{0x02, 0x04, 0xC0, 0xA8, 0x01, 0x01};
const Bytes Mac{0x0A, 0x06, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x2C};
const Bytes End{0xFF};

// A skipped item whose step lands the next type byte at the given offset, when this one
// stands at `at`; it lets a case put an item right at the end of the buffer.
Bytes SkipTo(std::size_t at, std::size_t nextAt) {
    Bytes item{0x03, static_cast<std::uint8_t>(nextAt - at - 2)};
    item.resize(nextAt - at, 0x11);
    return item;
}

struct WalkCase {
    std::string name;
    std::vector<Bytes> items; // after the header, from offset 10 on
    std::size_t bufferSize;
    WalkOutcome macOutcome; // with ReplyUse::MacAddresses
    std::string macText;
    WalkOutcome settingsOutcome; // with ReplyUse::Settings
    std::string maskText;
    std::string gatewayText;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << c.name;
}

// The receive buffer as an operation holds it: zero past the datagram.
Bytes ReplyBufferOf(const WalkCase& c) {
    Bytes buffer = Header;
    for (const Bytes& item : c.items) {
        buffer.insert(buffer.end(), item.begin(), item.end());
    }
    EXPECT_LE(buffer.size(), c.bufferSize) << "case does not fit its buffer";
    buffer.resize(c.bufferSize, 0);
    return buffer;
}

class WalkReplyItemsTest : public testing::TestWithParam<WalkCase> {};

TEST_P(WalkReplyItemsTest, DiscoveryReadsOnlyMacItems) {
    const WalkCase& c = GetParam();
    const Bytes buffer = ReplyBufferOf(c);
    ReplyTexts texts;
    EXPECT_EQ(WalkReplyItems(buffer, ReplyUse::MacAddresses, texts), c.macOutcome);
    EXPECT_EQ(texts.MacText, c.macText);
    EXPECT_EQ(texts.MaskText, "");
    EXPECT_EQ(texts.GatewayText, "");
}

TEST_P(WalkReplyItemsTest, QueryAndSetReadOnlyMaskAndGatewayItems) {
    const WalkCase& c = GetParam();
    const Bytes buffer = ReplyBufferOf(c);
    ReplyTexts texts;
    EXPECT_EQ(WalkReplyItems(buffer, ReplyUse::Settings, texts), c.settingsOutcome);
    EXPECT_EQ(texts.MacText, "");
    EXPECT_EQ(texts.MaskText, c.maskText);
    EXPECT_EQ(texts.GatewayText, c.gatewayText);
}

constexpr auto Complete = WalkOutcome::Complete;
constexpr auto Abort = WalkOutcome::Abort;
constexpr std::size_t Discovery = DiscoveryReplyBufferSize;
constexpr std::size_t Device = DeviceReplyBufferSize;

INSTANTIATE_TEST_SUITE_P(
    Replies, WalkReplyItemsTest,
    testing::Values(
        WalkCase{"MaskGatewayMac",
                 {Mask, Gateway, Mac, End},
                 Device,
                 Complete,
                 "0200000A1B2C",
                 Complete,
                 "255.255.255.0.",
                 "192.168.1.1."},
        WalkCase{"SameInDiscoveryBuffer",
                 {Mask, Gateway, Mac, End},
                 Discovery,
                 Complete,
                 "0200000A1B2C",
                 Complete,
                 "255.255.255.0.",
                 "192.168.1.1."},
        WalkCase{"EndMarkerFirst", {End}, Device, Abort, "", Abort, "", ""},
        WalkCase{"HeaderOnly", {}, Device, Abort, "", Abort, "", ""},
        WalkCase{"TypeSevenSkipped",
                 {Mask, {0x07, 0x03, 0x01, 0x02, 0x03}, {0x02, 0x04, 0x0A, 0x00, 0x00, 0x01}, End},
                 Device,
                 Complete,
                 "",
                 Complete,
                 "255.255.255.0.",
                 "10.0.0.1."},
        WalkCase{"TypeThirteenSkipped",
                 {Mask, {0x0D, 0x02, 0xAA, 0xBB}, End},
                 Device,
                 Complete,
                 "",
                 Complete,
                 "255.255.255.0.",
                 ""},
        WalkCase{"TypeFourteenAborts",
                 {Mask, {0x0E, 0x02, 0xAA, 0xBB}, End},
                 Device,
                 Abort,
                 "",
                 Abort,
                 "255.255.255.0.",
                 ""},
        WalkCase{"TypeZeroAborts",
                 {Mask, {0x00, 0x00, 0xFF}},
                 Device,
                 Abort,
                 "",
                 Abort,
                 "255.255.255.0.",
                 ""},
        WalkCase{"NoEndMarker",
                 {Mask, Gateway},
                 Device,
                 Abort,
                 "",
                 Abort,
                 "255.255.255.0.",
                 "192.168.1.1."},
        WalkCase{"TwoMacItems",
                 {Mask, Mac, {0x0A, 0x06, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x2D}, End},
                 Discovery,
                 Complete,
                 "0200000A1B2C0200000A1B2D",
                 Complete,
                 "255.255.255.0.",
                 ""},
        WalkCase{"LongMacItem",
                 {Mask, {0x0A, 0x08, 0x02, 0x00, 0x00, 0x0A, 0x1B, 0x2C, 0xAA, 0xBB}, End},
                 Discovery,
                 Complete,
                 "0200000A1B2C",
                 Complete,
                 "255.255.255.0.",
                 ""},
        WalkCase{"ShortMaskLength",
                 {{0x01, 0x02, 0xFF, 0xFF, 0xFF, 0x00, 0xFF}},
                 Device,
                 Complete,
                 "",
                 Complete,
                 "255.255.255.0.",
                 ""},
        WalkCase{"MacItemFirst", {Mac, End}, Discovery, Abort, "060200000A1B", Abort, "", ""},
        WalkCase{
            "GatewayItemFirst", {Gateway, Mask, End}, Device, Abort, "", Abort, "", "4.192.168.1."},
        WalkCase{"MaskOnly", {Mask, End}, Device, Complete, "", Complete, "255.255.255.0.", ""},
        WalkCase{"TwoMaskItems",
                 {Mask, Gateway, {0x01, 0x00, 0x04, 0xFF}, End},
                 Device,
                 Abort,
                 "",
                 Abort,
                 "255.255.255.0.255.255.0.0.",
                 "192.168.1.1."}),
    [](const testing::TestParamInfo<WalkCase>& tested) { return tested.param.name; });

// Cases where the walk would step or read past the buffer: it stops with Abort there.
INSTANTIATE_TEST_SUITE_P(
    BufferEdges, WalkReplyItemsTest,
    testing::Values(WalkCase{"LargeLengthNearEnd",
                             {Mask, {0x0B, 0xFF}},
                             Discovery,
                             Abort,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"LargeMaskLength",
                             {{0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}},
                             Device,
                             Abort,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"LengthByteOutside",
                             {Mask, SkipTo(16, 69), {0x05}},
                             Discovery,
                             Abort,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"EndMarkerInLastByte",
                             {Mask, SkipTo(16, 69), End},
                             Discovery,
                             Complete,
                             "",
                             Complete,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"LastDeviceByteIsAlwaysZero",
                             {Mask, SkipTo(16, 100)},
                             Device,
                             Abort,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    // Its length byte is still inside, so only the use that reads its value stops.
                    WalkCase{"LaterMaskValuePastEnd",
                             {Mask, SkipTo(16, 66), {0x01, 0x04, 0x00, 0xFF}},
                             Discovery,
                             Complete,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"LaterMaskLengthPastEnd",
                             {Mask, SkipTo(16, 68), {0x01, 0x04}},
                             Discovery,
                             Abort,
                             "",
                             Abort,
                             "255.255.255.0.",
                             ""},
                    WalkCase{"LastMacItemRunsOffEnd",
                             {Mask, Mac, SkipTo(24, 64), {0x0A, 0x01, 0x02, 0xFF, 0x00, 0x0A}},
                             Discovery,
                             Abort,
                             "0200000A1B2C",
                             Complete,
                             "255.255.255.0.",
                             ""},
                    WalkCase{
                        "TruncatedDiscoveryDatagram",
                        {Mask, Mac, Mac, Mac, Mac, Mac, Mac, {0x0A, 0x06, 0x02, 0x00, 0x00, 0x0A}},
                        Discovery,
                        Abort,
                        "0200000A1B2C0200000A1B2C0200000A1B2C0200000A1B2C0200000A1B2C0200000A1B2C",
                        Abort,
                        "255.255.255.0.",
                        ""}),
    [](const testing::TestParamInfo<WalkCase>& tested) { return tested.param.name; });

struct ShortCase {
    const char* name;
    Bytes buffer;
};

void PrintTo(const ShortCase& c, std::ostream* os) {
    *os << c.name;
}

class ShortBufferTest : public testing::TestWithParam<ShortCase> {};

TEST_P(ShortBufferTest, EndsWithAbortWithoutReadingPastIt) {
    for (ReplyUse use : {ReplyUse::MacAddresses, ReplyUse::Settings}) {
        ReplyTexts texts;
        EXPECT_EQ(WalkReplyItems(GetParam().buffer, use, texts), WalkOutcome::Abort);
        EXPECT_EQ(texts.MacText + texts.MaskText + texts.GatewayText, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Spans, ShortBufferTest,
    testing::Values(ShortCase{"Empty", Bytes{}}, ShortCase{"HeaderOnly", Header},
                    ShortCase{"ItemTypeWithoutLength", Bytes{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31,
                                                             0x42, 0x32, 0x43, 0x4A, 0x01}},
                    ShortCase{"ItemShorterThanItsLength",
                              Bytes{0x50, 0x54, 0x4E, 0x30, 0x41, 0x31, 0x42, 0x32, 0x43, 0x4A,
                                    0x01, 0x04, 0xFF, 0xFF, 0xFF}}),
    [](const testing::TestParamInfo<ShortCase>& tested) { return std::string(tested.param.name); });

TEST(WalkReplyItems, AppendsToWhatTheTextsAlreadyHold) {
    Bytes buffer = Header;
    buffer.insert(buffer.end(), {0x01, 0x04, 0xFF, 0x00, 0x00, 0x00, 0xFF});
    buffer.resize(DeviceReplyBufferSize, 0);
    ReplyTexts texts;
    texts.MaskText = "x";
    ASSERT_EQ(WalkReplyItems(buffer, ReplyUse::Settings, texts), WalkOutcome::Complete);
    ASSERT_EQ(WalkReplyItems(buffer, ReplyUse::Settings, texts), WalkOutcome::Complete);
    EXPECT_EQ(texts.MaskText, "x255.0.0.0.255.0.0.0.");
}

TEST(ReplyIsSkipped, OnlyAFirstByteOfZeroSkipsTheReply) {
    Bytes buffer(DeviceReplyBufferSize, 0);
    EXPECT_TRUE(ReplyIsSkipped(buffer));
    buffer[10] = 0x01;
    buffer[11] = 0x04;
    buffer[16] = 0xFF;
    EXPECT_TRUE(ReplyIsSkipped(buffer));
    buffer[0] = 0x50;
    EXPECT_FALSE(ReplyIsSkipped(buffer));
    EXPECT_TRUE(ReplyIsSkipped({}));
}

struct FinishCase {
    std::string walked;
    std::string finished;
};

void PrintTo(const FinishCase& c, std::ostream* os) {
    *os << '"' << c.walked << '"';
}

class FinishAddressTextTest : public testing::TestWithParam<FinishCase> {};

TEST_P(FinishAddressTextTest, DropsTheTrailingDot) {
    EXPECT_EQ(FinishAddressText(GetParam().walked), GetParam().finished);
}

INSTANTIATE_TEST_SUITE_P(Texts, FinishAddressTextTest,
                         testing::Values(FinishCase{"255.255.255.0.", "255.255.255.0"},
                                         FinishCase{"4.192.168.1.", "4.192.168.1"},
                                         FinishCase{"255.255.255.0.255.0.0.0.",
                                                    "255.255.255.0.255.0.0.0"},
                                         FinishCase{".", ""}, FinishCase{"", ""}));

} // namespace
} // namespace tcpipset
