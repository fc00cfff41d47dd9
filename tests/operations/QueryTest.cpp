#include "tests/operations/OperationsFixture.h"
#include "ui/operations/Messages.h"

#include <chrono>

namespace tcpipset::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

struct QueryCase {
    const char* name;
    std::vector<ScriptedReply> replies;
    Fields shown;
};

void PrintTo(const QueryCase& c, std::ostream* os) {
    *os << c.name;
}

class QueryCases : public OperationsTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryCases, ShowsTheLastCompleteReply) {
    StartDeviceAnswering(GetParam().replies);
    SelectLine("0080921A2B3C");
    view.SetFields("stale", "stale", "stale");
    operations.Memo1DblClick();
    EXPECT_EQ(Shown(view), GetParam().shown);
    for (const auto field : {AddressField::Edit1, AddressField::Edit2, AddressField::Edit3}) {
        EXPECT_FALSE(view.ReadOnly(field));
    }
    EXPECT_EQ(view.Cursor(), crDefault);
}

const Datagram Reply = DeviceReply(Mask24, {0xC0, 0xA8, 0x00, 0x01}, Mac(0x2C));

INSTANTIATE_TEST_SUITE_P(
    Replies, QueryCases,
    ::testing::Values(QueryCase{"DecimalTextsWithoutLeadingZeros",
                                {{Reply}},
                                {"127.0.0.1", "255.255.255.0", "192.168.0.1"}},
                      QueryCase{
                          "TwoRepliesShowTheSecond",
                          {{Reply}, {DeviceReply({255, 0, 0, 0}, {10, 0, 0, 1}, Mac(1)), 20ms}},
                          {"127.0.0.1", "255.0.0.0", "10.0.0.1"}},
                      QueryCase{"NoGatewayItemLeavesEdit3Empty",
                                {{ReplyWithItems({1, 4, 255, 255, 0, 0, 0xFF})}},
                                {"127.0.0.1", "255.255.0.0", ""}},
                      QueryCase{"NoAnswerLeavesTheFieldsEmpty", {}, {"", "", ""}},
                      QueryCase{"AbortingReplyKeepsTheEarlierValues",
                                {{Reply}, {ReplyWithItems({2, 4, 1, 1, 1, 1, 0xFF}), 20ms}},
                                {"127.0.0.1", "255.255.255.0", "192.168.0.1"}},
                      QueryCase{"FirstByteZeroIsSkipped",
                                {{[] {
                                    auto r = Reply;
                                    r[0] = 0;
                                    return r;
                                }()}},
                                {"", "", ""}},
                      QueryCase{"ReplyOverOneHundredBytesIsReadFromItsFirstBytes",
                                {{[] {
                                    auto r = Reply;
                                    r.resize(150, 0x44);
                                    return r;
                                }()}},
                                {"127.0.0.1", "255.255.255.0", "192.168.0.1"}}),
    CaseName());

TEST_F(OperationsTest, DoubleClickSelectsTheWholeLineAndQueriesItsDevice) {
    StartDeviceAnswering({});
    SelectLine("0080921A2B3C");
    operations.Memo1DblClick();
    EXPECT_EQ(operations.SelectedDeviceMac(), "0080921A2B3C");
    EXPECT_EQ(view.SelectedText(), "0080921A2B3C");
    ASSERT_EQ(device->Requests().size(), 1U);
    EXPECT_EQ(Text(device->Requests()[0]), "PTN1A2B3CJ");
}

struct EmptyLineCase {
    const char* name;
    std::string list;
    int caret;
};

void PrintTo(const EmptyLineCase& c, std::ostream* os) {
    *os << c.name;
}

class EmptyLineCases : public OperationsTest,
                       public ::testing::WithParamInterface<EmptyLineCase> {};

TEST_P(EmptyLineCases, ShowNoticeAndChangeNothing) {
    StartDeviceAnswering({});
    view.ClearMacList();
    if (!GetParam().list.empty()) {
        view.AppendMacLine(GetParam().list);
    }
    view.PlaceCaret(GetParam().caret);
    operations.Memo1DblClick();
    EXPECT_THAT(view.events, ElementsAre(std::string("notice:") + messages::NoMacSelected()));
    EXPECT_TRUE(view.ReadOnly(AddressField::Edit1));
    EXPECT_EQ(operations.SelectedDeviceMac(), "");
    EXPECT_TRUE(device->Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Lists, EmptyLineCases,
                         ::testing::Values(EmptyLineCase{"LineBelowTheLastMac", "0080921A2B3C", 13},
                                           EmptyLineCase{"NothingDiscovered", "", 0}),
                         CaseName());

// The line operations count lines as displayed, so a 24-digit line wrapped after 16
// characters is selected one display line at a time.
TEST_F(OperationsTest, WrappedLineIsSelectedAsDisplayed) {
    StartDeviceAnswering({});
    view.ClearMacList();
    view.AppendMacLine("0200000A1B2C0200000A1B2D");
    view.PlaceCaret(18);
    operations.Memo1DblClick();
    EXPECT_EQ(operations.SelectedDeviceMac(), "000A1B2D");
    ASSERT_EQ(device->Requests().size(), 1U);
    EXPECT_EQ(Text(device->Requests()[0]), "PTN2DJ");
}

// A reply left queued by the discovery must not be taken as the device's answer.
TEST_F(OperationsTest, QueryDiscardsADatagramLeftFromTheDiscovery) {
    const Datagram other = DeviceReply({255, 0, 0, 0}, {10, 9, 9, 9}, Mac(9));
    StartDevice([&](const Datagram& request) -> std::vector<ScriptedReply> {
        if (Text(request) == "PTN000000J") {
            return {{Reply}};
        }
        return {};
    });
    operations.FormCreate();
    device->SendUnasked(other);
    std::this_thread::sleep_for(50ms);
    SelectLine("0200000A1B2C");
    operations.Memo1DblClick();
    EXPECT_EQ(Shown(view), (Fields{"", "", ""}));
}

} // namespace
} // namespace tcpipset::testing
