#pragma once

#include "transport/IdStack.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

namespace tcpipset {

// The endpoint's own queue of received datagrams. Whenever its sockets are read, every
// datagram waiting in the kernel is moved here in batches, so that a thousand replies
// delivered back to back do not overflow the kernel's buffers while the operation reads
// them one at a time. Order is kept, across the sockets of a receive group by the time
// each datagram arrived; what the queue must drop at its bounds is counted.
class ReceiveQueue {
public:
    struct Datagram {
        std::vector<std::uint8_t> bytes; // the whole datagram
        TIdDatagramInfo info;
    };

    // Room for any UDP datagram over IPv4 (65,507 bytes of payload at most), so that a
    // caller's buffer of any size gets what a plain receive into it would give.
    static constexpr std::size_t KeptBytes = 65536;
    // The first bytes of each datagram of a batch, read side by side: more than any reply
    // is long. Only a longer datagram reaches the room behind them.
    static constexpr std::size_t HeadBytes = 2048;
    static constexpr std::size_t BatchSize = 64;
    static constexpr std::size_t DefaultMaxDatagrams = 65536;
    static constexpr std::size_t DefaultMaxBytes = 32 * 1024 * 1024;
    // The most datagrams one Fill reads, so that a sender that never stops cannot keep it
    // reading for ever.
    static constexpr std::size_t MaxReadPerFill = 8192;

    explicit ReceiveQueue(std::size_t maxDatagrams = DefaultMaxDatagrams,
                          std::size_t maxBytes = DefaultMaxBytes);

    // Moves what waits on the sockets into the queue, without waiting; datagrams beyond the
    // bounds are read and dropped. Returns false when the platform failed before anything
    // was read (its error stays in the stack).
    bool Fill(TIdStack& stack, const TIdSocketList& sockets);
    // Reads and drops what waits on the sockets, without waiting, as far as MaxReadPerFill
    // each; returns how many.
    std::size_t Drain(TIdStack& stack, const TIdSocketList& sockets);

    bool Empty() const { return datagrams_.empty(); }
    std::size_t Size() const { return datagrams_.size(); }
    Datagram Take();
    // Datagrams from one of these addresses and this port are the endpoint's own, looped
    // back to it (a limited broadcast to its own port): they are read and dropped, and
    // not counted. Port 0: none is the endpoint's own.
    void IgnoreOwnDatagrams(std::vector<TIdIPv4Bytes> addresses, std::uint16_t port);
    // Empties the queue; returns how many datagrams it held. Not counted as dropped.
    std::size_t Clear();
    // Forgets the counts of system drops that the datagrams of closed sockets told of.
    void ForgetSockets() { systemDropped_.clear(); }
    // Datagrams dropped at the bounds since the queue was made.
    std::uint64_t Dropped() const { return dropped_; }
    // Datagrams that the system dropped before they could be read, as far as a datagram read
    // after them told, on every socket read.
    std::uint64_t SystemDropped() const;

private:
    // Reads batch after batch of what waits, without waiting and at most MaxReadPerFill,
    // handing each batch to onBatch; returns how many were read, -1 when the platform
    // failed before anything was.
    template <class OnBatch>
    std::int32_t ReadWaiting(TIdStack& stack, TIdStackSocketHandle socket, OnBatch onBatch);
    // Takes the batch just read from the socket into the datagrams of this fill.
    void KeepBatch(TIdStackSocketHandle socket);
    // Moves the datagrams of this fill into the queue, in the order they arrived, within
    // the bounds.
    void QueueFresh(bool fromSeveralSockets);
    bool IsOwn(const TIdDatagramInfo& info) const;

    std::size_t maxDatagrams_;
    std::size_t maxBytes_;
    std::deque<Datagram> datagrams_;
    std::size_t bytes_ = 0;
    std::uint64_t dropped_ = 0;
    // The highest count of system drops each socket told of.
    std::map<TIdStackSocketHandle, std::uint32_t> systemDropped_;
    std::vector<Datagram> fresh_;
    std::vector<TIdIPv4Bytes> ownAddresses_;
    std::uint16_t ownPort_ = 0;
    // The heads are touched at once, since a page first touched during a burst costs a
    // fault while the kernel's buffer fills; the tails are left uninitialised, so that
    // only the pages a long datagram is written to are ever touched.
    std::vector<std::uint8_t> heads_;
    std::unique_ptr<std::uint8_t[]> tails_;
    std::vector<TIdDatagramInfo> infos_;
};

} // namespace tcpipset
