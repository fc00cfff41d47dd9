#pragma once

#include "transport/IdSocketTypes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset {

// One list of sockets for a readiness test; a null pointer stands for a list not given.
using TIdSocketList = std::vector<TIdStackSocketHandle>;

// Four IPv4 address bytes, first part of the dotted text first (network order).
using TIdIPv4Bytes = std::array<std::uint8_t, 4>;

// One IPv4 address of a network interface, or an interface that holds none.
struct TIdInterface {
    std::string name;
    std::uint32_t index = 0;
    bool up = false;
    bool broadcast = false;
    bool loopback = false;
    std::optional<TIdIPv4Bytes> address;
    std::int32_t prefixLength = 0;
    TIdIPv4Bytes broadcastAddress{};
};
using TIdInterfaceList = std::vector<TIdInterface>;

// What a batch receive tells of one datagram besides its first bytes.
struct TIdDatagramInfo {
    std::int32_t length = 0; // the whole datagram's, also when only its first bytes were kept
    // Bytes, not text: a burst is taken as fast as it comes, and the text is made only
    // when a datagram is read.
    TIdIPv4Bytes peer{};
    std::int32_t peerPort = 0;
    std::uint32_t arrivalInterface = 0; // 0 when unknown
    // The system's count of datagrams it had to drop on the socket before this one, for want
    // of buffer; 0 when unknown.
    std::uint32_t systemDropsBefore = 0;
    // When the system took it in, in nanoseconds of the system clock; 0 when unknown.
    std::int64_t arrivalNs = 0;
};

// Where a batch receive puts the datagrams it takes: the first headSize bytes of datagram i
// at heads[i * headSize], and what follows them, as far as it fits, at tails[i * tailSize].
// A tail is written only for a datagram longer than a head, so that the pages of the tails,
// room for the rare long datagram, are touched only by one.
struct TIdBatchBuffers {
    std::span<std::uint8_t> heads;
    std::size_t headSize = 0;
    std::span<std::uint8_t> tails;
    std::size_t tailSize = 0;
    // Datagrams that fit, at most.
    std::size_t Slots() const {
        const std::size_t byHeads = headSize == 0 ? 0 : heads.size() / headSize;
        return tailSize == 0 ? byHeads : std::min(byHeads, tails.size() / tailSize);
    }
};

// The platform-independent socket stack. Every operation that reaches the platform is
// virtual, so that a test can put a recording stack in its place. A platform call reports
// failure as -1 and leaves its Windows Sockets error number for LastError.
class TIdStack {
public:
    TIdStack() = default;
    virtual ~TIdStack() = default;
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    // The library's start-up call, made once per process when the first stack is created.
    // Returns 0 on success.
    virtual std::int32_t StartupLibrary(std::uint16_t version) = 0;

