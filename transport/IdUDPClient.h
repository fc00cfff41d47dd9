#pragma once

#include "transport/IdUDPBase.h"

#include <cstdint>

namespace tcpipset {

// The endpoint that the window owns: Host, Port and ReceiveTimeout name where every send
// goes and how long a receive waits by default.
class TIdUDPClient : public TIdUDPBase {
public:
    // Reads and drops every datagram already queued on the socket, without waiting, and
    // returns how many were dropped; without a socket nothing happens. The socket and its
    // local port stay.
    int DiscardPendingDatagrams();
    // The socket's local port, 0 without a socket or before its first send.
    std::uint16_t LocalPort() const;
};

} // namespace tcpipset
