#include "LoopbackPeer.h"
#include "RecordingStack.h"
#include "transport/IdExceptions.h"
#include "transport/IdUDPClient.h"
#include "transport/MainThread.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <numeric>
#include <ostream>
#include <thread>

namespace tcpipset {
namespace {

using testing::LoopbackPeer;
using testing::ScopedRecordingStack;
using testing::StackRecord;

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
    return bytes;
}

// An endpoint aimed at a loopback peer that has sent once, so that it has a local port.
class EndpointTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordMainThread();
        client.SetHost("127.0.0.1");
        client.SetPort(peer.Port());
        client.SendText("hello");
        const auto first = peer.Receive();
        ASSERT_TRUE(first);
        ASSERT_EQ(std::string(first->bytes.begin(), first->bytes.end()), "hello");
        localPort = client.LocalPort();
        ASSERT_EQ(first->fromPort, localPort);
    }

    std::int32_t Receive(std::span<std::uint8_t> buffer, std::int32_t bufferSize,
                         std::int32_t timeoutMs = 2000) {
        return client.ReceiveDatagram(buffer, bufferSize, peerAddress, peerPort, timeoutMs);
    }

    LoopbackPeer peer;
    TIdUDPClient client;
    std::uint16_t localPort = 0;
    std::string peerAddress = "unchanged";
    std::int32_t peerPort = -1;
};

TEST_F(EndpointTest, NothingArrivingGivesZeroEmptyPeerAndUntouchedBuffer) {
    client.SetReceiveTimeout(1000);
    std::array<std::uint8_t, 100> buffer;
    buffer.fill(0xAB);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Receive(buffer, 100, -1), 0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(peerAddress, "");
    EXPECT_EQ(peerPort, 0);
    EXPECT_EQ(client.LastArrivalInterface(), "");
    EXPECT_TRUE(std::ranges::all_of(buffer, [](std::uint8_t b) { return b == 0xAB; }));
    EXPECT_GE(elapsed, std::chrono::milliseconds(950));
    EXPECT_LT(elapsed, std::chrono::milliseconds(3000));
}

TEST_F(EndpointTest, ZeroLengthDatagramIsTaken) {
    peer.SendTo(localPort, std::span<const std::uint8_t>{});
    std::array<std::uint8_t, 10> buffer{};
    EXPECT_EQ(Receive(buffer, 10), 0);
    EXPECT_EQ(peerAddress, "127.0.0.1");
    EXPECT_EQ(peerPort, peer.Port());
    EXPECT_EQ(client.LastArrivalInterface(), "lo");
}

struct TruncationCase {
    std::size_t datagram;
    std::size_t span;
    std::int32_t bufferSize;
    std::size_t filled; // bytes expected at the start of the span
    bool truncated;
};

void PrintTo(const TruncationCase& c, std::ostream* os) {
    *os << c.datagram << " bytes, span " << c.span << ", bufferSize " << c.bufferSize;
}

class TruncationTest : public EndpointTest, public ::testing::WithParamInterface<TruncationCase> {};

TEST_P(TruncationTest, LongDatagramFillsTheBufferSetsPeerAndRaises10040) {
    const auto& param = GetParam();
    const auto sent = Pattern(param.datagram);
    peer.SendTo(localPort, sent);
    std::vector<std::uint8_t> backing(param.span + 16, 0xEE);
    const std::span<std::uint8_t> buffer(backing.data(), param.span);

    std::int32_t result = -1;
    try {
        result = Receive(buffer, param.bufferSize);
        EXPECT_FALSE(param.truncated) << "no exception";
        EXPECT_EQ(result, static_cast<std::int32_t>(param.datagram));
    } catch (const EIdSocketError& error) {
        EXPECT_TRUE(param.truncated) << error.Message();
        EXPECT_EQ(error.SocketErrorCode(), 10040);
        EXPECT_EQ(error.Message(), "Socket Error # 10040\r\nMessage too long.");
    }
    EXPECT_TRUE(
        std::equal(sent.begin(), sent.begin() + static_cast<long>(param.filled), backing.begin()));
    // Nothing past what the receive may fill is written, also when bufferSize claims more.
    EXPECT_TRUE(std::all_of(backing.begin() + static_cast<long>(param.filled), backing.end(),
                            [](std::uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(peerAddress, "127.0.0.1");
    EXPECT_EQ(peerPort, peer.Port());
}

INSTANTIATE_TEST_SUITE_P(Table, TruncationTest,
                         ::testing::Values(TruncationCase{150, 200, 100, 100, true},
                                           TruncationCase{100, 100, 100, 100, false},
                                           TruncationCase{71, 70, 70, 70, true},
                                           TruncationCase{50, 10, 100, 10, true},
                                           TruncationCase{50, 100, 1000, 50, false},
                                           TruncationCase{3000, 4096, 4096, 3000, false},
                                           TruncationCase{5000, 4096, 4096, 4096, true}));

TEST_F(EndpointTest, TwoSendsUseTheSameLocalPort) {
    client.SendText("second");
    const auto second = peer.Receive();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->fromPort, localPort);
    EXPECT_EQ(client.LocalPort(), localPort);
}

TEST_F(EndpointTest, RepliesQueuedAfterAReceiveAreReadByTheNext) {
    peer.SendTo(localPort, "one");
    peer.SendTo(localPort, "two");
    std::array<std::uint8_t, 10> buffer{};
    ASSERT_EQ(Receive(buffer, 10), 3);
    ASSERT_EQ(Receive(buffer, 10), 3);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 3), "two");
}

