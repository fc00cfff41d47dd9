#include "transport/ReceiveQueue.h"

#include <algorithm>

namespace tcpipset {

namespace {
constexpr std::size_t TailBytes = ReceiveQueue::KeptBytes - ReceiveQueue::HeadBytes;
}

ReceiveQueue::ReceiveQueue(std::size_t maxDatagrams, std::size_t maxBytes)
    : maxDatagrams_(maxDatagrams), maxBytes_(maxBytes), heads_(BatchSize * HeadBytes),
      tails_(std::make_unique_for_overwrite<std::uint8_t[]>(BatchSize * TailBytes)) {}

template <class OnBatch>
std::int32_t ReceiveQueue::ReadWaiting(TIdStack& stack, TIdStackSocketHandle socket,
                                       OnBatch onBatch) {
    std::size_t read = 0;
    while (read < MaxReadPerFill) {
        const std::int32_t taken = stack.ReceiveBatch(
            socket, {heads_, HeadBytes, std::span(tails_.get(), BatchSize * TailBytes), TailBytes},
            infos_);
        if (taken < 0) {
            return read == 0 ? -1 : static_cast<std::int32_t>(read);
        }
        onBatch();
        read += static_cast<std::size_t>(taken);
        if (static_cast<std::size_t>(taken) < BatchSize) {
            break; // the kernel has nothing more just now
        }
    }
    return static_cast<std::int32_t>(read);
}

bool ReceiveQueue::Fill(TIdStack& stack, TIdStackSocketHandle socket) {
    return ReadWaiting(stack, socket, [this] { KeepBatch(); }) >= 0;
}

std::size_t ReceiveQueue::Drain(TIdStack& stack, TIdStackSocketHandle socket) {
    return static_cast<std::size_t>(std::max(ReadWaiting(stack, socket, [] {}), 0));
}

void ReceiveQueue::KeepBatch() {
    for (std::size_t i = 0; i < infos_.size(); ++i) {
        systemDropped_ = std::max<std::uint64_t>(systemDropped_, infos_[i].systemDropsBefore);
        if (IsOwn(infos_[i])) {
            continue;
        }
        const std::size_t kept = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(infos_[i].length, 0)), KeptBytes);
        if (datagrams_.size() >= maxDatagrams_ || bytes_ + kept > maxBytes_) {
            ++dropped_;
            continue;
        }
        const std::uint8_t* head = heads_.data() + i * HeadBytes;
        const std::uint8_t* tail = tails_.get() + i * TailBytes;
        const std::size_t inHead = std::min(kept, HeadBytes);
        std::vector<std::uint8_t> bytes(head, head + inHead);
        bytes.insert(bytes.end(), tail, tail + (kept - inHead));
        datagrams_.push_back({std::move(bytes), std::move(infos_[i])});
        bytes_ += kept;
    }
}

void ReceiveQueue::IgnoreOwnDatagrams(std::vector<TIdIPv4Bytes> addresses, std::uint16_t port) {
    ownAddresses_ = std::move(addresses);
    ownPort_ = port;
}

bool ReceiveQueue::IsOwn(const TIdDatagramInfo& info) const {
    if (ownPort_ == 0 || info.peerPort != ownPort_) {
        return false;
    }
    // Every address of 127/8 is this machine's, listed or not.
    return info.peer[0] == 127 ||
           std::ranges::find(ownAddresses_, info.peer) != ownAddresses_.end();
}

ReceiveQueue::Datagram ReceiveQueue::Take() {
    Datagram first = std::move(datagrams_.front());
    datagrams_.pop_front();
    bytes_ -= first.bytes.size();
    return first;
}

std::size_t ReceiveQueue::Clear() {
    const std::size_t held = datagrams_.size();
    datagrams_.clear();
    bytes_ = 0;
    return held;
}

} // namespace tcpipset