    virtual std::int32_t CloseSocket(TIdStackSocketHandle socket) = 0;
    // Dotted-quad text of the first IPv4 address of a host name; raises EIdSocketError
    // (11001 for a name that is not found) through CheckSocketResult.
    virtual std::string LookupHostByName(const std::string& hostName) = 0;
    virtual std::uint16_t HostToNetwork16(std::uint16_t value) = 0;
    virtual std::uint16_t NetworkToHost16(std::uint16_t value) = 0;
    // Reads one datagram into at most length bytes of buffer (never past its end). The peer
    // values and the index of the interface it arrived on (0 when unknown) are written
    // whatever the result; a datagram longer than length fails with 10040 after the buffer
    // holds its first bytes.
    virtual std::int32_t ReceiveFrom(TIdStackSocketHandle socket, std::span<std::uint8_t> buffer,
                                     std::int32_t length, std::int32_t flags,
                                     std::string& peerAddress, std::int32_t& peerPort,
                                     std::uint32_t& arrivalInterface) = 0;
    // Takes the datagrams already waiting on the socket, without waiting: at most
    // buffers.Slots() of them, each placed as TIdBatchBuffers says. infos is rewritten to
    // one entry per datagram taken. Returns how many were taken, 0 when none waits, -1 on
    // failure.
    virtual std::int32_t ReceiveBatch(TIdStackSocketHandle socket, const TIdBatchBuffers& buffers,
                                      std::vector<TIdDatagramInfo>& infos) = 0;
    // Rewrites each given list to the sockets that are ready and returns their number, 0 on
    // time-out, -1 on failure (raising nothing); a list of more than 64 sockets raises
    // EIdStackSetSizeExceeded.
    virtual std::int32_t SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                                       TIdSocketList* errorList, std::int32_t timeoutMs) = 0;
    // Sends length bytes of buffer (never more than it holds) to a dotted-quad address.
    virtual std::int32_t SendTo(TIdStackSocketHandle socket, std::span<const std::uint8_t> buffer,
                                std::int32_t length, std::int32_t flags,
                                const std::string& dottedQuad, std::int32_t port) = 0;
    // Sends like SendTo, but out of the given interface, with its address as the source.
    virtual std::int32_t SendToVia(TIdStackSocketHandle socket,
                                   std::span<const std::uint8_t> buffer, std::int32_t length,
                                   std::int32_t flags, const std::string& dottedQuad,
                                   std::int32_t port, const TIdInterface& via) = 0;
    // The machine's network interfaces as they are now, one entry per IPv4 address; an
    // interface without one appears once, without address. Empty when they cannot be read.
    virtual TIdInterfaceList ListInterfaces() = 0;
    // The name of the interface with that index, empty when there is none.
    virtual std::string InterfaceName(std::uint32_t index) = 0;
    virtual std::int32_t SetSocketOption(TIdStackSocketHandle socket, std::int32_t level,
                                         std::int32_t option, std::span<const std::uint8_t> value,
                                         std::int32_t length) = 0;
    virtual TIdStackSocketHandle OpenSocket(std::int32_t family, std::int32_t type,
                                            std::int32_t protocol) = 0;
    virtual std::int32_t ShutdownSocket(TIdStackSocketHandle socket, std::int32_t how) = 0;
    // Binds the socket to a local port of every local address.
    virtual std::int32_t BindSocket(TIdStackSocketHandle socket, std::uint16_t port) = 0;
    // Asks for a receive buffer of that many bytes and returns the size granted (as the
    // platform counts it), -1 when it cannot be read.
    virtual std::int32_t RequestReceiveBuffer(TIdStackSocketHandle socket, std::int32_t bytes) = 0;
    virtual std::int32_t ReceiveBufferSize(TIdStackSocketHandle socket) = 0;
    // Lets further sockets bind to the port this one binds to, each taking a share of the
    // datagrams that arrive there; must come before the bind.
    virtual std::int32_t AllowPortSharing(TIdStackSocketHandle socket) = 0;
    // Every datagram the system has dropped on the socket since it was made, exactly; -1
    // when that cannot be read.
    virtual std::int64_t SocketDrops(TIdStackSocketHandle socket) = 0;
    virtual std::string SocketErrorText(std::int32_t number) const;
    virtual std::int32_t LastError() const = 0;
    // The local port a socket is bound to, 0 when it has none yet.
    virtual std::uint16_t LocalPort(TIdStackSocketHandle socket) = 0;

    std::string AddressToText(const TIdIPv4Bytes& address) const;
    TIdIPv4Bytes TextToAddress(std::string_view dottedQuad) const;
    void CheckSocketResult(std::int32_t result);
    // Raises EIdSocketError for a failure that the stack detects itself, not the platform.
    [[noreturn]] void RaiseSocketError(std::int32_t number);
    TIdStackSocketHandle OpenIPv4Socket(std::int32_t type, std::int32_t protocol);
    std::string ResolveToDottedQuad(const std::string& host);
    bool IsDottedQuad(std::string_view text) const;

    std::int32_t LastSocketError() const { return lastSocketError_; }

protected:
    // The text of one row of the error table, empty for numbers the table lacks.
    virtual std::string_view ErrorTableText(std::int32_t number) const;

private:
    std::int32_t lastSocketError_ = 0;
};

} // namespace tcpipset
