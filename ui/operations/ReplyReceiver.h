#pragma once

#include "protocol/ReplyWalk.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tcpipset {

class TIdUDPClient;

// One operation's reply buffer and the receives into it. The buffer is zeroed before
// every receive, so every byte past a received datagram reads as 0.
class ReplyReceiver {
public:
    // An operation's receive loop ends at the first receive that brings nothing; a sender
    // that never stops would hold it, and the window, for ever. After this long, or this
    // many datagrams, of unbroken arrivals the loop ends as if the walk had aborted.
    static constexpr std::chrono::seconds ArrivalTimeLimit{30};
    static constexpr std::int32_t ArrivalCountLimit = 100000;

    ReplyReceiver(TIdUDPClient& client, std::size_t bufferSize, std::size_t bytesPerReceive);

    // One receive with the endpoint's own time-out. A datagram longer than the bytes taken
    // per receive is read from its first bytes like any other reply, and counts as those
    // bytes. Every other failure escapes.
    void Receive();

    // Bytes of the last receive; 0 after a time-out.
    std::int32_t Count() const { return count_; }
    // The sender of the last datagram; empty when nothing arrived in time.
    const std::string& PeerAddress() const { return peerAddress_; }
    // Whether the last receive brought a datagram, an empty one included.
    bool Arrived() const { return !peerAddress_.empty(); }
    // The interface the last datagram arrived on; empty when unknown or nothing arrived.
    const std::string& ArrivalInterface() const;
    // A reply whose first byte is 0 (or no reply at all) is not read further.
    bool HoldsReply() const { return !ReplyIsSkipped(buffer_); }
    std::span<const std::uint8_t> Buffer() const { return buffer_; }
    // True once the arrivals since the first receive reached a limit.
    bool Unending() const { return unending_; }

private:
    TIdUDPClient& client_;
    std::vector<std::uint8_t> buffer_;
    std::int32_t bytesPerReceive_;
    std::int32_t count_ = 0;
    std::string peerAddress_;
    std::int32_t arrivals_ = 0;
    std::chrono::steady_clock::time_point firstReceive_;
    bool unending_ = false;
};

} // namespace tcpipset
