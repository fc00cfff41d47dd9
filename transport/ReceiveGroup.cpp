#include "transport/ReceiveGroup.h"

#include <algorithm>

namespace tcpipset {

std::size_t ReceiveGroup::SocketsFor(std::int32_t granted) {
    if (granted <= 0) {
        return 1;
    }
    const std::int64_t count = (WantedBytes + granted - 1) / granted;
    return static_cast<std::size_t>(std::clamp<std::int64_t>(count, 1, MaxSockets));
}

void ReceiveGroup::Form(TIdStack& stack, std::uint16_t port, std::size_t count,
                        std::int32_t bufferRequest) {
    while (handles_.size() + 1 < count) {
        auto handle = std::make_unique<TIdSocketHandle>();
        try {
            handle->AllocateSocket(IdSockDgram, 0);
        } catch (const std::exception&) {
            return;
        }
        const TIdStackSocketHandle socket = handle->Handle();
        if (bufferRequest > 0) {
            stack.RequestReceiveBuffer(socket, bufferRequest);
        }
        if (stack.AllowPortSharing(socket) == -1 || stack.BindSocket(socket, port) == -1) {
            return;
        }
        members_.push_back(socket);
        handles_.push_back(std::move(handle));
    }
}

void ReceiveGroup::Clear() {
    handles_.clear();
    members_.clear();
    claim_.Release();
}

} // namespace tcpipset