TEST_F(EndpointTest, OwnDatagramLoopedBackIsNoReply) {
    client.SendBytesTo("127.0.0.1", localPort, Pattern(5), 5);
    peer.SendTo(localPort, "reply");
    std::array<std::uint8_t, 10> buffer{};
    ASSERT_EQ(Receive(buffer, 10), 5);
    EXPECT_EQ(peerPort, peer.Port());
    EXPECT_EQ(Receive(buffer, 10, 100), 0);
}

TEST_F(EndpointTest, ClosingEmptiesTheQueue) {
    peer.SendTo(localPort, "one");
    peer.SendTo(localPort, "two");
    std::array<std::uint8_t, 10> buffer{};
    ASSERT_EQ(Receive(buffer, 10), 3);
    client.SetActive(false);
    client.SetActive(true);
    EXPECT_EQ(Receive(buffer, 10, 100), 0);
}

// The read that took a pending error is the only one that will ever see it; a blocking
// read after it would wait without end.
TEST(Endpoint, PendingErrorTakenByTheReadIsRaised) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    LoopbackPeer peer;
    TIdUDPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(peer.Port());
    client.SendText("x");
    peer.SendTo(client.LocalPort(), "reply");
    record.batchError = 10054;
    std::array<std::uint8_t, 10> buffer{};
    std::string address;
    std::int32_t port = 0;
    try {
        client.ReceiveDatagram(buffer, 10, address, port, 2000);
        ADD_FAILURE() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 10054);
    }
}

