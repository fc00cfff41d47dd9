#include "tests/operations/OperationsFixture.h"

#include <chrono>

namespace tcpipset::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

struct DiscoveryCase {
    const char* name;
    std::vector<ScriptedReply> replies;
    std::vector<std::string> listed;
    UnlistedReplies unlisted{};
};

void PrintTo(const DiscoveryCase& c, std::ostream* os) {
    *os << c.name;
}

Datagram MaskOnly() {
    return ReplyWithItems({1, 4, 0xFF, 0xFF, 0xFF, 0, 0xFF});
}
Datagram Padded(Datagram reply, std::size_t size) {
    reply.resize(size, 0x33);
    return reply;
}
Datagram FirstByteZero(Datagram reply) {
    reply[0] = 0;
    return reply;
}

class DiscoveryCases : public OperationsTest,
                       public ::testing::WithParamInterface<DiscoveryCase> {};

TEST_P(DiscoveryCases, ListsTheMacOfEachReadableReply) {
    StartDeviceAnswering(GetParam().replies);
    operations.FormCreate();
    EXPECT_THAT(view.ListLines(), ElementsAreArray(GetParam().listed));
    const UnlistedReplies& unlisted = operations.Unlisted();
    const UnlistedReplies& want = GetParam().unlisted;
    EXPECT_EQ(unlisted.unreadable, want.unreadable);
    EXPECT_EQ(unlisted.empty, want.empty);
    EXPECT_EQ(unlisted.firstByteZero, want.firstByteZero);
    EXPECT_EQ(unlisted.withoutMac, want.withoutMac);
    for (const auto& line : unlisted.Descriptions()) {
        EXPECT_THAT(line, ::testing::HasSubstr(": from 127.0.0.1")); // the sender, named
    }
    EXPECT_THAT(view.events, ElementsAre("cursor:wait", "cursor:default"));
    const auto requests = device->Requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(Text(requests[0]), "PTN000000J");
}

const Datagram A = DeviceReply(Mask24, Gateway1921681, Mac(0x01));
const Datagram B = DeviceReply(Mask24, Gateway1921681, Mac(0x02));
const Datagram C = DeviceReply(Mask24, Gateway1921681, Mac(0x03));

INSTANTIATE_TEST_SUITE_P(
    Replies, DiscoveryCases,
    ::testing::Values(
        DiscoveryCase{"ThreeDevicesInOrderOfArrival",
                      {{A}, {B, 20ms}, {C, 20ms}},
                      {"0200000A1B01", "0200000A1B02", "0200000A1B03"}},
        DiscoveryCase{"MacBytesInUpperCaseWithoutSeparators",
                      {{DeviceReply(Mask24, Gateway1921681, {0x00, 0x80, 0x92, 0x1A, 0x2B, 0x3C})}},
                      {"0080921A2B3C"}},
        DiscoveryCase{"DeviceAnsweringTwiceIsListedTwice",
                      {{A}, {A, 20ms}},
                      {"0200000A1B01", "0200000A1B01"}},
        DiscoveryCase{
            "TwoMacItemsMakeOneLine",
            {{ReplyWithItems({1,    4,    0xFF, 0xFF, 0xFF, 0, 10, 6,    2,    0,    0,   0x0A,
                              0x1B, 0x2C, 10,   6,    2,    0, 0,  0x0A, 0x1B, 0x2D, 0xFF})}},
            {"0200000A1B2C0200000A1B2D"}},
        DiscoveryCase{"ReplyWithoutMacAddsNoLineAndReadingGoesOn",
                      {{MaskOnly()}, {B, 20ms}},
                      {"0200000A1B02"},
                      {.withoutMac = 1}},
        DiscoveryCase{"FirstByteZeroIsSkippedAndReadingGoesOn",
                      {{FirstByteZero(A)}, {B, 20ms}},
                      {"0200000A1B02"},
                      {.firstByteZero = 1}},
        // An unreadable reply adds no line and is counted; the devices after it are listed.
        DiscoveryCase{"TypeZeroFirstIsSkipped",
                      {{A}, {ReplyWithItems({0, 4, 1, 1, 1, 1, 0xFF}), 20ms}, {C, 20ms}},
                      {"0200000A1B01", "0200000A1B03"},
                      {.unreadable = 1}},
        DiscoveryCase{"TypeFourteenFirstIsSkipped",
                      {{ReplyWithItems({14, 4, 1, 1, 1, 1, 0xFF})}, {C, 20ms}},
                      {"0200000A1B03"},
                      {.unreadable = 1}},
        DiscoveryCase{"EndMarkerFirstIsSkipped",
                      {{ReplyWithItems({0xFF})}, {C, 20ms}},
                      {"0200000A1B03"},
                      {.unreadable = 1}},
        DiscoveryCase{"MacItemAtTheStartIsMisreadAndSkipped",
                      {{ReplyWithItems({10, 6, 2, 0, 0, 0x0A, 0x1B, 0x2C, 0xFF})},
                       {ReplyWithItems({1, 4, 0xFF, 0xFF, 0xFF, 0, 2, 4, 1, 1, 1, 1}), 20ms},
                       {C, 20ms}},
                      {"0200000A1B03"},
                      {.unreadable = 2}},
        DiscoveryCase{"EmptyDatagramIsSkipped",
                      {{A}, {{}, 20ms}, {C, 20ms}},
                      {"0200000A1B01", "0200000A1B03"},
                      {.empty = 1}},
        // Read from the first 70 bytes, as every longer reply is.
        DiscoveryCase{"ReplyOverSeventyBytesIsListedFromItsFirstBytes",
                      {{A}, {Padded(B, 90), 20ms}, {C, 20ms}},
                      {"0200000A1B01", "0200000A1B02", "0200000A1B03"}},
        DiscoveryCase{"FirstReplyOverSeventyBytesIsListedToo",
                      {{Padded(A, 90)}, {C, 20ms}},
                      {"0200000A1B01", "0200000A1B03"}},
        DiscoveryCase{"NoAnswer", {}, {}}),
    CaseName());

TEST_F(OperationsTest, EachListedLineEndsWithALineBreak) {
    StartDeviceAnswering({{A}});
    operations.FormCreate();
    EXPECT_EQ(view.ListText(), "0200000A1B01\n");
}

TEST_F(OperationsTest, NoAnswerEmptiesTheInitialLine) {
    StartDeviceAnswering({});
    operations.FormCreate();
    EXPECT_EQ(view.ListText(), "");
}

} // namespace
} // namespace tcpipset::testing
