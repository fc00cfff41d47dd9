#include "transport/IdStackPosix.h"

#include "transport/ErrnoMapping.h"
#include "transport/IdExceptions.h"
#include "transport/PosixCallSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <linux/sock_diag.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcpipset {

using namespace posix;

namespace {

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

bool TranslateSocketOption(std::int32_t level, std::int32_t option, int& platformLevel,
                           int& platformOption, std::int32_t& error) {
    if (level != IdSolSocket) {
        error = IdErrInvalidArgument;
        return false;
    }
    platformLevel = SOL_SOCKET;
    switch (option) {
    case IdSoBroadcast:
        platformOption = SO_BROADCAST;
        return true;
    case IdSoReuseAddr:
        platformOption = SO_REUSEADDR;
        return true;
    case IdSoSndBuf:
        platformOption = SO_SNDBUF;
        return true;
    case IdSoRcvBuf:
        platformOption = SO_RCVBUF;
        return true;
    default:
        error = IdErrBadProtocolOption;
        return false;
    }
}

} // namespace

std::int32_t TIdStackPosix::StartupLibrary(std::uint16_t /*version*/) {
    // The socket interface is part of the C library: there is nothing to start.
    return 0;
}

std::int32_t TIdStackPosix::CloseSocket(TIdStackSocketHandle socket) {
    return ::close(socket) == 0 ? 0 : FailFromErrno();
}

std::string TIdStackPosix::LookupHostByName(const std::string& hostName) {
    // A name with a NUL in it would be looked up as its first piece only.
    if (hostName.find('\0') != std::string::npos) {
        CheckSocketResult(Fail(IdErrHostNotFound));
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int status = ::getaddrinfo(hostName.c_str(), nullptr, &hints, &found);
    const int savedErrno = errno;
    const std::unique_ptr<addrinfo, AddrInfoDeleter> list(found);
    if (status != 0 || list == nullptr || list->ai_addr == nullptr) {
        CheckSocketResult(Fail(WinsockErrorFromLookup(status, savedErrno)));
    }
    sockaddr_in address{};
    std::memcpy(&address, list->ai_addr, std::min(sizeof address, std::size_t{list->ai_addrlen}));
    TIdIPv4Bytes bytes{};
    std::memcpy(bytes.data(), &address.sin_addr, bytes.size());
    return AddressToText(bytes);
}

std::uint16_t TIdStackPosix::HostToNetwork16(std::uint16_t value) {
    return htons(value);
}

std::uint16_t TIdStackPosix::NetworkToHost16(std::uint16_t value) {
    return ntohs(value);
}

std::int32_t TIdStackPosix::SetSocketOption(TIdStackSocketHandle socket, std::int32_t level,
                                            std::int32_t option,
                                            std::span<const std::uint8_t> value,
                                            std::int32_t length) {
    int platformLevel = 0;
    int platformOption = 0;
    std::int32_t error = 0;
    if (!TranslateSocketOption(level, option, platformLevel, platformOption, error)) {
        return Fail(error);
    }
    const auto usable = ClampLength(length, value.size());
    if (!usable) {
        return Fail(IdErrInvalidArgument);
    }
    if (::setsockopt(socket, platformLevel, platformOption, value.data(),
                     static_cast<socklen_t>(*usable)) != 0) {
        return FailFromErrno();
    }
    return 0;
}

TIdStackSocketHandle TIdStackPosix::OpenSocket(std::int32_t family, std::int32_t type,
                                               std::int32_t protocol) {
    // Family and type numbers agree between Windows Sockets and this platform.
    const int socket = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (socket < 0) {
        Fail(WinsockErrorFromErrno(errno));
        return IdInvalidSocket;
    }
    if (family == AF_INET && type == SOCK_DGRAM) {
        // Should the platform refuse, the datagrams still arrive, only without their
        // interface, the count of those it dropped or their arrival time.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
        ::setsockopt(socket, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
        ::setsockopt(socket, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    }
    return socket;
}

std::int32_t TIdStackPosix::BindSocket(TIdStackSocketHandle socket, std::uint16_t port) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = HostToNetwork16(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        return FailFromErrno();
    }
    return 0;
}

std::int32_t TIdStackPosix::RequestReceiveBuffer(TIdStackSocketHandle socket, std::int32_t bytes) {
    if (::setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
        ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    return ReceiveBufferSize(socket);
}

std::int32_t TIdStackPosix::ReceiveBufferSize(TIdStackSocketHandle socket) {
    int size = 0;
    socklen_t length = sizeof size;
    if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, &length) != 0) {
        return FailFromErrno();
    }
    return size;
}

std::int32_t TIdStackPosix::AllowPortSharing(TIdStackSocketHandle socket) {
    const int on = 1;
    return ::setsockopt(socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0 ? 0
                                                                               : FailFromErrno();
}

std::int64_t TIdStackPosix::SocketDrops(TIdStackSocketHandle socket) {
    std::array<std::uint32_t, SK_MEMINFO_VARS> meminfo{};
    socklen_t length = sizeof meminfo;
    if (::getsockopt(socket, SOL_SOCKET, SO_MEMINFO, meminfo.data(), &length) != 0 ||
        length <= SK_MEMINFO_DROPS * sizeof(std::uint32_t)) {
        return -1;
    }
    return meminfo[SK_MEMINFO_DROPS];
}

std::int32_t TIdStackPosix::ShutdownSocket(TIdStackSocketHandle socket, std::int32_t how) {
    return ::shutdown(socket, how) == 0 ? 0 : FailFromErrno();
}

std::uint16_t TIdStackPosix::LocalPort(TIdStackSocketHandle socket) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
        local.sin_family != AF_INET) {
        return 0;
    }
    return NetworkToHost16(local.sin_port);
}

std::string_view TIdStackPosix::ErrorTableText(std::int32_t number) const {
    if (number == IdErrHostNotFound) {
        return "Host not found.";
    }
    return TIdStack::ErrorTableText(number);
}

std::int32_t TIdStackPosix::LastError() const {
    return posix::LastError();
}

} // namespace tcpipset
