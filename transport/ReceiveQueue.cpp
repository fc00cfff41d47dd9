#include "transport/ReceiveQueue.h"

#include <algorithm>

namespace tcpipset {

ReceiveQueue::ReceiveQueue(std::size_t maxDatagrams, std::size_t maxBytes)
    : maxDatagrams_(maxDatagrams), maxBytes_(maxBytes), scratch_(BatchSize * KeptBytes) {}

template <class OnBatch>
std::int32_t ReceiveQueue::ReadWaiting(TIdStack& stack, TIdStackSocketHandle socket,
                                       OnBatch onBatch) {
    std::size_t read = 0;
    while (read < MaxReadPerFill) {
        const std::int32_t taken = stack.ReceiveBatch(socket, scratch_, KeptBytes, infos_);
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
        const std::size_t kept = std::min<std::size_t>(
            static_cast<std::size_t>(std::max(infos_[i].length, 0)), KeptBytes);
        if (datagrams_.size() >= maxDatagrams_ || bytes_ + kept > maxBytes_) {
            ++dropped_;
            continue;
        }
        const auto first = scratch_.begin() + static_cast<std::ptrdiff_t>(i * KeptBytes);
        datagrams_.push_back(
            {{first, first + static_cast<std::ptrdiff_t>(kept)}, std::move(infos_[i])});
        bytes_ += kept;
    }
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
