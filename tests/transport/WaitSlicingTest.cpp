#include "CountingDispatcher.h"
#include "LoopbackPeer.h"
#include "RecordingStack.h"
#include "transport/IdAntiFreeze.h"
#include "transport/IdExceptions.h"
#include "transport/IdUDPClient.h"
#include "transport/MainThread.h"

#include <array>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <thread>

namespace tcpipset {
namespace {

using testing::CountingDispatcher;
using testing::LoopbackPeer;
using testing::ScopedRecordingStack;
using testing::StackRecord;

std::vector<std::int32_t> Repeat(std::int32_t value, std::size_t times) {
    return std::vector<std::int32_t>(times, value);
}

// An endpoint that has sent once, so that it has a local port for replies, over a
// recording stack, with a counting pump in force.
class PumpedEndpoint {
public:
    explicit PumpedEndpoint(StackRecord& record) : scoped_(record), pump_(dispatcher) {
        pump_.SetIdleTimeOut(100);
        client.SetReceiveTimeout(1000);
        client.SetHost("127.0.0.1");
        client.SetPort(peer.Port());
        client.SendText("hello");
        if (!peer.Receive()) {
            throw std::runtime_error("the first send did not arrive");
        }
        record.selectTimeouts.clear();
    }
    TIdAntiFreeze& Pump() { return pump_; }
    std::int32_t Receive(std::int32_t timeoutMs) {
        std::array<std::uint8_t, 100> buffer{};
        std::string peerAddress;
        std::int32_t peerPort = 0;
        return client.ReceiveDatagram(buffer, 100, peerAddress, peerPort, timeoutMs);
    }

