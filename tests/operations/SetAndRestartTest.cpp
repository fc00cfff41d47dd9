#include "protocol/ParseInteger.h"
#include "tests/i18n/Language.h"
#include "tests/operations/OperationsFixture.h"
#include "transport/IdAntiFreeze.h"
#include "transport/MainThread.h"
#include "ui/operations/Messages.h"

#include <chrono>

namespace tcpipset::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string Confirm = std::string("confirm:") + messages::ConfirmSet();
std::string Error(const std::string& text) {
    return std::string("error:") + text;
}

class SetTest : public OperationsTest {
protected:
    void SetUp() override { SelectedDevice(); }
    void SelectedDevice() {
        StartDevice([this](const Datagram& request) { return Answer(request); });
        SelectLine("0200000A1B2C");
        operations.Memo1DblClick();
        view.events.clear();
        queries = device->Requests().size();
    }
    std::vector<ScriptedReply> Answer(const Datagram& request) {
        if (request.size() > 10 && request[9] == 'I') {
            return setReplies;
        }
        return {};
    }
    std::vector<Datagram> SentAfterSelection() const {
        auto all = device->Requests();
        return {all.begin() + static_cast<std::ptrdiff_t>(queries), all.end()};
    }
    std::vector<ScriptedReply> setReplies;
    std::size_t queries = 0;
};

TEST_F(SetTest, EmptyFieldIsReportedBeforeAnyConfirmation) {
    view.SetFields("10.0.0.5", "255.0.0.0", "");
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Error(messages::SetFieldEmpty())));
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
}

TEST_F(SetTest, CancelSendsNothingAndShowsNothingFurther) {
    view.SetFields("10.0.0.5", "255.0.0.0", "10.0.0.1");
    view.answers.push_back(DialogResult::Cancel);
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm));
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
}

struct RefusedCase {
    const char* name;
    Fields fields;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedSet : public SetTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedSet, IsReportedAndNothingIsSent) {
    const auto& f = GetParam().fields;
    view.SetFields(f.ip, f.mask, f.gateway);
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, Error(messages::InvalidAddress())));
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
    EXPECT_EQ(Shown(view), f);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, RefusedSet,
    ::testing::Values(RefusedCase{"IpAddress", {"127.0.0.1", "255.0.0.0", "10.0.0.1"}},
                      RefusedCase{"SubnetMask", {"10.0.0.5", "256.0.0.0", "10.0.0.1"}},
                      RefusedCase{"Gateway", {"10.0.0.5", "255.0.0.0", "10.0.0.255"}}),
    CaseName());

TEST_F(SetTest, ConversionErrorEscapesBeforeAnythingIsSent) {
    view.SetFields("10.0.0.5", "255.0.0.0", "1.1.1.");
    EXPECT_THROW(operations.SetTcpIpAddress(), EConvertError);
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
    EXPECT_EQ(view.Cursor(), crDefault);
}

TEST_F(SetTest, SendsTheSetRequestWithTheSelectedDevice) {
    view.SetFields("192.168.1.20", "255.255.255.000", "0.0.0.0");
    operations.SetTcpIpAddress();
    const auto sent = SentAfterSelection();
    ASSERT_EQ(sent.size(), 1U);
    const Datagram expected{'P', 'T', 'N', '0', 'A', '1', 'B', '2', 'C', 'I', '1', '9',
                            '2', '.', '1', '6', '8', '.', '1', '.', '2', '0', 1,   4,
                            255, 255, 255, 0,   2,   4,   0,   0,   0,   0,   0xFF};
    EXPECT_EQ(sent[0], expected);
}

TEST_F(SetTest, TimeOutEmptiesAllThreeFields) {
    view.SetFields("10.0.0.5", "255.0.0.0", "10.0.0.1");
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events,
                ElementsAre(Confirm, "cursor:wait", "cursor:default", Error(messages::Timeout())));
    EXPECT_EQ(Shown(view), (Fields{"", "", ""}));
}

// On loopback every reply comes from a 127 address, which the address rules refuse as
// an IP address, so a set can't be confirmed here: the reply's values are shown and the
// operator is told that the device did not take the entered ones.
struct ReplyCase {
    const char* name;
    Fields entered;
    std::vector<ScriptedReply> replies;
    Fields shown;
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.name;
}

