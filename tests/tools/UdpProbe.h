#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset::testing {

using Bytes = std::vector<std::uint8_t>;
using TestClock = std::chrono::steady_clock;

struct Datagram {
    Bytes bytes;
    std::string from;
    std::uint16_t port = 0;
    TestClock::time_point at;
};

// A workstation's side in a few lines of plain POSIX sockets, sharing nothing with the
// system's own transport: one UDP socket with broadcasts permitted, unbound unless asked,
// so that the first send picks its port, as the workstation's endpoint does.
class UdpProbe {
public:
    explicit UdpProbe(const std::string& bindAddress = "");
    ~UdpProbe();
    UdpProbe(const UdpProbe&) = delete;
    UdpProbe& operator=(const UdpProbe&) = delete;

    void Send(const Bytes& bytes, const std::string& to, std::uint16_t port);
    // 0 until the first send has bound the socket.
    std::uint16_t LocalPort() const;
    std::optional<Datagram> Receive(std::chrono::milliseconds timeout);
    // Everything that arrives until nothing has come for `quiet`, or `limit` has passed.
    std::vector<Datagram> ReceiveUntilQuiet(std::chrono::milliseconds quiet,
                                            std::chrono::milliseconds limit);

private:
    int fd_ = -1;
};

// The request bytes, written out here once more so that a fault in the system's own
// builder is not copied into the test.
Bytes DiscoveryRequest();
Bytes QueryRequest(const std::string& selector);
Bytes SetRequest(const std::string& selector, const std::string& ipText, const Bytes& mask,
                 const Bytes& gateway, bool restart);

std::string Hex(const Bytes& bytes);

// The lines of the simulator's request log that contain `needle`, waiting up to `limit`
// for at least `atLeast` of them.
std::vector<std::string> LogLines(const std::string& path, const std::string& needle,
                                  std::size_t atLeast, std::chrono::milliseconds limit);

} // namespace tcpipset::testing
