#pragma once

#include "transport/IdSocketHandle.h"
#include "transport/IdStack.h"
#include "transport/PortClaim.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tcpipset {

// Further sockets bound to the endpoint's port, each with a receive buffer of its own.
// Without privileges the system grants a socket a small buffer (425,984 bytes on a stock
// system, some 280 replies); it spreads the datagrams that arrive at a shared port over
// the sockets by their sender, so that together they hold a burst that one socket could not.
// The requests still leave from the endpoint's own socket, the first of the group.
class ReceiveGroup {
public:
    // What the sockets together should hold, as the system counts it: a burst of some
    // 5,000 small replies, as a socket granted the endpoint's 4 MiB request holds.
    static constexpr std::int64_t WantedBytes = 8 * 1024 * 1024;
    static constexpr std::size_t MaxSockets = 32;

    // How many sockets, each granted that many bytes, hold WantedBytes; 1 when one does.
    static std::size_t SocketsFor(std::int32_t granted);

    // Claims the port for this process before any further socket joins it.
    PortClaim::Result Claim(std::uint16_t port) { return claim_.Take(port); }
    // Binds count - 1 sockets to port, which the endpoint's own socket holds with its port
    // shared; each asks for bufferRequest bytes (0: the system's default). They only
    // receive. A socket that the system refuses is left out: fewer only make drops likelier.
    void Form(TIdStack& stack, std::uint16_t port, std::size_t count, std::int32_t bufferRequest);
    // Closes the further sockets and gives up the claim.
    void Clear();
    // The further sockets, without the main one.
    const TIdSocketList& Members() const { return members_; }

private:
    std::vector<std::unique_ptr<TIdSocketHandle>> handles_;
    TIdSocketList members_;
    PortClaim claim_;
};

} // namespace tcpipset