class SetReplies : public SetTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(SetReplies, AreShownAndReportedAsNotUpdated) {
    setReplies = GetParam().replies;
    const auto& f = GetParam().entered;
    view.SetFields(f.ip, f.mask, f.gateway);
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, "cursor:wait", "cursor:default",
                                         Error(messages::NotUpdated())));
    EXPECT_EQ(Shown(view), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SetReplies,
    ::testing::Values(ReplyCase{"FromTheOldAddress",
                                {"192.168.1.20", "255.255.255.0", "192.168.1.1"},
                                {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C))}},
                                {"127.0.0.1", "255.255.255.0", "192.168.1.1"}},
                      ReplyCase{
                          "MaskWithLeadingZerosNeverComparesEqual",
                          {"192.168.1.20", "255.255.255.000", "192.168.1.1"},
                          {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C)), 0ms, "127.0.0.20"}},
                          {"127.0.0.20", "255.255.255.0", "192.168.1.1"}},
                      ReplyCase{"FirstByteZeroKeepsTheEnteredTexts",
                                {"192.168.1.20", "255.255.255.0", "192.168.1.1"},
                                {{[] {
                                    auto r = DeviceReply(Mask24, Gateway1921681, Mac(1));
                                    r[0] = 0;
                                    return r;
                                }()}},
                                {"192.168.1.20", "255.255.255.0", "192.168.1.1"}},
                      ReplyCase{"EmptyDatagramKeepsTheEnteredTexts",
                                {"192.168.1.20", "255.255.255.0", "192.168.1.1"},
                                {{Datagram{}}},
                                {"192.168.1.20", "255.255.255.0", "192.168.1.1"}}),
    CaseName());

TEST_F(SetTest, AbortingReplyEndsSilentlyWithTheEnteredTexts) {
    setReplies = {{ReplyWithItems({2, 4, 1, 1, 1, 1, 0xFF})}};
    view.SetFields("192.168.1.20", "255.255.255.0", "192.168.1.1");
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events, ElementsAre(Confirm, "cursor:wait", "cursor:default"));
    EXPECT_EQ(Shown(view), (Fields{"192.168.1.20", "255.255.255.0", "192.168.1.1"}));
}

// A second reply to an earlier set, still queued, must not confirm this one.
TEST_F(SetTest, StaleReplyIsDiscardedBeforeTheRequest) {
    view.SetFields("192.168.1.20", "255.255.255.0", "192.168.1.1");
    device->SendUnasked(DeviceReply(Mask24, Gateway1921681, Mac(0x2C)));
    std::this_thread::sleep_for(50ms);
    operations.SetTcpIpAddress();
    EXPECT_THAT(view.events,
                ElementsAre(Confirm, "cursor:wait", "cursor:default", Error(messages::Timeout())));
}

class RestartTest : public SetTest {};

const std::string ConfirmRestart = "confirm:" + messages::ConfirmRestart("192.168.0.10");

TEST_F(RestartTest, ConfirmationNamesTheAddressWithTwoSpaces) {
    languages::ScopedLanguage japanese(languages::Japanese);
    view.SetFields("192.168.0.10", "255.255.255.0", "192.168.0.1");
    view.answers.push_back(DialogResult::Cancel);
    operations.RestartDevice();
    EXPECT_THAT(
        view.events,
        ElementsAre("confirm:192.168.0.10  IPアドレスのプリントサーバーをリセットしますか。"));
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
    EXPECT_EQ(Shown(view), (Fields{"192.168.0.10", "255.255.255.0", "192.168.0.1"}));
}

TEST_F(RestartTest, EmptyFieldHasItsOwnText) {
    view.SetFields("", "255.255.255.0", "192.168.0.1");
    operations.RestartDevice();
    EXPECT_THAT(view.events, ElementsAre(Error(messages::RestartFieldEmpty())));
}

