#pragma once

#include "transport/IdComponent.h"
#include "transport/IdSocketHandle.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tcpipset {

// A UDP endpoint over one IPv4 datagram socket that is never bound: the platform picks the
// local port at the first send, and the socket keeps it until the endpoint closes it.
class TIdUDPBase : public TIdComponent {
public:
    TIdUDPBase() = default;
    // Closes the socket, then leaves the socket stack.
    ~TIdUDPBase() override;

    const std::string& Host() const { return host_; }
    void SetHost(std::string host) { host_ = std::move(host); }
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t port) { port_ = port; }
    std::int32_t ReceiveTimeout() const { return receiveTimeout_; }
    void SetReceiveTimeout(std::int32_t milliseconds) { receiveTimeout_ = milliseconds; }
    // Stored only: no send or receive consults it.
    std::int32_t BufferSize() const { return bufferSize_; }
    void SetBufferSize(std::int32_t size) { bufferSize_ = size; }
    bool BroadcastEnabled() const { return broadcastEnabled_; }
    // Reaches the socket at once when one exists, otherwise when it is created.
    void SetBroadcastEnabled(bool enabled);
    bool Active() const { return IsActive(); }
    // While loading only records the request; Loaded applies it.
    void SetActive(bool active);

    void SendText(std::string_view data);
    void SendBytes(std::span<const std::uint8_t> buffer, std::int32_t byteCount);
    // A byteCount beyond the buffer sends the whole buffer and then raises
    // EIdNotAllBytesSent; a negative one is refused as 10022.
    void SendBytesTo(const std::string& host, std::int32_t port,
                     std::span<const std::uint8_t> buffer, std::int32_t byteCount);
    // Returns the bytes received, 0 when nothing came in time (peer text empty, port 0,
    // buffer untouched). A bufferSize beyond the buffer is cut to it. A datagram longer
    // than bufferSize raises EIdSocketError 10040 after the buffer holds its first bytes
    // and the peer values are set.
    std::int32_t ReceiveDatagram(std::span<std::uint8_t> buffer, std::int32_t bufferSize,
                                 std::string& peerAddress, std::int32_t& peerPort,
                                 std::int32_t timeoutMs);

    // Frees the socket handle object, which closes its socket.
    virtual void CloseSocketHandle();
    virtual bool IsActive() const;
    // The socket handle object, with a socket that has received the broadcast option.
    virtual TIdSocketHandle& EnsureSocket();
    virtual void ApplyBroadcastFlag(bool enabled);

protected:
    void Loaded() override;
    TIdSocketHandle* Binding() const { return binding_.get(); }

private:
    std::unique_ptr<TIdSocketHandle> binding_;
    std::string host_;
    std::int32_t port_ = 0;
    std::int32_t receiveTimeout_ = IdTimeoutInfinite;
    std::int32_t bufferSize_ = 8192;
    bool broadcastEnabled_ = false;
    bool activeRequested_ = false;
};

} // namespace tcpipset
