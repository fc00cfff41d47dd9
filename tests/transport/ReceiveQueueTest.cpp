#include "transport/ReceiveQueue.h"

#include "RecordingStack.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <ostream>

namespace tcpipset {
namespace {

using testing::RecordingStack;
using testing::StackRecord;

// Datagram i is i+1 repeated, of the given length, from 198.18.0.(i % 250) port 5001.
std::deque<StackRecord::Arrival> Arrivals(const std::vector<std::size_t>& lengths) {
    std::deque<StackRecord::Arrival> arrivals;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        arrivals.push_back({std::vector<std::uint8_t>(lengths[i], static_cast<std::uint8_t>(i + 1)),
                            {static_cast<std::int32_t>(lengths[i]),
                             {198, 18, 0, static_cast<std::uint8_t>(i % 250)},
                             5001,
                             static_cast<std::uint32_t>(2 + i % 2)}});
    }
    return arrivals;
}

struct QueueCase {
    const char* name;
    std::vector<std::size_t> lengths;
    std::size_t maxDatagrams;
    std::size_t maxBytes;
    int fills;
    std::size_t queued;
    std::uint64_t dropped;
};

void PrintTo(const QueueCase& c, std::ostream* os) {
    *os << c.name;
}

class ReceiveQueueTest : public ::testing::TestWithParam<QueueCase> {};

// Whatever is kept comes out in order of arrival, with its first bytes, its whole length,
// its sender and its interface; whatever the bounds refuse is counted.
TEST_P(ReceiveQueueTest, KeepsOrderWithinBoundsAndCountsTheRest) {
    const QueueCase& c = GetParam();
    StackRecord record;
    record.arrivals = Arrivals(c.lengths);
    RecordingStack stack(record);
    ReceiveQueue queue(c.maxDatagrams, c.maxBytes);
    for (int i = 0; i < c.fills; ++i) {
        EXPECT_TRUE(queue.Fill(stack, {-1}));
    }
    EXPECT_EQ(queue.Size(), c.queued);
    EXPECT_EQ(queue.Dropped(), c.dropped);
    for (std::size_t i = 0; !queue.Empty(); ++i) {
        const ReceiveQueue::Datagram datagram = queue.Take();
        EXPECT_EQ(datagram.info.length, static_cast<std::int32_t>(c.lengths[i]));
        EXPECT_EQ(datagram.bytes.size(), std::min(c.lengths[i], ReceiveQueue::KeptBytes));
        EXPECT_TRUE(std::ranges::all_of(
            datagram.bytes, [i](std::uint8_t b) { return b == static_cast<std::uint8_t>(i + 1); }));
        EXPECT_EQ(datagram.info.peer[3], i % 250);
        EXPECT_EQ(datagram.info.arrivalInterface, 2 + i % 2);
    }
}

std::vector<std::size_t> Many(std::size_t count, std::size_t length) {
    return std::vector<std::size_t>(count, length);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReceiveQueueTest,
    ::testing::Values(QueueCase{"SeveralBatchesInOrder", Many(70, 40), 100, 1 << 20, 1, 70, 0},
                      QueueCase{"EmptyAndLongDatagramsKeepTheirWholeLength",
                                {0, 3000, 2048, 2049, 10},
                                100,
                                1 << 20,
                                1,
                                5,
                                0},
                      QueueCase{"CountBoundDropsTheSurplus", Many(40, 40), 25, 1 << 20, 1, 25, 15},
                      QueueCase{"ByteBoundDropsTheSurplus", Many(10, 40), 100, 100, 1, 2, 8},
                      QueueCase{"OneFillReadsBoundedly",
                                Many(ReceiveQueue::MaxReadPerFill + 100, 10), 100000, 1 << 20, 1,
                                ReceiveQueue::MaxReadPerFill, 0},
                      QueueCase{"TheNextFillReadsOn", Many(ReceiveQueue::MaxReadPerFill + 100, 10),
                                100000, 1 << 20, 2, ReceiveQueue::MaxReadPerFill + 100, 0}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ReceiveQueue, SystemDropsAreTakenAndClearAndDrainAreNotCountedAsLost) {
    StackRecord record;
    record.arrivals = Arrivals(Many(50, 20));
    RecordingStack stack(record);
    ReceiveQueue queue;
    record.arrivals->resize(10);
    (*record.arrivals)[3].info.systemDropsBefore = 7; // the system's count only grows
    (*record.arrivals)[4].info.systemDropsBefore = 9;
    (*record.arrivals)[5].info.systemDropsBefore = 0;
    queue.Fill(stack, {-1});
    EXPECT_EQ(queue.SystemDropped(), 9u);
    *record.arrivals = Arrivals(Many(40, 20));
    EXPECT_EQ(queue.Clear(), 10u);
    EXPECT_EQ(queue.Drain(stack, {-1}), 40u);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Dropped(), 0u);
    EXPECT_TRUE(record.arrivals->empty());
}

// A receive group: datagram n (its one byte) arrived at time n on the socket its row names.
struct GroupCase {
    const char* name;
    std::map<TIdStackSocketHandle, std::vector<std::uint8_t>> arrivalsBySocket;
    std::vector<std::uint8_t> order;
};

void PrintTo(const GroupCase& c, std::ostream* os) {
    *os << c.name;
}

class ReceiveGroupQueueTest : public ::testing::TestWithParam<GroupCase> {
protected:
    void SetUp() override {
        for (const auto& [socket, numbers] : GetParam().arrivalsBySocket) {
            sockets.push_back(socket);
            auto& waiting = record.socketArrivals[socket];
            for (const std::uint8_t n : numbers) {
                waiting.push_back({{n}, {1, {198, 18, 0, n}, 5001, 2, 0, std::int64_t{n} * 1000}});
            }
        }
    }
    StackRecord record;
    TIdSocketList sockets;
};

TEST_P(ReceiveGroupQueueTest, MergesTheSocketsByArrivalTime) {
    RecordingStack stack(record);
    ReceiveQueue queue;
    EXPECT_TRUE(queue.Fill(stack, sockets));
    std::vector<std::uint8_t> order;
    while (!queue.Empty()) {
        order.push_back(queue.Take().bytes.at(0));
    }
    EXPECT_EQ(order, GetParam().order);
}

TEST_P(ReceiveGroupQueueTest, DiscardEmptiesEverySocket) {
    RecordingStack stack(record);
    ReceiveQueue queue;
    EXPECT_EQ(queue.Drain(stack, sockets), GetParam().order.size());
    for (const auto& [socket, waiting] : record.socketArrivals) {
        EXPECT_TRUE(waiting.empty()) << "socket " << socket;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReceiveGroupQueueTest,
    ::testing::Values(
        GroupCase{"InterleavedOverTwo", {{7, {1, 3, 5}}, {8, {2, 4}}}, {1, 2, 3, 4, 5}},
        GroupCase{"OneSocketBehindAnother", {{7, {4, 5}}, {8, {1, 2}}, {9, {3}}}, {1, 2, 3, 4, 5}},
        // The kernel's order within a socket stands, whatever the stamps say.
        GroupCase{"OneSocketAloneKeepsItsOrder", {{7, {3, 1, 2}}}, {3, 1, 2}},
        GroupCase{"NothingWaiting", {{7, {}}, {8, {}}}, {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

} // namespace
} // namespace tcpipset
