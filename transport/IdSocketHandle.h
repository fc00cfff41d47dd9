#pragma once

#include "transport/IdSocketTypes.h"
#include "transport/IdStack.h"

#include <cstdint>
#include <string>

namespace tcpipset {

// One platform socket of a network component. Allocated from the moment a socket was
// obtained until it is closed; destroying the handle closes its socket. IP, Port and the
// client port range are carried for the owner but never bound to.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Closes any socket still held and opens a new IPv4 one; raises EIdInvalidSocket when
    // the platform gives none, leaving the handle not allocated.
    void AllocateSocket(std::int32_t type, std::int32_t protocol);
    // Shuts the sending direction down and closes; results are ignored.
    void CloseSocket() noexcept;

    bool HandleAllocated() const { return allocated_; }
    TIdStackSocketHandle Handle() const { return handle_; }

    // Further sockets whose readiness ends a wait as well: the other sockets of a receive
    // group.
    void WatchAlso(TIdSocketList sockets) { alsoWatched_ = std::move(sockets); }
    // Waits until a datagram can be read. On the main thread with an idle pump in use, the
    // wait is cut into slices of the pump's IdleTimeOut with events processed after each
    // empty slice; -2 waits without limit. Raises EIdConnClosedGracefully without a socket.
    bool WaitReadable(std::int32_t timeoutMs);

    const std::string& IP() const { return ip_; }
    void SetIP(std::string ip) { ip_ = std::move(ip); }
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t port) { port_ = port; }
    std::int32_t ClientPortMin() const { return clientPortMin_; }
    void SetClientPortMin(std::int32_t port) { clientPortMin_ = port; }
    std::int32_t ClientPortMax() const { return clientPortMax_; }
    void SetClientPortMax(std::int32_t port) { clientPortMax_ = port; }

private:
    // One readiness test of the whole time-out, followed by the pump.
    bool TestReadable(std::int32_t timeoutMs);

    TIdStackSocketHandle handle_ = IdInvalidSocket;
    TIdSocketList alsoWatched_;
    bool allocated_ = false;
    std::string ip_;
    std::int32_t port_ = 0;
    std::int32_t clientPortMin_ = 0;
    std::int32_t clientPortMax_ = 0;
};

} // namespace tcpipset
