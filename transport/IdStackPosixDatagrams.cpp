#include "transport/ErrnoMapping.h"
#include "transport/IdStackPosix.h"
#include "transport/PosixCallSupport.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <vector>

namespace tcpipset {

using namespace posix;

namespace {

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

} // namespace

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

} // namespace tcpipset
