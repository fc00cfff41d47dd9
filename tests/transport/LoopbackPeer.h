#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tcpipset::testing {

// A plain UDP socket bound to 127.0.0.1 on a port the system picks: the other side of the
// endpoint in tests.
class LoopbackPeer {
public:
    LoopbackPeer();
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    std::uint16_t Port() const { return port_; }
    void SendTo(std::uint16_t port, std::span<const std::uint8_t> bytes) const;
    void SendTo(std::uint16_t port, const std::string& text) const;

    struct Datagram {
        std::vector<std::uint8_t> bytes;
        std::uint16_t fromPort = 0;
    };
    // The next datagram, or none when nothing arrives within the time.
    std::optional<Datagram> Receive(int timeoutMs = 2000) const;

private:
    int socket_ = -1;
    std::uint16_t port_ = 0;
};

} // namespace tcpipset::testing
