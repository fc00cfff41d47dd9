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

// The header of one datagram to or from a peer in `peer`, its bytes in `iov`, with room
// for its IP_PKTINFO in `control`.
template <std::size_t ControlBytes>
msghdr MessageHeader(sockaddr_in& peer, iovec& iov, char (&control)[ControlBytes]) {
    msghdr header{};
    header.msg_name = &peer;
    header.msg_namelen = sizeof peer;
    header.msg_iov = &iov;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = ControlBytes;
    return header;
}

const std::string OutsideTestRanges = "outside-test-ranges";

std::string ErrorText(const char* call) {
    return std::string(call) + ": " + std::strerror(errno);
}

// errno of a failed send as one word, for the log.
std::string SendErrorText() {
    std::string error = std::strerror(errno);
    for (char& ch : error) {
        ch = ch == ' ' ? '-' : ch;
    }
    return error;
}

} // namespace

// One datagram with its destination and its IP_PKTINFO source, ready for sendmsg; not
// to be copied once prepared, since the header points into it.
struct ResponderSocket::Message {
    sockaddr_in dest{};
    iovec iov{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
    msghdr header{};

    Message() = default;
    Message(const Message&) = delete;
    Message& operator=(const Message&) = delete;

    void Prepare(const Outgoing& out) {
        dest = SocketAddress(out.to.address, out.to.port);
        iov = iovec{const_cast<std::uint8_t*>(out.bytes->data()), out.bytes->size()};
        header = MessageHeader(dest, iov, control);
        cmsghdr* c = CMSG_FIRSTHDR(&header);
        c->cmsg_level = IPPROTO_IP;
        c->cmsg_type = IP_PKTINFO;
        c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(out.source.value);
        std::memcpy(CMSG_DATA(c), &info, sizeof info);
    }
};

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
    msghdr msg = MessageHeader(from, iov, control);
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
        return OutsideTestRanges;
    }
    Message m;
    m.Prepare(Outgoing{source, to, &bytes});
    while (::sendmsg(fd_, &m.header, 0) < 0) {
        if (errno != EINTR) {
            return SendErrorText();
        }
    }
    return {};
}

std::vector<ResponderSocket::Failure>
ResponderSocket::SendBatch(std::span<const Outgoing> messages) {
    std::vector<Failure> failures;
    std::vector<Message> batch(std::min(messages.size(), MaxBatch));
    std::vector<mmsghdr> headers(batch.size());
    std::vector<std::size_t> indexes(batch.size());
    std::size_t next = 0;
    while (next < messages.size()) {
        std::size_t count = 0;
        for (; next < messages.size() && count < batch.size(); ++next) {
            const Outgoing& out = messages[next];
            if (!InTestRanges(out.source) || !InTestRanges(out.to.address)) {
                failures.push_back(Failure{next, OutsideTestRanges});
                continue;
            }
            batch[count].Prepare(out);
            headers[count] = mmsghdr{batch[count].header, 0};
            indexes[count++] = next;
        }
        std::size_t done = 0;
        while (done < count) {
            const int sent =
                ::sendmmsg(fd_, headers.data() + done, static_cast<unsigned>(count - done), 0);
            if (sent > 0) {
                done += static_cast<std::size_t>(sent);
            } else if (errno != EINTR) {
                // The first message of the rest is the one refused; the others still go.
                failures.push_back(Failure{indexes[done++], SendErrorText()});
            }
        }
    }
    return failures;
}

} // namespace tcpipset::sim
