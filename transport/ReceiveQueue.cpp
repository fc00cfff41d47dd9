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

bool ReceiveQueue::Fill(TIdStack& stack, const TIdSocketList& sockets) {
    bool readAny = false;
    std::size_t socketsWithNews = 0;
    for (const auto socket : sockets) {
        const std::size_t before = fresh_.size();
        readAny = ReadWaiting(stack, socket, [this, socket] { KeepBatch(socket); }) >= 0 || readAny;
        socketsWithNews += fresh_.size() > before ? 1U : 0U;
    }
    QueueFresh(socketsWithNews > 1);
    return readAny;
}

std::size_t ReceiveQueue::Drain(TIdStack& stack, const TIdSocketList& sockets) {
    std::size_t drained = 0;
    for (const auto socket : sockets) {
        drained += static_cast<std::size_t>(std::max(ReadWaiting(stack, socket, [] {}), 0));
    }
    return drained;
}

void ReceiveQueue::KeepBatch(TIdStackSocketHandle socket) {
    auto& overflow = systemDropped_[socket];
    for (std::size_t i = 0; i < infos_.size(); ++i) {
        overflow = std::max(overflow, infos_[i].systemDropsBefore);
        if (IsOwn(infos_[i])) {
            continue;
        }
        const std::size_t kept = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(infos_[i].length, 0)), KeptBytes);
        const std::uint8_t* head = heads_.data() + i * HeadBytes;
        const std::uint8_t* tail = tails_.get() + i * TailBytes;
        const std::size_t inHead = std::min(kept, HeadBytes);
        std::vector<std::uint8_t> bytes(head, head + inHead);
        bytes.insert(bytes.end(), tail, tail + (kept - inHead));
        fresh_.push_back({std::move(bytes), std::move(infos_[i])});
    }
}

void ReceiveQueue::QueueFresh(bool fromSeveralSockets) {
    if (fromSeveralSockets) {
        // Each socket keeps its own order; across them the arrival time tells.
        std::ranges::stable_sort(fresh_, {},
                                 [](const Datagram& datagram) { return datagram.info.arrivalNs; });
    }
    for (auto& datagram : fresh_) {
        if (datagrams_.size() >= maxDatagrams_ || bytes_ + datagram.bytes.size() > maxBytes_) {
            ++dropped_;
            continue;
        }
        bytes_ += datagram.bytes.size();
        datagrams_.push_back(std::move(datagram));
    }
    fresh_.clear();
}

std::uint64_t ReceiveQueue::SystemDropped() const {
    std::uint64_t total = 0;
    for (const auto& [socket, count] : systemDropped_) {
        total += count;
    }
    return total;
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
