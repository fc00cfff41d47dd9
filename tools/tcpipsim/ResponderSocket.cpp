#include "tools/tcpipsim/ResponderSocket.h"

#include "tools/tcpipsim/SimError.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tcpipset::sim {

namespace {

constexpr int ReceiveBufferBytes = 1 << 20;

sockaddr_in SocketAddress(Ipv4 address, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address.value);
    sa.sin_port = htons(port);
    return sa;
}

std::string ErrorText(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

} // namespace

ResponderSocket::ResponderSocket(Ipv4 bind, std::uint16_t port) : buffer_(65536) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        throw SimError(ErrorText("socket"));
    }
    const int on = 1;
    const int rcvbuf = ReceiveBufferBytes;
    sockaddr_in sa = SocketAddress(bind, port);
    socklen_t len = sizeof sa;
    if (::setsockopt(fd_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf) != 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        const std::string error = ErrorText("socket set-up");
        ::close(fd_);
        throw SimError(error + " (" + FormatDotted(bind) + ":" + std::to_string(port) + ")");
    }
    port_ = ntohs(sa.sin_port);
}

ResponderSocket::~ResponderSocket() {
    ::close(fd_);
}

std::optional<ResponderSocket::Received> ResponderSocket::TryReceive() {
    sockaddr_in from{};
    iovec iov{buffer_.data(), buffer_.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t n = ::recvmsg(fd_, &msg, MSG_DONTWAIT);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return std::nullopt;
        }
        throw SimError(ErrorText("recvmsg"));
    }
    Received received;
    received.bytes.assign(buffer_.begin(), buffer_.begin() + n);
    received.from = Endpoint{Ipv4{ntohl(from.sin_addr.s_addr)}, ntohs(from.sin_port)};
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            received.to = Ipv4{ntohl(info.ipi_addr.s_addr)};
        }
    }
    return received;
}

std::string ResponderSocket::Send(Ipv4 source, Endpoint to, const Bytes& bytes) {
    if (!InTestRanges(source) || !InTestRanges(to.address)) {
        return "outside-test-ranges";
    }
    sockaddr_in dest = SocketAddress(to.address, to.port);
    iovec iov{const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
    msghdr msg{};
    msg.msg_name = &dest;
    msg.msg_namelen = sizeof dest;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_spec_dst.s_addr = htonl(source.value);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    while (::sendmsg(fd_, &msg, 0) < 0) {
        if (errno != EINTR) {
            std::string error = std::strerror(errno);
            for (char& ch : error) {
                ch = ch == ' ' ? '-' : ch;
            }
            return error;
        }
    }
    return {};
}

} // namespace tcpipset::sim
