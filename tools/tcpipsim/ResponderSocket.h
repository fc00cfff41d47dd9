#pragma once

#include "tools/tcpipsim/RequestLog.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tcpipset::sim {

// The one UDP socket of all devices. It learns each request's destination address and
// sends each reply from the address of the device that answers (IP_PKTINFO), so one
// socket serves any number of device addresses.
class ResponderSocket {
public:
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

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
    Bytes buffer_;
};

} // namespace tcpipset::sim