// Replies from several senders spread over the sockets of a receive group; they come out in
// the order they arrived, and a discard empties every socket.
TEST(Endpoint, ReceiveGroupKeepsArrivalOrderAndDiscardsOnEverySocket) {
    RecordMainThread();
    std::array<LoopbackPeer, 8> peers;
    TIdUDPClient client;
    client.SetReceiveGroupSize(4);
    client.SetHost("127.0.0.1");
    client.SetPort(peers[0].Port());
    client.SendText("x");
    ASSERT_EQ(client.ReceiveSocketCount(), 4U);
    const std::uint16_t port = client.LocalPort();
    // The system switches its receive timestamps on a moment after the sockets ask for them,
    // from a worker that a loaded machine may run late; until then datagrams are stamped when
    // read. It also may hand loopback datagrams to the sockets late. Both are waited for.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto sendAll = [&] {
        for (std::size_t i = 0; i < peers.size(); ++i) {
            peers[i].SendTo(port, std::string(1, static_cast<char>('a' + i)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    sendAll();
    std::string order;
    std::array<std::uint8_t, 10> buffer{};
    std::string address;
    std::int32_t peerPort = 0;
    while (client.ReceiveDatagram(buffer, 10, address, peerPort, 200) == 1) {
        order += static_cast<char>(buffer[0]);
    }
    EXPECT_EQ(order, "abcdefgh");
    sendAll();
    EXPECT_EQ(client.DiscardPendingDatagrams(), 8);
    EXPECT_EQ(client.ReceiveDatagram(buffer, 10, address, peerPort, 100), 0);
    EXPECT_EQ(client.DroppedDatagrams(), 0U);
}

TEST_F(EndpointTest, DiscardDropsQueuedDatagramsAndKeepsThePort) {
    peer.SendTo(localPort, "one");
    peer.SendTo(localPort, Pattern(300)); // longer than anything the operations read
    peer.SendTo(localPort, std::span<const std::uint8_t>{});
    // Delivery may lag the sends, so drop until all three are gone or time runs out.
    int dropped = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (dropped < 3 && std::chrono::steady_clock::now() < deadline) {
        dropped += client.DiscardPendingDatagrams();
    }
    EXPECT_EQ(dropped, 3);
    EXPECT_EQ(client.DiscardPendingDatagrams(), 0);
    EXPECT_EQ(client.LocalPort(), localPort);

    peer.SendTo(localPort, "after");
    std::array<std::uint8_t, 10> buffer{};
    ASSERT_EQ(Receive(buffer, 10), 5);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "after");
}

TEST_F(EndpointTest, LargeSendsAreNotLimitedByBufferSize) {
    client.SetBufferSize(576);
    const auto bytes = Pattern(1000);
    client.SendBytes(bytes, 1000);
    const auto arrived = peer.Receive();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->bytes, bytes);
}

TEST_F(EndpointTest, DatagramBeyondThePlatformLimitIsPackageSizeTooBig) {
    const std::string text(70000, 'x');
    EXPECT_THROW(client.SendText(text), EIdPackageSizeTooBig);
    EXPECT_TRUE(client.Active());
}

struct CountCase {
    std::size_t buffer;
    std::int32_t byteCount;
    std::size_t arrives; // bytes the peer gets; none when the send is refused
    enum { None, NotAllSent, InvalidArgument } raises;
};

void PrintTo(const CountCase& c, std::ostream* os) {
    *os << "buffer " << c.buffer << ", byteCount " << c.byteCount;
}

class ByteCountTest : public EndpointTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(ByteCountTest, SendsTheFirstByteCountBytesOfTheBuffer) {
    const auto& param = GetParam();
    const auto bytes = Pattern(param.buffer);
    try {
        client.SendBytes(bytes, param.byteCount);
        EXPECT_EQ(param.raises, CountCase::None);
    } catch (const EIdNotAllBytesSent&) {
        EXPECT_EQ(param.raises, CountCase::NotAllSent);
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(param.raises, CountCase::InvalidArgument);
        EXPECT_EQ(error.SocketErrorCode(), 10022);
    }
    const auto arrived = peer.Receive(param.raises == CountCase::InvalidArgument ? 100 : 2000);
    if (param.raises == CountCase::InvalidArgument) {
        EXPECT_FALSE(arrived);
        return;
    }
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->bytes, std::vector<std::uint8_t>(
                                  bytes.begin(), bytes.begin() + static_cast<long>(param.arrives)));
}

INSTANTIATE_TEST_SUITE_P(Table, ByteCountTest,
                         ::testing::Values(CountCase{10, 10, 10, CountCase::None},
                                           CountCase{10, 4, 4, CountCase::None},
                                           CountCase{10, 0, 0, CountCase::None},
                                           CountCase{10, 25, 10, CountCase::NotAllSent},
                                           CountCase{10, -1, 0, CountCase::InvalidArgument}));

TEST(Endpoint, DiscardWithoutSocketDoesNothing) {
    TIdUDPClient client;
    EXPECT_EQ(client.DiscardPendingDatagrams(), 0);
    EXPECT_FALSE(client.Active());
}

// The sequence of platform calls for one use of the endpoint, through a recording stack.
struct CallCase {
    const char* name;
    std::function<void(TIdUDPClient&)> use;
    std::vector<std::string> calls;
};

void PrintTo(const CallCase& c, std::ostream* os) {
    *os << c.name;
}

class PlatformCallTest : public ::testing::TestWithParam<CallCase> {};

TEST_P(PlatformCallTest, MakesExactlyTheseCalls) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    {
        TIdUDPClient client;
        client.SetHost("127.0.0.1");
        client.SetPort(9);
        record.lookupAnswers["printer"] = "127.0.0.1";
        record.calls.clear();
        GetParam().use(client);
    }
    EXPECT_EQ(record.calls, GetParam().calls);
}

const std::string Open = "open 2 2 0";
const std::string BroadcastOn = "setsockopt 65535 32 -1 len 4";
const std::string BroadcastOff = "setsockopt 65535 32 0 len 4";
const std::vector<std::string> Close = {"shutdown 1", "close"};

