#pragma once

#include "protocol/Requests.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

using SiteClock = std::chrono::steady_clock;

// What a socket is for: a discovery hears hundreds of replies at once, one device's
// exchange a few.
enum class SocketUse { Discovery, Exchange };

// One datagram that came back to a request's socket.
struct SiteArrival {
    std::size_t socket = 0;
    // Its first bytes, zero past them: as many as a receive of the socket's use takes.
    std::vector<std::uint8_t> buffer;
    std::int32_t count = 0;
    std::string peer;
    std::string interfaceName; // empty when the platform did not tell
};

// The wire as the site engine sees it. A reply is tied to its request by the socket it
// came back to, so each request goes out from a socket of its own, and no socket is
// reused until the batch ends.
class SiteTransport {
public:
    virtual ~SiteTransport() = default;

    virtual SiteClock::time_point Now() = 0;
    // A new socket, kept open until CloseAll.
    virtual std::size_t Open(SocketUse use) = 0;
    // Sends one request from the socket; a limited broadcast leaves only on the interfaces
    // named (empty: wherever one can). Failures escape as the transport's exceptions.
    virtual void Send(std::size_t socket, const Bytes& request,
                      const std::vector<std::string>& interfaces) = 0;
    // The socket's request is answered or given up: what still comes to it is not waited
    // for. It stays open, so that its port is not given to another request.
    virtual void Retire(std::size_t socket) = 0;
    // The next datagram on a socket not retired, or nothing once the deadline passed.
    virtual std::optional<SiteArrival> Wait(SiteClock::time_point deadline) = 0;
    virtual void CloseAll() = 0;
    // Datagrams lost on the sockets for want of room, since the transport was made.
    virtual std::uint64_t Dropped() const = 0;
    // One socket serves every request (a fixed local port): one exchange at a time.
    virtual bool OneSocket() const = 0;
    // Where a limited broadcast without a limit leaves now, for the record of a write.
    virtual std::vector<std::string> BroadcastInterfaces() = 0;
};

} // namespace tcpipset
