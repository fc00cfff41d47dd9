#pragma once

#include "transport/IdComponent.h"
#include "transport/IdSocketHandle.h"
#include "transport/IdStack.h"
#include "transport/ReceiveGroup.h"
#include "transport/ReceiveQueue.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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
    //
    // A datagram to the limited broadcast address leaves once out of every interface that
    // can carry it (see BroadcastInterfaces), from the one socket and port: a workstation
    // with a cable and Wi-Fi, or without a default route, reaches every segment it is on.
    // It has been sent when one interface took it; when all refuse, the last refusal is
    // raised. Without any such interface it is one plain send, which the platform routes
    // or refuses (10051) as it does any other destination.
    void SendBytesTo(const std::string& host, std::int32_t port,
                     std::span<const std::uint8_t> buffer, std::int32_t byteCount);
    // Returns the bytes received, 0 when nothing came in time (peer text empty, port 0,
    // buffer untouched). A bufferSize beyond the buffer is cut to it. A datagram longer
    // than bufferSize raises EIdSocketError 10040 after the buffer holds its first bytes
    // and the peer values are set.
    //
    // Datagrams come from the endpoint's receive queue, which takes everything waiting in
    // the kernel at each receive. A datagram from the endpoint's own address and port (its
    // own limited broadcast, looped back when it is bound to the destination port) is no
    // reply and is never returned. While datagrams keep arriving no wait has an idle slice, so the
    // window's events are then processed once per IdleTimeOut of arrivals instead.
    std::int32_t ReceiveDatagram(std::span<std::uint8_t> buffer, std::int32_t bufferSize,
                                 std::string& peerAddress, std::int32_t& peerPort,
                                 std::int32_t timeoutMs);
    // The name of the interface that the last datagram received arrived on; empty after a
    // receive that brought nothing, or when the platform did not tell.
    const std::string& LastArrivalInterface() const { return lastArrivalInterface_; }
    // The receive buffer asked for when the socket is made: large, so that a thousand
    // replies arriving at once wait in the kernel rather than being dropped there. 0
    // leaves the system's default.
    static constexpr std::int32_t DefaultReceiveBufferRequest = 4 * 1024 * 1024;
    std::int32_t ReceiveBufferRequest() const { return receiveBufferRequest_; }
    void SetReceiveBufferRequest(std::int32_t bytes) { receiveBufferRequest_ = bytes; }
    // The receive buffer the socket has, as the platform counts it; 0 without a socket.
    std::int32_t ReceiveBufferGranted() const;
    // The local port the socket is bound to when it is made, so that a firewall rule can
    // name it; 0 (the window's way) leaves the socket unbound until its first send, when
    // the platform picks a port. A port in use fails the socket's making with 10048 and
    // leaves no socket.
    std::uint16_t BoundPort() const { return boundPort_; }
    void SetBoundPort(std::uint16_t port) { boundPort_ = port; }
    // Datagrams lost because more arrived at once than could be kept: dropped by the
    // receive queue at its bounds, or by the system for want of buffer, on every socket of
    // the endpoint, since it was made.
    std::uint64_t DroppedDatagrams() const;
    // Sockets that receive at the endpoint's port: 0 (the default) as many as the receive
    // buffer granted calls for, so that a burst of some 5,000 replies fits (one where the
    // system grants the 4 MiB asked for); 1 only the endpoint's own. Applied when the
    // socket is made.
    void SetReceiveGroupSize(std::size_t sockets) { receiveGroupSize_ = sockets; }
    // The sockets that receive: the endpoint's own and the rest of its group; 0 without one.
    std::size_t ReceiveSocketCount() const { return ReceiveSockets().size(); }

    // Limits the limited broadcast to the interfaces of these names; empty: every interface
    // that can carry it. When none of the names can carry it at a send, the send fails with
    // 10051 and nothing leaves.
    void SetBroadcastInterfaces(std::vector<std::string> names) {
        broadcastInterfaces_ = std::move(names);
    }
    // The names of the interfaces that a limited broadcast would leave on now, without the
    // limit.
    std::vector<std::string> UsableBroadcastInterfaces() const;

    // Frees the socket handle object, which closes its socket.
    virtual void CloseSocketHandle();
    virtual bool IsActive() const;
    // The socket handle object, with a socket that has received the broadcast option.
    virtual TIdSocketHandle& EnsureSocket();
    virtual void ApplyBroadcastFlag(bool enabled);

protected:
    void Loaded() override;
    TIdSocketHandle* Binding() const { return binding_.get(); }
    // The endpoint's own socket, then the others of its receive group; none without a socket.
    TIdSocketList ReceiveSockets() const;
    ReceiveQueue& Queue() { return queue_; }

private:
    std::int32_t SendOnInterfaces(TIdStack& stack, TIdStackSocketHandle socket,
                                  const TIdInterfaceList& all, const std::string& address,
                                  std::int32_t port, std::span<const std::uint8_t> buffer,
                                  std::int32_t byteCount);
    void IgnoreOwnDatagrams(TIdStack& stack, TIdStackSocketHandle socket,
                            const TIdInterfaceList& interfaces);
    // Waits until the queue holds a datagram; false when the time-out passed first. A
    // pending socket error is raised.
    bool WaitForDatagram(TIdStack& stack, TIdSocketHandle& handle, std::int32_t timeoutMs);
    void NoteNothingReceived(std::string& peerAddress, std::int32_t& peerPort);
    void NoteArrivalInterface(TIdStack& stack, std::uint32_t index);
    std::int32_t TakeQueued(TIdStack& stack, std::span<std::uint8_t> buffer,
                            std::int32_t bufferSize, std::string& peerAddress,
                            std::int32_t& peerPort);
    // Processes the window's events once per IdleTimeOut of unbroken arrivals.
    void KeepWindowResponsive();

    std::unique_ptr<TIdSocketHandle> binding_;
    ReceiveGroup group_;
    std::size_t receiveGroupSize_ = 0;
    // Ports the system picks before one is found that no other process shares.
    static constexpr int MaxPortAttempts = 8;
    std::vector<std::string> broadcastInterfaces_;
    // Interface names by index, as the broadcasts listed them, so that a burst of replies
    // does not ask the platform for the same name again and again.
    std::map<std::uint32_t, std::string> interfaceNames_;
    std::string lastArrivalInterface_;
    ReceiveQueue queue_;
    // When the present run of receives that each brought a datagram began, or the window's
    // events were last processed during it.
    std::optional<std::chrono::steady_clock::time_point> arrivalsSince_;
    std::string host_;
    std::int32_t port_ = 0;
    std::int32_t receiveTimeout_ = IdTimeoutInfinite;
    std::int32_t bufferSize_ = 8192;
    std::int32_t receiveBufferRequest_ = DefaultReceiveBufferRequest;
    std::uint16_t boundPort_ = 0;
    bool broadcastEnabled_ = false;
    bool activeRequested_ = false;
};

} // namespace tcpipset
