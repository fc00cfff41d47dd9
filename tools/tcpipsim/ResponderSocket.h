#pragma once

#include "tools/tcpipsim/RequestLog.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tcpipset::sim {

// The one UDP socket of all devices. It learns each request's destination address and
// sends each reply from the address of the device that answers (IP_PKTINFO), so one
// socket serves any number of device addresses.
class ResponderSocket {
public:
    // Messages per sendmmsg call.
    static constexpr std::size_t MaxBatch = 256;

    ResponderSocket(Ipv4 bind, std::uint16_t port);
    ~ResponderSocket();
    ResponderSocket(const ResponderSocket&) = delete;
    ResponderSocket& operator=(const ResponderSocket&) = delete;

    int Fd() const { return fd_; }
    std::uint16_t Port() const { return port_; }

    struct Received {
        Bytes bytes;
        Endpoint from;
        Ipv4 to;
    };
    // Does not wait: nothing when no datagram is queued.
    std::optional<Received> TryReceive();

    // An empty text when sent, otherwise why not. Refuses any address outside the test
    // ranges, so a simulator started on a real network cannot answer into it.
    std::string Send(Ipv4 source, Endpoint to, const Bytes& bytes);

    struct Outgoing {
        Ipv4 source;
        Endpoint to;
        const Bytes* bytes = nullptr;
    };
    struct Failure {
        std::size_t index = 0;
        std::string error;
    };
    // Sends all, each from its own source, with as few sendmmsg calls as the batch limit
    // allows; a message the kernel refuses is reported and the rest still go. Returns the
    // messages not sent, by their index in `messages`; the same refusals as Send apply.
    std::vector<Failure> SendBatch(std::span<const Outgoing> messages);

private:
    struct Message;

    int fd_ = -1;
    std::uint16_t port_ = 0;
    Bytes buffer_;
};

} // namespace tcpipset::sim