    LoopbackPeer peer;
    CountingDispatcher dispatcher;

private:
    ScopedRecordingStack scoped_;
    TIdAntiFreeze pump_;

public:
    TIdUDPClient client;
};

struct SliceCase {
    const char* name;
    std::int32_t timeoutMs;
    std::vector<std::int32_t> tests;
    int pumps;
    // The reply is sent while the pump runs for this time (0: never); those cases wait
    // for real, the others test readiness without waiting.
    int replyAtPump = 0;
    std::int32_t idleTimeOut = 100;
    bool pumpActive = true;
    bool applicationHasPriority = true;
    bool onlyWhenIdle = true;
    bool failTests = false;
};

void PrintTo(const SliceCase& c, std::ostream* os) {
    *os << c.name;
}

class WaitSlicingTest : public ::testing::TestWithParam<SliceCase> {
protected:
    void SetUp() override { RecordMainThread(); }
};

TEST_P(WaitSlicingTest, CutsTheWaitAndPumpsAfterEmptySlices) {
    const SliceCase& param = GetParam();
    StackRecord record;
    if (param.replyAtPump == 0) {
        record.selectTimeoutOverride = 0;
    }
    PumpedEndpoint endpoint(record);
    endpoint.Pump().SetIdleTimeOut(param.idleTimeOut);
    endpoint.Pump().SetActive(param.pumpActive);
    endpoint.Pump().SetApplicationHasPriority(param.applicationHasPriority);
    endpoint.Pump().SetOnlyWhenIdle(param.onlyWhenIdle);
    record.failSelects = param.failTests;
    const std::uint16_t port = endpoint.client.LocalPort();
    endpoint.dispatcher.onPump = [&](int count) {
        if (count == param.replyAtPump) {
            endpoint.peer.SendTo(port, "reply");
        }
    };

    const std::int32_t received = endpoint.Receive(param.timeoutMs);

    EXPECT_EQ(record.selectTimeouts, param.tests);
    EXPECT_EQ(endpoint.dispatcher.processAll, param.applicationHasPriority ? param.pumps : 0);
    EXPECT_EQ(endpoint.dispatcher.handleOne, param.applicationHasPriority ? 0 : param.pumps);
    EXPECT_EQ(received, param.replyAtPump != 0 ? 5 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WaitSlicingTest,
    ::testing::Values(
        SliceCase{"TenSlicesOfAThousand", 1000, Repeat(100, 10), 10},
        SliceCase{"DefaultIsTheReceiveTimeout", -1, Repeat(100, 10), 10},
        SliceCase{"RemainderComesFirst", 250, {50, 100, 100}, 3},
        SliceCase{"JustOverOneSlice", 101, {1, 100}, 2},
        SliceCase{"ExactlyOneSliceIsOneTest", 100, {100}, 1},
        SliceCase{"ZeroTestsOnceWithoutWaiting", 0, {0}, 1},
        SliceCase{"ReplyInThirdSliceEndsTheWait", 1000, {100, 100, 100}, 2, 2},
        SliceCase{"NoLimitRepeatsSlicesUntilData", -2, Repeat(100, 6), 5, 5},
        SliceCase{"InactivePumpMakesOneTest", 1000, {1000}, 0, 0, 100, false},
        SliceCase{"WithoutPriorityOneEventPerSlice", 250, {50, 100, 100}, 3, 0, 100, true, false},
        SliceCase{"NotOnlyWhenIdlePumpsAfterDataToo",
                  1000,
                  {100, 100, 100},
                  3,
                  2,
                  100,
                  true,
                  true,
                  false},
        SliceCase{"FailedTestsCountAsEmptySlices",
                  300,
                  {100, 100, 100},
                  3,
                  0,
                  100,
                  true,
                  true,
                  true,
                  true},
        SliceCase{"NoSliceLengthMakesOneTest", 1000, {1000}, 1, 0, 0},
        SliceCase{"NoLimitNoSliceLengthStillPumpsBetweenTests", -2, Repeat(0, 4), 3, 3, 0},
        SliceCase{"NoLimitNegativeSliceLengthStillPumpsBetweenTests", -2, Repeat(0, 4), 3, 3, -5}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

class WaitTest : public ::testing::Test {
protected:
    void SetUp() override { RecordMainThread(); }
};

TEST_F(WaitTest, WaitOffTheMainThreadIsOneTestWithoutEvents) {
    StackRecord record;
    record.selectTimeoutOverride = 0;
    PumpedEndpoint endpoint(record);
    std::int32_t received = -1;
    std::thread other([&] { received = endpoint.Receive(1000); });
    other.join();
    EXPECT_EQ(received, 0);
    EXPECT_EQ(record.selectTimeouts, std::vector<std::int32_t>{1000});
    EXPECT_EQ(endpoint.dispatcher.processAll + endpoint.dispatcher.handleOne, 0);
}

TEST_F(WaitTest, WithoutPumpAWaitIsOneTest) {
    StackRecord record;
    record.selectTimeoutOverride = 0;
    const ScopedRecordingStack scoped(record);
    TIdUDPClient client;
    client.SetActive(true);
    std::array<std::uint8_t, 10> buffer{};
    std::string peerAddress;
    std::int32_t peerPort = 0;
    EXPECT_EQ(client.ReceiveDatagram(buffer, 10, peerAddress, peerPort, 1000), 0);
    EXPECT_EQ(record.selectTimeouts, std::vector<std::int32_t>{1000});
}

TEST_F(WaitTest, QueuedReplyEndsTheWaitAfterOneTestWithoutEvents) {
    StackRecord record;
    PumpedEndpoint endpoint(record);
    endpoint.peer.SendTo(endpoint.client.LocalPort(), "reply");
    EXPECT_EQ(endpoint.Receive(1000), 5);
    ASSERT_GE(record.selectTimeouts.size(), 1u);
    EXPECT_EQ(record.selectTimeouts.front(), 100);
    EXPECT_EQ(endpoint.dispatcher.processAll, static_cast<int>(record.selectTimeouts.size()) - 1);
}

TEST_F(WaitTest, NewestPumpIsInForceAndDestroyingAnyLeavesNone) {
    CountingDispatcher dispatcher;
    std::optional<TIdAntiFreeze> first(std::in_place, dispatcher);
    EXPECT_EQ(ActivePump(), &*first);
    std::optional<TIdAntiFreeze> second(std::in_place, dispatcher);
    EXPECT_EQ(ActivePump(), &*second);
    EXPECT_TRUE(PumpInUse());
    first.reset();
    EXPECT_EQ(ActivePump(), nullptr);
    EXPECT_FALSE(PumpInUse());
}

struct AfterWaitCase {
    bool idle;
    bool force;
    bool onlyWhenIdle;
    bool pumps;
};

void PrintTo(const AfterWaitCase& c, std::ostream* os) {
    *os << "idle " << c.idle << " force " << c.force << " onlyWhenIdle " << c.onlyWhenIdle;
}

class PumpAfterWaitTest : public ::testing::TestWithParam<AfterWaitCase> {
protected:
    void SetUp() override { RecordMainThread(); }
};

TEST_P(PumpAfterWaitTest, PumpsWhenIdleForcedOrNotOnlyWhenIdle) {
    CountingDispatcher dispatcher;
    TIdAntiFreeze pump(dispatcher);
    pump.SetOnlyWhenIdle(GetParam().onlyWhenIdle);
    PumpAfterWait(GetParam().idle, GetParam().force);
    EXPECT_EQ(dispatcher.processAll, GetParam().pumps ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Table, PumpAfterWaitTest,
                         ::testing::Values(AfterWaitCase{true, false, true, true},
                                           AfterWaitCase{false, false, true, false},
                                           AfterWaitCase{false, true, true, true},
                                           AfterWaitCase{false, false, false, true}));

TEST_F(WaitTest, WaitWithoutSocketRaisesConnClosedGracefully) {
    TIdSocketHandle handle;
    EXPECT_THROW(handle.WaitReadable(0), EIdConnClosedGracefully);
}

} // namespace
} // namespace tcpipset
