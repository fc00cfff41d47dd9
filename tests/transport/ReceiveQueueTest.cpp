#include "transport/ReceiveQueue.h"

#include "RecordingStack.h"

#include <algorithm>
#include <gtest/gtest.h>
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
        EXPECT_TRUE(queue.Fill(stack, -1));
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
    queue.Fill(stack, -1);
    EXPECT_EQ(queue.SystemDropped(), 9u);
    *record.arrivals = Arrivals(Many(40, 20));
    EXPECT_EQ(queue.Clear(), 10u);
    EXPECT_EQ(queue.Drain(stack, -1), 40u);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Dropped(), 0u);
    EXPECT_TRUE(record.arrivals->empty());
}

} // namespace
} // namespace tcpipset