std::vector<std::string> Then(std::vector<std::string> first,
                              const std::vector<std::string>& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PlatformCallTest,
    ::testing::Values(
        CallCase{"NoSocketNoCalls", [](TIdUDPClient&) {}, {}},
        CallCase{"BroadcastBeforeSocketWaitsForIt",
                 [](TIdUDPClient& c) {
                     c.SetBroadcastEnabled(true);
                     c.SendText("abc");
                 },
                 Then({Open, BroadcastOn, "sendto 127.0.0.1:9 3"}, Close)},
        CallCase{"NewSocketGetsTheOptionAlsoWhenOff", [](TIdUDPClient& c) { c.SendText("abc"); },
                 Then({Open, BroadcastOff, "sendto 127.0.0.1:9 3"}, Close)},
        CallCase{"BroadcastOnActiveSocketAppliesAtOnce",
                 [](TIdUDPClient& c) {
                     c.SetActive(true);
                     c.SetBroadcastEnabled(true);
                     c.SetBroadcastEnabled(true);
                     c.SetBroadcastEnabled(false);
                 },
                 Then({Open, BroadcastOff, BroadcastOn, BroadcastOff}, Close)},
        CallCase{"ActiveFalseClosesAndTrueOpensAgain",
                 [](TIdUDPClient& c) {
                     c.SetActive(true);
                     c.SetActive(true);
                     c.SetActive(false);
                     c.SetActive(false);
                     c.SetActive(true);
                 },
                 Then(Then({Open, BroadcastOff}, Close), Then({Open, BroadcastOff}, Close))},
        CallCase{"HostNameIsLookedUpBeforeTheSocket",
                 [](TIdUDPClient& c) {
                     c.SetHost("printer");
                     c.SendText("x");
                 },
                 Then({"lookup printer", Open, BroadcastOff, "sendto 127.0.0.1:9 1"}, Close)},
        CallCase{"LoadingDefersActive",
                 [](TIdUDPClient& c) {
                     c.BeginLoading();
                     c.SetActive(true);
                     EXPECT_TRUE(c.Active());
                     c.EndLoading();
                 },
                 Then({Open, BroadcastOff}, Close)}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

// An interface that can carry a broadcast, unless a case takes something away.
TIdInterface Good(const char* name, std::uint32_t index, TIdIPv4Bytes address) {
    return {name, index, true, true, false, address, 24, {}};
}

TIdInterface Without(TIdInterface entry, bool TIdInterface::*flag) {
    entry.*flag = !(entry.*flag);
    return entry;
}

TIdInterface NoAddress(TIdInterface entry) {
    entry.address.reset();
    return entry;
}

const TIdInterface Eth0 = Good("eth0", 2, {198, 19, 0, 1});
const TIdInterface Wlan0 = Good("wlan0", 3, {198, 19, 64, 1});

struct InterfaceCase {
    const char* name;
    TIdInterfaceList interfaces;
    std::map<std::string, std::int32_t> refusing;
    std::vector<std::string> limit;
    const char* host;
    std::vector<std::string> sends;
    std::int32_t error = 0;
};

void PrintTo(const InterfaceCase& c, std::ostream* os) {
    *os << c.name;
}

class InterfaceChoiceTest : public ::testing::TestWithParam<InterfaceCase> {};

// The interface list is scripted and no send reaches the platform: the recording stack
// answers them.
TEST_P(InterfaceChoiceTest, SendsOneCopyPerUsableInterface) {
    const InterfaceCase& c = GetParam();
    StackRecord record;
    record.interfaces = c.interfaces;
    record.refusingInterfaces = c.refusing;
    const ScopedRecordingStack scoped(record);
    TIdUDPClient client;
    client.SetHost(c.host);
    client.SetPort(5001);
    client.SetBroadcastEnabled(true);
    client.SetBroadcastInterfaces(c.limit);
    std::int32_t error = 0;
    try {
        client.SendText("PTN000000G");
    } catch (const EIdSocketError& failure) {
        error = failure.SocketErrorCode();
    }
    std::vector<std::string> sends;
    std::ranges::copy_if(record.calls, std::back_inserter(sends),
                         [](const std::string& call) { return call.starts_with("sendto"); });
    EXPECT_EQ(sends, c.sends);
    EXPECT_EQ(error, c.error);
}

const std::string ViaEth0 = "sendto 255.255.255.255:5001 10 via eth0 from 198.19.0.1";
const std::string ViaWlan0 = "sendto 255.255.255.255:5001 10 via wlan0 from 198.19.64.1";
const std::string Plain = "sendto 255.255.255.255:5001 10";

INSTANTIATE_TEST_SUITE_P(
    Table, InterfaceChoiceTest,
    ::testing::Values(
        InterfaceCase{"OneInterfaceOneDatagram", {Eth0}, {}, {}, "255.255.255.255", {ViaEth0}},
        InterfaceCase{"TwoInterfacesOneCopyEach",
                      {Eth0, Wlan0},
                      {},
                      {},
                      "255.255.255.255",
                      {ViaEth0, ViaWlan0}},
        InterfaceCase{"DownLoopbackNoBroadcastNoAddressAreSkipped",
                      {Without(Good("eth1", 4, {198, 18, 1, 1}), &TIdInterface::up),
                       Without(Good("lo", 1, {127, 0, 0, 1}), &TIdInterface::loopback),
                       Without(Good("tun0", 5, {198, 18, 2, 1}), &TIdInterface::broadcast),
                       NoAddress(Good("eth2", 6, {})), Wlan0},
                      {},
                      {},
                      "255.255.255.255",
                      {ViaWlan0}},
        InterfaceCase{"SecondAddressOfAnInterfaceSendsNoSecondCopy",
                      {Eth0, Good("eth0", 2, {198, 18, 9, 9})},
                      {},
                      {},
                      "255.255.255.255",
                      {ViaEth0}},
        InterfaceCase{"RefusedOnOneTakenByTheOther",
                      {Eth0, Wlan0},
                      {{"eth0", 10050}},
                      {},
                      "255.255.255.255",
                      {ViaEth0, ViaWlan0}},
        InterfaceCase{"RefusedOnEveryOneRaisesTheRefusal",
                      {Eth0, Wlan0},
                      {{"eth0", 10050}, {"wlan0", 10065}},
                      {},
                      "255.255.255.255",
                      {ViaEth0, ViaWlan0},
                      10065},
        InterfaceCase{"NoUsableInterfaceIsOnePlainSend",
                      {Without(Good("lo", 1, {127, 0, 0, 1}), &TIdInterface::loopback)},
                      {},
                      {},
                      "255.255.255.255",
                      {Plain}},
        InterfaceCase{"DirectedBroadcastIsOnePlainSend",
                      {Eth0, Wlan0},
                      {},
                      {},
                      "198.19.255.255",
                      {"sendto 198.19.255.255:5001 10"}},
        InterfaceCase{"LimitedToTheNamedInterface",
                      {Eth0, Wlan0},
                      {},
                      {"wlan0"},
                      "255.255.255.255",
                      {ViaWlan0}},
        InterfaceCase{"LimitNamingNoUsableInterfaceSendsNothing",
                      {Eth0, Without(Wlan0, &TIdInterface::up)},
                      {},
                      {"wlan0"},
                      "255.255.255.255",
                      {},
                      10051}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(Endpoint, LocalhostInLowerCaseReachesTheLoopbackPeer) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    const LoopbackPeer peer;
    TIdUDPClient client;
    client.SetHost("localhost");
    client.SetPort(peer.Port());
    client.SendText("ping");
    const auto arrived = peer.Receive();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(std::string(arrived->bytes.begin(), arrived->bytes.end()), "ping");
    EXPECT_TRUE(record.lookups.empty());
}

TEST(Endpoint, FailedLookupCreatesNoSocket) {
    StackRecord record;
    const ScopedRecordingStack scoped(record);
    TIdUDPClient client;
    client.SetHost("10.0.0");
    try {
        client.SendText("x");
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 11001);
    }
    EXPECT_FALSE(client.Active());
    EXPECT_EQ(record.lookups, std::vector<std::string>{"10.0.0"});
}

TEST(Endpoint, SocketRefusedStaysUnallocatedAndIsTriedAgain) {
    StackRecord record;
    record.failOpen = true;
    const ScopedRecordingStack scoped(record);
    TIdUDPClient client;
    EXPECT_THROW(client.SetActive(true), EIdInvalidSocket);
    EXPECT_FALSE(client.Active());
    record.failOpen = false;
    client.SetActive(true);
    EXPECT_TRUE(client.Active());
}

TEST(Endpoint, FailedBroadcastOptionKeepsTheSocketAndIsNotRetried) {
    StackRecord record;
    record.failSetSocketOption = true;
    const ScopedRecordingStack scoped(record);
    const LoopbackPeer peer;
    TIdUDPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(peer.Port());
    try {
        client.SendText("x");
        FAIL() << "no exception";
    } catch (const EIdSocketError& error) {
        EXPECT_EQ(error.SocketErrorCode(), 10042);
    }
    EXPECT_TRUE(client.Active());
    EXPECT_FALSE(peer.Receive(100));

    client.SendText("y");
    const auto arrived = peer.Receive();
    ASSERT_TRUE(arrived);
    EXPECT_EQ(arrived->bytes, std::vector<std::uint8_t>{'y'});
}

} // namespace
} // namespace tcpipset