TEST_F(RestartTest, EndsSilentlyWithEmptyFieldsAfterTheAnswersStop) {
    setReplies = {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C))},
                  {DeviceReply(Mask24, Gateway1921681, Mac(0x2C)), 50ms}};
    view.SetFields("192.168.0.10", "255.255.255.0", "192.168.0.1");
    operations.RestartDevice();
    EXPECT_THAT(view.events, ElementsAre(ConfirmRestart, "cursor:wait", "cursor:default"));
    EXPECT_EQ(Shown(view), (Fields{"", "", ""}));
    const auto sent = SentAfterSelection();
    ASSERT_EQ(sent.size(), 1U);
    EXPECT_EQ(sent[0].size(), 26U + 12U);
}

struct GatewayCase {
    const char* name;
    std::string gateway;
    bool sent;
    std::vector<std::uint8_t> gatewayBytes;
};

void PrintTo(const GatewayCase& c, std::ostream* os) {
    *os << c.name;
}

class RestartGateway : public RestartTest, public ::testing::WithParamInterface<GatewayCase> {};

// A part above 255 would be stored on the device as another address, so it is refused;
// a gateway that the host rules alone reject is still sent as it stands.
TEST_P(RestartGateway, IsSentOnlyWhenEveryPartFitsAByte) {
    view.SetFields("192.168.0.10", "255.255.255.0", GetParam().gateway);
    operations.RestartDevice();
    const auto sent = SentAfterSelection();
    if (!GetParam().sent) {
        EXPECT_THAT(view.events, ElementsAre(ConfirmRestart, Error(messages::InvalidAddress())));
        EXPECT_THAT(sent, IsEmpty());
        return;
    }
    ASSERT_EQ(sent.size(), 1U);
    const Datagram& request = sent[0];
    EXPECT_EQ(Datagram(request.begin() + 28, request.begin() + 34),
              (Datagram{2, 4, GetParam().gatewayBytes[0], GetParam().gatewayBytes[1],
                        GetParam().gatewayBytes[2], GetParam().gatewayBytes[3]}));
}

INSTANTIATE_TEST_SUITE_P(Gateways, RestartGateway,
                         ::testing::Values(GatewayCase{"PartAbove255", "300.1.1.1", false, {}},
                                           GatewayCase{"NegativePart", "1.-1.1.1", false, {}},
                                           GatewayCase{"HostRulesRejectButSent",
                                                       "192.168.1.255",
                                                       true,
                                                       {192, 168, 1, 255}},
                                           GatewayCase{"AllZero", "0.0.0.0", true, {0, 0, 0, 0}}),
                         CaseName());

TEST_F(RestartTest, MalformedGatewayEndsWithTheConversionError) {
    view.SetFields("192.168.0.10", "255.255.255.0", "192.168.1");
    EXPECT_THROW(operations.RestartDevice(), EConvertError);
    EXPECT_THAT(SentAfterSelection(), IsEmpty());
}

// Presses that the pump delivers while an operation waits.
class PressesDuringWait : public PumpDispatcher {
public:
    explicit PressesDuringWait(DeviceOperations& operations) : operations_(operations) {}
    void ProcessAllPendingEvents() override {
        ++pumps;
        operations_.RestartDevice();
        operations_.SetTcpIpAddress();
        operations_.Memo1DblClick();
        operations_.QuerySelectedDevice();
    }
    void HandleOnePendingEvent() override { ProcessAllPendingEvents(); }
    int pumps = 0;

private:
    DeviceOperations& operations_;
};

// A set or restart reaches every device whose MAC ends in the selected line's last six
// digits; with another such device listed, or answering the line's query, it is refused
// before anything is asked or sent.
struct SharedSelectorCase {
    const char* name;
    std::vector<std::vector<std::uint8_t>> listedMacs;
    bool restart;
    bool refused;
    std::vector<ScriptedReply> queryReplies = {};
};

void PrintTo(const SharedSelectorCase& c, std::ostream* os) {
    *os << c.name;
}

class SharedSelector : public OperationsTest,
                       public ::testing::WithParamInterface<SharedSelectorCase> {};

