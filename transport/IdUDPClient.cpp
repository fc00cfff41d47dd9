#include "transport/IdUDPClient.h"

#include "transport/SocketStack.h"

#include <string>

namespace tcpipset {

int TIdUDPClient::DiscardPendingDatagrams() {
    const TIdSocketHandle* handle = Binding();
    if (handle == nullptr || !handle->HandleAllocated()) {
        return 0;
    }
    // Bounded: a sender that never stops cannot hold the send back for ever. A pending
    // socket error ends the draining and is consumed.
    const std::size_t queued = Queue().Clear();
    const std::size_t drained = Queue().Drain(RequireSocketStack("recvfrom"), ReceiveSockets());
    return static_cast<int>(queued + drained);
}

std::uint16_t TIdUDPClient::LocalPort() const {
    const TIdSocketHandle* handle = Binding();
    if (handle == nullptr || !handle->HandleAllocated()) {
        return 0;
    }
    return RequireSocketStack("getsockname").LocalPort(handle->Handle());
}

} // namespace tcpipset
