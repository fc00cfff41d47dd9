#pragma once

#include "transport/IdStack.h"

namespace tcpipset {

// The socket stack over the POSIX socket interface, linked directly. Errors are kept per
// thread, as the platform keeps errno, already turned into Windows Sockets numbers.
//
// Interrupted calls are not retried: EINTR surfaces as 10004 from a send or receive, and an
// interrupted readiness test returns -1, which a wait counts as a slice without data. The
// process installs no signal handlers of its own, so this does not arise in practice.
class TIdStackPosix : public TIdStack {
public:
    std::int32_t StartupLibrary(std::uint16_t version) override;
    std::int32_t CloseSocket(TIdStackSocketHandle socket) override;
    std::string LookupHostByName(const std::string& hostName) override;
    std::uint16_t HostToNetwork16(std::uint16_t value) override;
    std::uint16_t NetworkToHost16(std::uint16_t value) override;
    std::int32_t ReceiveFrom(TIdStackSocketHandle socket, std::span<std::uint8_t> buffer,
                             std::int32_t length, std::int32_t flags, std::string& peerAddress,
                             std::int32_t& peerPort, std::uint32_t& arrivalInterface) override;
    // recvmmsg, non-blocking, with MSG_TRUNC for each datagram's whole length.
    std::int32_t ReceiveBatch(TIdStackSocketHandle socket, const TIdBatchBuffers& buffers,
                              std::vector<TIdDatagramInfo>& infos) override;
    // poll underneath, so any descriptor number works; a time-out below 0 other than -2
    // fails at once with 10022, as a negative time limit does for select.
    std::int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                               TIdSocketList* errorList, std::int32_t timeoutMs) override;
    std::int32_t SendTo(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                        std::int32_t length, std::int32_t flags, const std::string& dottedQuad,
                        std::int32_t port) override;
    // sendmsg with IP_PKTINFO: the interface's index and its own address as the source.
    std::int32_t SendToVia(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                           std::int32_t length, std::int32_t flags, const std::string& dottedQuad,
                           std::int32_t port, const TIdInterface& via) override;
    // getifaddrs.
    TIdInterfaceList ListInterfaces() override;
    std::string InterfaceName(std::uint32_t index) override;
    // Knows the socket-level options SO_BROADCAST, SO_REUSEADDR, SO_SNDBUF and SO_RCVBUF.
    std::int32_t SetSocketOption(TIdStackSocketHandle socket, std::int32_t level,
                                 std::int32_t option, std::span<const std::uint8_t> value,
                                 std::int32_t length) override;
    // An IPv4 datagram socket is opened with IP_PKTINFO, so that its receives know their
    // interface.
    TIdStackSocketHandle OpenSocket(std::int32_t family, std::int32_t type,
                                    std::int32_t protocol) override;
    std::int32_t ShutdownSocket(TIdStackSocketHandle socket, std::int32_t how) override;
    std::int32_t BindSocket(TIdStackSocketHandle socket, std::uint16_t port) override;
    // SO_RCVBUFFORCE where the process may, else SO_RCVBUF as far as the system allows.
    std::int32_t RequestReceiveBuffer(TIdStackSocketHandle socket, std::int32_t bytes) override;
    std::int32_t ReceiveBufferSize(TIdStackSocketHandle socket) override;
    std::int32_t AllowPortSharing(TIdStackSocketHandle socket) override;
    // SO_MEMINFO's count of drops.
    std::int64_t SocketDrops(TIdStackSocketHandle socket) override;
    std::int32_t LastError() const override;
    std::uint16_t LocalPort(TIdStackSocketHandle socket) override;

protected:
    std::string_view ErrorTableText(std::int32_t number) const override;

private:
    // sendmsg, out of the given interface when there is one.
    std::int32_t SendDatagram(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                              std::int32_t length, std::int32_t flags,
                              const std::string& dottedQuad, std::int32_t port,
                              const TIdInterface* via);
};

} // namespace tcpipset
