#include "transport/IdStackPosix.h"

#include "transport/ErrnoMapping.h"
#include "transport/IdExceptions.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <ifaddrs.h>
#include <linux/sock_diag.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace tcpipset {

namespace {

thread_local std::int32_t tLastError = 0;

std::int32_t Fail(std::int32_t winsockError) {
    tLastError = winsockError;
    return -1;
}

std::int32_t FailFromErrno() {
    return Fail(WinsockErrorFromErrno(errno));
}

// Lengths beyond the span are cut to it, so no call reads or writes past the caller's
// bytes; a negative length is an invalid argument.
std::optional<std::size_t> ClampLength(std::int32_t length, std::size_t available) {
    if (length < 0) {
        return std::nullopt;
    }
    return std::min(static_cast<std::size_t>(length), available);
}

struct AddrInfoDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

TIdIPv4Bytes BytesOf(const sockaddr* address) {
    TIdIPv4Bytes bytes{};
    if (address != nullptr && address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        std::memcpy(bytes.data(), &in.sin_addr, bytes.size());
    }
    return bytes;
}

std::int32_t PrefixLengthOf(const sockaddr* netmask) {
    std::int32_t length = 0;
    for (const std::uint8_t byte : BytesOf(netmask)) {
        length += std::popcount(byte);
    }
    return length;
}

// Room for the control messages of a datagram: its interface and, on receipt, the
// system's count of datagrams it dropped on the socket so far and its arrival time.
struct alignas(cmsghdr) PacketInfoControl {
    std::array<char, CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(std::uint32_t)) +
                         CMSG_SPACE(sizeof(timespec))>
        bytes{};
    char* data() { return bytes.data(); }
    static constexpr std::size_t size() { return sizeof bytes; }
};

// The value of the control message of that level and type that came with a datagram; a
// value-initialised one when none came.
template <class Value>
Value ControlValue(const msghdr& message, int level, int type) {
    for (const cmsghdr* cmsg = CMSG_FIRSTHDR(&message); cmsg != nullptr;
         cmsg = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(cmsg))) {
        if (cmsg->cmsg_level == level && cmsg->cmsg_type == type) {
            Value value{};
            std::memcpy(&value, CMSG_DATA(cmsg), sizeof value);
            return value;
        }
    }
    return {};
}

std::uint32_t SystemDropsBefore(const msghdr& message) {
    return ControlValue<std::uint32_t>(message, SOL_SOCKET, SO_RXQ_OVFL);
}

