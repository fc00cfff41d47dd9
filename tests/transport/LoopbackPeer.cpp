#include "LoopbackPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tcpipset::testing {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

LoopbackPeer::LoopbackPeer() : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
    if (socket_ < 0) {
        throw std::runtime_error("no socket for the loopback peer");
    }
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(socket_);
        throw std::runtime_error("cannot bind the loopback peer");
    }
    port_ = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer() {
    ::close(socket_);
}

void LoopbackPeer::SendTo(std::uint16_t port, std::span<const std::uint8_t> bytes) const {
    const sockaddr_in to = Loopback(port);
    if (::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("the loopback peer could not send");
    }
}

void LoopbackPeer::SendTo(std::uint16_t port, const std::string& text) const {
    SendTo(port, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::optional<LoopbackPeer::Datagram> LoopbackPeer::Receive(int timeoutMs) const {
    pollfd waiting{socket_, POLLIN, 0};
    if (::poll(&waiting, 1, timeoutMs) != 1) {
        return std::nullopt;
    }
    Datagram datagram;
    datagram.bytes.resize(70000);
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t received = ::recvfrom(socket_, datagram.bytes.data(), datagram.bytes.size(), 0,
                                        reinterpret_cast<sockaddr*>(&from), &size);
    if (received < 0) {
        return std::nullopt;
    }
    datagram.bytes.resize(static_cast<std::size_t>(received));
    datagram.fromPort = ntohs(from.sin_port);
    return datagram;
}

} // namespace tcpipset::testing
