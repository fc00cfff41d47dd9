#include "transport/IdUDPBase.h"

#include "transport/IdExceptions.h"
#include "transport/SocketStack.h"

#include <array>
#include <cstring>
#include <limits>

namespace tcpipset {

TIdUDPBase::~TIdUDPBase() {
    TIdUDPBase::CloseSocketHandle();
}

void TIdUDPBase::SetBroadcastEnabled(bool enabled) {
    if (enabled == broadcastEnabled_) {
        return;
    }
    broadcastEnabled_ = enabled;
    if (binding_ && binding_->HandleAllocated()) {
        ApplyBroadcastFlag(enabled);
    }
}

void TIdUDPBase::SetActive(bool active) {
    if (Loading()) {
        activeRequested_ = active;
        return;
    }
    if (active == IsActive()) {
        return;
    }
    if (active) {
        EnsureSocket();
    } else {
        CloseSocketHandle();
    }
}

void TIdUDPBase::Loaded() {
    if (activeRequested_) {
        activeRequested_ = false;
        SetActive(true);
    }
}

bool TIdUDPBase::IsActive() const {
    if (Loading()) {
        return activeRequested_;
    }
    return binding_ && binding_->HandleAllocated();
}

void TIdUDPBase::CloseSocketHandle() {
    binding_.reset();
}

TIdSocketHandle& TIdUDPBase::EnsureSocket() {
    if (!binding_) {
        binding_ = std::make_unique<TIdSocketHandle>();
    }
    if (!binding_->HandleAllocated()) {
        binding_->AllocateSocket(IdSockDgram, 0);
        // A new socket always receives the option, whichever value it has.
        ApplyBroadcastFlag(broadcastEnabled_);
    }
    return *binding_;
}

void TIdUDPBase::ApplyBroadcastFlag(bool enabled) {
    if (!binding_) {
        EnsureSocket();
    }
    const std::int32_t value = enabled ? -1 : 0;
    std::array<std::uint8_t, sizeof value> bytes{};
    std::memcpy(bytes.data(), &value, sizeof value);
    TIdStack& stack = RequireSocketStack("setsockopt");
    stack.CheckSocketResult(stack.SetSocketOption(binding_->Handle(), IdSolSocket, IdSoBroadcast,
                                                  bytes, static_cast<std::int32_t>(bytes.size())));
}

void TIdUDPBase::SendText(std::string_view data) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()),
                                              data.size());
    // A text longer than a datagram can be is refused by the platform all the same.
    const auto count = static_cast<std::int32_t>(
        std::min<std::size_t>(data.size(), std::numeric_limits<std::int32_t>::max()));
    SendBytesTo(host_, port_, bytes, count);
}

void TIdUDPBase::SendBytes(std::span<const std::uint8_t> buffer, std::int32_t byteCount) {
    SendBytesTo(host_, port_, buffer, byteCount);
}

void TIdUDPBase::SendBytesTo(const std::string& host, std::int32_t port,
                             std::span<const std::uint8_t> buffer, std::int32_t byteCount) {
    TIdStack& stack = RequireSocketStack("sendto");
    // Resolved before the socket exists, so a failed lookup leaves no socket behind.
    const std::string address = stack.ResolveToDottedQuad(host);
    const TIdSocketHandle& handle = EnsureSocket();
    const std::int32_t result = stack.SendTo(handle.Handle(), buffer, byteCount, 0, address, port);
    if (result == -1) {
        if (stack.LastError() == IdErrMessageTooLong) {
            throw EIdPackageSizeTooBig();
        }
        stack.CheckSocketResult(result);
    }
    if (result != byteCount) {
        throw EIdNotAllBytesSent();
    }
}

std::int32_t TIdUDPBase::ReceiveDatagram(std::span<std::uint8_t> buffer, std::int32_t bufferSize,
                                         std::string& peerAddress, std::int32_t& peerPort,
                                         std::int32_t timeoutMs) {
    if (timeoutMs == IdTimeoutDefault) {
        timeoutMs = receiveTimeout_;
    }
    TIdSocketHandle& handle = EnsureSocket();
    if (!handle.WaitReadable(timeoutMs)) {
        peerAddress.clear();
        peerPort = 0;
        return 0;
    }
    TIdStack& stack = RequireSocketStack("recvfrom");
    const std::int32_t result =
        stack.ReceiveFrom(handle.Handle(), buffer, bufferSize, 0, peerAddress, peerPort);
    stack.CheckSocketResult(result);
    return result;
}

} // namespace tcpipset