TEST_P(SharedSelector, RefusesWhenAnotherListedDeviceWouldTakeTheRequest) {
    const SharedSelectorCase& c = GetParam();
    std::vector<ScriptedReply> discovered;
    for (const auto& mac : c.listedMacs) {
        discovered.emplace_back(DeviceReply(Mask24, Gateway1921681, mac));
    }
    StartDevice([&](const Datagram& request) {
        return Text(request) == "PTN000000J"   ? discovered
               : Text(request) == "PTN0A1B2CJ" ? c.queryReplies
                                               : std::vector<ScriptedReply>{};
    });
    operations.FormCreate();
    operations.SelectDevice("0200000A1B2C");
    if (!c.queryReplies.empty()) {
        operations.QuerySelectedDevice();
    }
    const std::size_t asked = device->Requests().size();
    view.SetFields("192.168.0.10", "255.255.255.0", "192.168.0.1");
    view.answers.push_back(DialogResult::Cancel);
    view.events.clear();
    c.restart ? operations.RestartDevice() : operations.SetTcpIpAddress();
    const std::string confirmation = c.restart ? ConfirmRestart : Confirm;
    EXPECT_THAT(view.events,
                ElementsAre(c.refused ? Error(messages::SelectorShared()) : confirmation));
    EXPECT_EQ(device->Requests().size(), asked);
}

const std::vector<std::uint8_t> OtherMakerSameEnd{0x04, 0x00, 0x00, 0x0A, 0x1B, 0x2C};

INSTANTIATE_TEST_SUITE_P(
    Table, SharedSelector,
    ::testing::Values(
        SharedSelectorCase{"SetWithAnotherDeviceOfTheSameLastSixDigits",
                           {Mac(0x2C), OtherMakerSameEnd},
                           false,
                           true},
        SharedSelectorCase{"RestartWithAnotherDeviceOfTheSameLastSixDigits",
                           {OtherMakerSameEnd, Mac(0x2C)},
                           true,
                           true},
        SharedSelectorCase{"ADeviceListedTwiceIsOneDevice", {Mac(0x2C), Mac(0x2C)}, false, false},
        SharedSelectorCase{"OtherLastSixDigitsAreNoCollision", {Mac(0x2C), Mac(0x2D)}, true, false},
        SharedSelectorCase{
            "QueryAnsweredFromTwoAddresses",
            {Mac(0x2C)},
            false,
            true,
            {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C))},
             {DeviceReply(Mask24, Gateway1921681, OtherMakerSameEnd), 0ms, "127.0.0.2"}}},
        SharedSelectorCase{"QueryAnsweredWithTwoMacsFromOneAddress",
                           {Mac(0x2C)},
                           true,
                           true,
                           {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C))},
                            {DeviceReply(Mask24, Gateway1921681, OtherMakerSameEnd)}}},
        // A reply longer than a receive takes, or an empty datagram, is an arrival: the
        // twin that answers after it is heard.
        SharedSelectorCase{"QueryFirstReplyTooLongThenATwin",
                           {Mac(0x2C)},
                           false,
                           true,
                           {{[] {
                                auto reply = DeviceReply(Mask24, Gateway1921681, Mac(0x2C));
                                reply.resize(120, 0x44);
                                return reply;
                            }()},
                            {DeviceReply(Mask24, Gateway1921681, Mac(0x2C)), 50ms, "127.0.0.2"}}},
        SharedSelectorCase{"QueryEmptyDatagramThenATwin",
                           {Mac(0x2C)},
                           true,
                           true,
                           {{Datagram{}},
                            {DeviceReply(Mask24, Gateway1921681, Mac(0x2C))},
                            {DeviceReply(Mask24, Gateway1921681, Mac(0x2C)), 50ms, "127.0.0.2"}}},
        SharedSelectorCase{"QueryAnsweredTwiceByOneDevice",
                           {Mac(0x2C)},
                           false,
                           false,
                           {{DeviceReply(Mask24, Gateway1921681, Mac(0x2C))},
                            {DeviceReply(Mask24, Gateway1921681, Mac(0x2C))}}}),
    CaseName());

struct RecordingLog : WriteLog {
    void Record(const WriteRecord& record) override { records.push_back(record); }
    std::vector<WriteRecord> records;
};