std::int64_t ArrivalNsOf(const msghdr& message) {
    const auto stamp = ControlValue<timespec>(message, SOL_SOCKET, SCM_TIMESTAMPNS);
    return static_cast<std::int64_t>(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
}

std::uint32_t ArrivalInterfaceOf(const msghdr& message) {
    return static_cast<std::uint32_t>(
        ControlValue<in_pktinfo>(message, IPPROTO_IP, IP_PKTINFO).ipi_ifindex);
}

// Each list becomes a set: a socket given twice is tested and reported once.
void Deduplicate(TIdSocketList& list) {
    std::vector<TIdStackSocketHandle> unique;
    for (const auto socket : list) {
        if (std::ranges::find(unique, socket) == unique.end()) {
            unique.push_back(socket);
        }
    }
    list = std::move(unique);
}

struct PollPlan {
    std::vector<pollfd> fds;
    std::size_t IndexOf(TIdStackSocketHandle socket) {
        const auto it = std::ranges::find(fds, socket, &pollfd::fd);
        if (it != fds.end()) {
            return static_cast<std::size_t>(it - fds.begin());
        }
        fds.push_back(pollfd{socket, 0, 0});
        return fds.size() - 1;
    }
};

// The readiness conditions of select: a socket with a pending error or a hang-up counts as
// readable and writable, so the following call reports the error.
constexpr short ReadEvents = POLLIN;
constexpr short ReadReady = POLLIN | POLLHUP | POLLERR;
constexpr short WriteEvents = POLLOUT;
constexpr short WriteReady = POLLOUT | POLLERR;
constexpr short ErrorEvents = POLLPRI;
constexpr short ErrorReady = POLLPRI;

int KeepReady(TIdSocketList* list, short ready, const PollPlan& plan) {
    if (list == nullptr) {
        return 0;
    }
    std::erase_if(*list, [&](TIdStackSocketHandle socket) {
        const auto it = std::ranges::find(plan.fds, socket, &pollfd::fd);
        return (it->revents & ready) == 0;
    });
    return static_cast<int>(list->size());
}

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

std::int32_t TIdStackPosix::ReceiveFrom(TIdStackSocketHandle socket, std::span<std::uint8_t> buffer,
                                        std::int32_t length, std::int32_t flags,
                                        std::string& peerAddress, std::int32_t& peerPort,
                                        std::uint32_t& arrivalInterface) {
    sockaddr_in from{};
    const auto usable = ClampLength(length, buffer.size());
    ssize_t received = -1;
    int savedErrno = EINVAL;
    msghdr message{};
    PacketInfoControl control{};
    if (usable) {
        iovec piece{buffer.data(), *usable};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        received = ::recvmsg(socket, &message, flags);
        savedErrno = errno;
    }

    TIdIPv4Bytes peer{};
    std::memcpy(peer.data(), &from.sin_addr, peer.size());
    peerAddress = AddressToText(peer);
    peerPort = NetworkToHost16(from.sin_port);
    arrivalInterface = received < 0 ? 0 : ArrivalInterfaceOf(message);

    if (received < 0) {
        return Fail(WinsockErrorFromErrno(savedErrno));
    }
    // The platform cuts a long datagram silently; the caller must see it as 10040.
    if ((message.msg_flags & MSG_TRUNC) != 0) {
        return Fail(IdErrMessageTooLong);
    }
    return static_cast<std::int32_t>(received);
}

std::int32_t TIdStackPosix::ReceiveBatch(TIdStackSocketHandle socket,
                                         const TIdBatchBuffers& buffers,
                                         std::vector<TIdDatagramInfo>& infos) {
    infos.clear();
    const std::size_t slots = std::min<std::size_t>(buffers.Slots(), 1024);
    if (slots == 0) {
        return Fail(IdErrInvalidArgument);
    }
    // Kept between calls: every receive during a burst makes one.
    struct Headers {
        std::vector<mmsghdr> messages;
        std::vector<std::array<iovec, 2>> pieces;
        std::vector<sockaddr_in> senders;
        std::vector<PacketInfoControl> controls;
    };
    thread_local Headers headers;
    auto& [messages, pieces, senders, controls] = headers;
    messages.assign(slots, mmsghdr{});
    pieces.resize(slots);
    senders.assign(slots, sockaddr_in{});
    controls.resize(slots);
    for (std::size_t i = 0; i < slots; ++i) {
        pieces[i] = {iovec{buffers.heads.data() + i * buffers.headSize, buffers.headSize},
                     iovec{buffers.tails.data() + i * buffers.tailSize, buffers.tailSize}};
        msghdr& header = messages[i].msg_hdr;
        header.msg_name = &senders[i];
        header.msg_namelen = sizeof senders[i];
        header.msg_iov = pieces[i].data();
        header.msg_iovlen = buffers.tailSize == 0 ? 1 : 2;
        header.msg_control = controls[i].data();
        header.msg_controllen = controls[i].size();
    }
    const int taken = ::recvmmsg(socket, messages.data(), static_cast<unsigned>(slots),
                                 MSG_DONTWAIT | MSG_TRUNC, nullptr);
    if (taken < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : FailFromErrno();
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(taken); ++i) {
        TIdIPv4Bytes peer{};
        std::memcpy(peer.data(), &senders[i].sin_addr, peer.size());
        infos.push_back({static_cast<std::int32_t>(messages[i].msg_len), peer,
                         NetworkToHost16(senders[i].sin_port),
                         ArrivalInterfaceOf(messages[i].msg_hdr),
                         SystemDropsBefore(messages[i].msg_hdr), ArrivalNsOf(messages[i].msg_hdr)});
    }
    return taken;
}

std::int32_t TIdStackPosix::SelectSockets(TIdSocketList* readList, TIdSocketList* writeList,
                                          TIdSocketList* errorList, std::int32_t timeoutMs) {
    for (TIdSocketList* list : {readList, writeList, errorList}) {
        if (list != nullptr && list->size() > IdMaxSocketSetSize) {
            throw EIdStackSetSizeExceeded();
        }
    }
    PollPlan plan;
    const auto addEvents = [&plan](TIdSocketList* list, short events) {
        if (list == nullptr) {
            return true;
        }
        Deduplicate(*list);
        for (const auto socket : *list) {
            if (socket < 0) {
                return false;
            }
            plan.fds[plan.IndexOf(socket)].events |= events;
        }
        return true;
    };
    if (!addEvents(readList, ReadEvents) || !addEvents(writeList, WriteEvents) ||
        !addEvents(errorList, ErrorEvents)) {
        return Fail(IdErrBadFile);
    }
    if (timeoutMs < 0 && timeoutMs != IdTimeoutInfinite) {
        return Fail(IdErrInvalidArgument);
    }
    if (plan.fds.empty() && timeoutMs == IdTimeoutInfinite) {
        // Nothing could ever end such a wait; select refuses it as an invalid argument.
        return Fail(IdErrInvalidArgument);
    }

    const int ready =
        ::poll(plan.fds.data(), plan.fds.size(), timeoutMs == IdTimeoutInfinite ? -1 : timeoutMs);
    if (ready < 0) {
        return FailFromErrno();
    }
    if (std::ranges::any_of(plan.fds,
                            [](const pollfd& p) { return (p.revents & POLLNVAL) != 0; })) {
        return Fail(IdErrBadFile);
    }
    return KeepReady(readList, ReadReady, plan) + KeepReady(writeList, WriteReady, plan) +
           KeepReady(errorList, ErrorReady, plan);
}

std::int32_t TIdStackPosix::SendTo(TIdStackSocketHandle socket,
                                   std::span<const std::uint8_t> buffer, std::int32_t length,
                                   std::int32_t flags, const std::string& dottedQuad,
                                   std::int32_t port) {
    return SendDatagram(socket, buffer, length, flags, dottedQuad, port, nullptr);
}

std::int32_t TIdStackPosix::SendToVia(TIdStackSocketHandle socket,
                                      std::span<const std::uint8_t> buffer, std::int32_t length,
                                      std::int32_t flags, const std::string& dottedQuad,
                                      std::int32_t port, const TIdInterface& via) {
    return SendDatagram(socket, buffer, length, flags, dottedQuad, port, &via);
}

std::int32_t TIdStackPosix::SendDatagram(TIdStackSocketHandle socket,
                                         std::span<const std::uint8_t> buffer, std::int32_t length,
                                         std::int32_t flags, const std::string& dottedQuad,
                                         std::int32_t port, const TIdInterface* via) {
    const auto usable = ClampLength(length, buffer.size());
    if (!usable) {
        return Fail(IdErrInvalidArgument);
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = HostToNetwork16(static_cast<std::uint16_t>(port));
    const TIdIPv4Bytes address = TextToAddress(dottedQuad);
    std::memcpy(&to.sin_addr, address.data(), address.size());

    iovec piece{const_cast<std::uint8_t*>(buffer.data()), *usable};
    msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &piece;
    message.msg_iovlen = 1;
    PacketInfoControl control{};
    if (via != nullptr) {
        // The interface's index picks the way out, its address the source.
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(via->index);
        if (via->address) {
            std::memcpy(&info.ipi_spec_dst, via->address->data(), via->address->size());
        }
        message.msg_control = control.data();
        message.msg_controllen = control.size();
        cmsghdr* cmsg = CMSG_FIRSTHDR(&message);
        cmsg->cmsg_level = IPPROTO_IP;
        cmsg->cmsg_type = IP_PKTINFO;
        cmsg->cmsg_len = CMSG_LEN(sizeof info);
        message.msg_controllen = CMSG_SPACE(sizeof info);
        std::memcpy(CMSG_DATA(cmsg), &info, sizeof info);
    }
    const ssize_t sent = ::sendmsg(socket, &message, flags | MSG_NOSIGNAL);
    if (sent < 0) {
        return FailFromErrno();
    }
    return static_cast<std::int32_t>(sent);
}

TIdInterfaceList TIdStackPosix::ListInterfaces() {
    ifaddrs* found = nullptr;
    if (::getifaddrs(&found) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, IfAddrsDeleter> list(found);
    TIdInterfaceList interfaces;
    std::vector<std::uint32_t> withAddress;
    std::vector<TIdInterface> withoutAddress;
    std::map<std::string, std::uint32_t> indexOfLabel;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        // Each name costs the platform a socket to look up: once per name and listing.
        const std::string label = entry->ifa_name;
        auto known = indexOfLabel.find(label);
        if (known == indexOfLabel.end()) {
            known = indexOfLabel.emplace(label, ::if_nametoindex(label.c_str())).first;
        }
        const std::uint32_t index = known->second;
        if (index == 0) {
            continue;
        }
        TIdInterface item;
        item.index = index;
        // A label such as eth0:1 names an address of eth0: the interface is named as the
        // operator knows it.
        item.name = label.find(':') == std::string::npos ? label : InterfaceName(index);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.broadcast = (entry->ifa_flags & IFF_BROADCAST) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            item.address = BytesOf(entry->ifa_addr);
            item.prefixLength = PrefixLengthOf(entry->ifa_netmask);
            if (item.broadcast) {
                item.broadcastAddress = BytesOf(entry->ifa_broadaddr);
            }
            withAddress.push_back(index);
            interfaces.push_back(std::move(item));
        } else if (std::ranges::find(withoutAddress, index, &TIdInterface::index) ==
                   withoutAddress.end()) {
            withoutAddress.push_back(std::move(item));
        }
    }
    for (auto& item : withoutAddress) {
        if (std::ranges::find(withAddress, item.index) == withAddress.end()) {
            interfaces.push_back(std::move(item));
        }
    }
    return interfaces;
}

std::string TIdStackPosix::InterfaceName(std::uint32_t index) {
    std::array<char, IF_NAMESIZE> name{};
    if (index == 0 || ::if_indextoname(index, name.data()) == nullptr) {
        return {};
    }
    return name.data();
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

std::int32_t TIdStackPosix::LastError() const {
    return tLastError;
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

} // namespace tcpipset
