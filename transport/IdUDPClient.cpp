#include "transport/IdUDPClient.h"

#include "transport/SocketStack.h"

#include <string>

namespace tcpipset {

int TIdUDPClient::DiscardPendingDatagrams() {
    const TIdSocketHandle* handle = Binding();
    if (handle == nullptr || !handle->HandleAllocated()) {
        return 0;
    }
    TIdStack& stack = RequireSocketStack("recvfrom");
    int dropped = 0;
    for (;;) {
        TIdSocketList readList{handle->Handle()};
        if (stack.SelectSockets(&readList, nullptr, nullptr, 0) != 1) {
            return dropped;
        }
        std::string peerAddress;
        std::int32_t peerPort = 0;
        std::uint32_t arrival = 0;
        // An empty buffer takes the datagram off the queue; the cut it reports is expected.
        const std::int32_t result =
            stack.ReceiveFrom(handle->Handle(), {}, 0, 0, peerAddress, peerPort, arrival);
        if (result == -1 && stack.LastError() != IdErrMessageTooLong) {
            // A pending socket error was read instead of a datagram; it is consumed now,
            // and stopping here keeps a persistent one from holding the loop.
            return dropped;
        }
        ++dropped;
    }
}

std::uint16_t TIdUDPClient::LocalPort() const {
    const TIdSocketHandle* handle = Binding();
    if (handle == nullptr || !handle->HandleAllocated()) {
        return 0;
    }
    return RequireSocketStack("getsockname").LocalPort(handle->Handle());
}

} // namespace tcpipset