// Every set and restart that left is recorded, with how it ended; one cancelled wrote
// nothing. A write's old values are the device's last report of itself.
enum class Twist { None, Cancel, SendFails };
struct RecordCase {
    const char* name;
    WriteKind kind;
    std::vector<ScriptedReply> replies;
    std::optional<WriteOutcome> outcome; // none: no record
    Twist twist = Twist::None;
};

class WriteRecords : public OperationsTest, public ::testing::WithParamInterface<RecordCase> {};

const Datagram Queried = DeviceReply(Mask24, Gateway1921681, Mac(0x2C));
const AddressValues QueriedValues{"127.0.0.1", "255.255.255.0", "192.168.1.1"};

TEST_P(WriteRecords, TellHowEachWriteThatLeftEnded) {
    const RecordCase& c = GetParam();
    StartDevice([&c](const Datagram& request) {
        return request.at(9) == 'J' ? std::vector<ScriptedReply>{{Queried}} : c.replies;
    });
    RecordingLog log;
    operations.SetWriteLog(&log);
    SelectLine("0200000A1B2C");
    operations.Memo1DblClick();
    client.SetPort(c.twist == Twist::SendFails ? 0 : device->Port()); // 0: refused by the system
    for (int write = 0; write < 2; ++write) { // the second after the first one's report
        view.SetFields("192.168.1.20", "255.255.0.0", "192.168.1.1");
        view.answers.push_back(c.twist == Twist::Cancel ? DialogResult::Cancel : DialogResult::Yes);
        try {
            c.kind == WriteKind::Set ? operations.SetTcpIpAddress() : operations.RestartDevice();
        } catch (const Exception&) {
        }
    }
    ASSERT_THAT(log.records, ::testing::SizeIs(c.outcome ? 2 : 0));
    const auto reply =
        c.outcome == WriteOutcome::NotUpdated ? std::optional(QueriedValues) : std::nullopt;
    for (const WriteRecord& r : log.records) {
        EXPECT_EQ(r.outcome, c.outcome);
        EXPECT_EQ(r.old, &r == &log.records[0] ? std::optional(QueriedValues) : reply);
        EXPECT_EQ(r.reply, reply);
        EXPECT_EQ(r.error.empty(), c.outcome != WriteOutcome::Error);
    }
}

using O = WriteOutcome;
const std::vector<ScriptedReply> Unreadable{{ReplyWithItems({2, 4, 1, 1, 1, 1, 0xFF})}};

INSTANTIATE_TEST_SUITE_P(
    Table, WriteRecords,
    ::testing::Values(
        RecordCase{"SetAnsweredWithOtherValues", WriteKind::Set, {{Queried}}, O::NotUpdated},
        RecordCase{"SetWithoutReply", WriteKind::Set, {}, O::NoReply},
        RecordCase{"SetWithUnreadableReply", WriteKind::Set, Unreadable, O::UnreadableReply},
        RecordCase{"SetWhoseSendFails", WriteKind::Set, {}, O::Error, Twist::SendFails},
        RecordCase{"CancelledSet", WriteKind::Set, {}, std::nullopt, Twist::Cancel},
        RecordCase{"Restart", WriteKind::Restart, {{Queried}}, O::Sent},
        RecordCase{"CancelledRestart", WriteKind::Restart, {}, std::nullopt, Twist::Cancel}),
    CaseName());

// An operation started while another waits is ignored, so two never share the endpoint.
TEST_F(SetTest, OperationStartedDuringAWaitIsIgnored) {
    RecordMainThread();
    PressesDuringWait presses(operations);
    TIdAntiFreeze pump(presses);
    pump.SetIdleTimeOut(50);
    view.SetFields("192.168.1.20", "255.255.255.0", "192.168.1.1");
    operations.SetTcpIpAddress();
    EXPECT_GT(presses.pumps, 0);
    EXPECT_THAT(SentAfterSelection(), ::testing::SizeIs(1));
    EXPECT_THAT(view.events,
                ElementsAre(Confirm, "cursor:wait", "cursor:default", Error(messages::Timeout())));
    EXPECT_FALSE(operations.Busy());
}

} // namespace
} // namespace tcpipset::testing
