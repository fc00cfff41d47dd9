#include "LoopbackPeer.h"
#include "transport/IdExceptions.h"
#include "transport/IdStackPosix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <ostream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcpipset {
namespace {

using testing::LoopbackPeer;

class OwnedSockets {
public:
    explicit OwnedSockets(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const int socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            if (socket < 0) {
                throw std::runtime_error("no socket");
            }
            sockets_.push_back(socket);
        }
    }
    ~OwnedSockets() {
        for (const int socket : sockets_) {
            ::close(socket);
        }
    }
    OwnedSockets(const OwnedSockets&) = delete;
    OwnedSockets& operator=(const OwnedSockets&) = delete;
    const TIdSocketList& List() const { return sockets_; }

private:
    TIdSocketList sockets_;
};

enum class WhichList { Read, Write, Error };

void PrintTo(WhichList list, std::ostream* os) {
    *os << (list == WhichList::Read ? "Read" : list == WhichList::Write ? "Write" : "Error");
}

class SetSizeTest : public ::testing::TestWithParam<WhichList> {};

TEST_P(SetSizeTest, SixtyFiveSocketsInOneListAreRefused) {
    TIdStackPosix stack;
    const OwnedSockets sockets(65);
    TIdSocketList list = sockets.List();
    TIdSocketList* lists[3] = {nullptr, nullptr, nullptr};
    lists[static_cast<int>(GetParam())] = &list;
    EXPECT_THROW(stack.SelectSockets(lists[0], lists[1], lists[2], 0), EIdStackSetSizeExceeded);

    // Sixty-four is still a set: every unbound datagram socket may be written to.
    list.pop_back();
    const int ready = stack.SelectSockets(lists[0], lists[1], lists[2], 0);
    EXPECT_EQ(ready, GetParam() == WhichList::Write ? 64 : 0);
    EXPECT_EQ(list.size(), static_cast<std::size_t>(ready));
}

INSTANTIATE_TEST_SUITE_P(Lists, SetSizeTest,
                         ::testing::Values(WhichList::Read, WhichList::Write, WhichList::Error));

TEST(SelectSockets, ListsKeepOnlyReadySocketsAndResultCountsThem) {
    TIdStackPosix stack;
    const OwnedSockets sockets(2);
    const int withData = sockets.List()[0];
    const int quiet = sockets.List()[1];
    const LoopbackPeer peer;
    const std::uint8_t byte = 1;
    ASSERT_EQ(stack.SendTo(withData, {&byte, 1}, 1, 0, "127.0.0.1", peer.Port()), 1);
    ASSERT_TRUE(peer.Receive());
    peer.SendTo(stack.LocalPort(withData), "reply");
    TIdSocketList waitList{withData};
    ASSERT_EQ(stack.SelectSockets(&waitList, nullptr, nullptr, 2000), 1);

    // A socket given twice counts once, as in a set.
    TIdSocketList readList{quiet, withData, withData};
    TIdSocketList writeList{quiet};
    TIdSocketList errorList{withData, quiet};
    EXPECT_EQ(stack.SelectSockets(&readList, &writeList, &errorList, 0), 2);
    EXPECT_EQ(readList, TIdSocketList{withData});
    EXPECT_EQ(writeList, TIdSocketList{quiet});
    EXPECT_TRUE(errorList.empty());
}

// Keeps the descriptor of a received-into socket above the fd_set limit.
class HighDescriptor {
public:
    explicit HighDescriptor(int original) {
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur < 1200 && limit.rlim_max >= 1200) {
            limit.rlim_cur = 1200;
            ::setrlimit(RLIMIT_NOFILE, &limit);
        }
        fd_ = ::fcntl(original, F_DUPFD_CLOEXEC, 1100);
    }
    ~HighDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    HighDescriptor(const HighDescriptor&) = delete;
    HighDescriptor& operator=(const HighDescriptor&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_ = -1;
};

TEST(SelectSockets, DescriptorAbove1023IsTested) {
    TIdStackPosix stack;
    const TIdStackSocketHandle socket = stack.OpenIPv4Socket(IdSockDgram, 0);
    const HighDescriptor high(socket);
    stack.CloseSocket(socket);
    if (high.Fd() < 0) {
        GTEST_SKIP() << "cannot raise the descriptor limit above 1100";
    }
    ASSERT_GT(high.Fd(), 1023);

    const LoopbackPeer peer;
    // The first send binds the socket to a port of the system's choosing.
    const std::uint8_t byte = 7;
    ASSERT_EQ(stack.SendTo(high.Fd(), {&byte, 1}, 1, 0, "127.0.0.1", peer.Port()), 1);
    const auto arrived = peer.Receive();
    ASSERT_TRUE(arrived);
    const std::uint16_t port = stack.LocalPort(high.Fd());
    EXPECT_EQ(arrived->fromPort, port);

    TIdSocketList readList{high.Fd()};
    EXPECT_EQ(stack.SelectSockets(&readList, nullptr, nullptr, 0), 0);
    EXPECT_TRUE(readList.empty());

    peer.SendTo(port, "reply");
    readList = {high.Fd()};
    EXPECT_EQ(stack.SelectSockets(&readList, nullptr, nullptr, 2000), 1);
    EXPECT_EQ(readList, TIdSocketList{high.Fd()});
}

struct TimeoutCase {
    std::int32_t timeoutMs;
    std::int32_t result;
    std::int32_t error;     // when result is -1
    bool noSockets = false; // every list empty
};

void PrintTo(const TimeoutCase& c, std::ostream* os) {
    *os << c.timeoutMs << " ms" << (c.noSockets ? " without sockets" : "");
}

class SelectTimeoutTest : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(SelectTimeoutTest, NegativeLimitsOtherThanNoLimitFail) {
    TIdStackPosix stack;
    const OwnedSockets sockets(1);
    TIdSocketList readList = GetParam().noSockets ? TIdSocketList{} : sockets.List();
    TIdSocketList writeList;
    EXPECT_EQ(stack.SelectSockets(&readList, &writeList, nullptr, GetParam().timeoutMs),
              GetParam().result);
    if (GetParam().result == -1) {
        EXPECT_EQ(stack.LastError(), GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SelectTimeoutTest,
                         ::testing::Values(TimeoutCase{0, 0, 0}, TimeoutCase{10, 0, 0},
                                           TimeoutCase{-1, -1, 10022}, TimeoutCase{-3, -1, 10022},
                                           TimeoutCase{-2, -1, 10022, true},
                                           TimeoutCase{10, 0, 0, true}));

TEST(SelectSockets, NoLimitWithoutSocketsIsRefusedNotHung) {
    TIdStackPosix stack;
    // A closed descriptor fails at once, as select does.
    const int closed = [] {
        const OwnedSockets sockets(1);
        return sockets.List().front();
    }();
    TIdSocketList readList{closed};
    EXPECT_EQ(stack.SelectSockets(&readList, nullptr, nullptr, IdTimeoutInfinite), -1);
    EXPECT_EQ(stack.LastError(), 10009);
    TIdSocketList invalid{IdInvalidSocket};
    EXPECT_EQ(stack.SelectSockets(&invalid, nullptr, nullptr, 0), -1);
    EXPECT_EQ(stack.LastError(), 10009);
}

} // namespace
} // namespace tcpipset
