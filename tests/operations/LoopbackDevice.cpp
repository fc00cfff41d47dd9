#include "tests/operations/LoopbackDevice.h"

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

LoopbackDevice::LoopbackDevice(Script script) : script_(std::move(script)) {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address = Loopback(0);
    if (socket_ < 0 ||
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("loopback device: cannot bind");
    }
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

LoopbackDevice::~LoopbackDevice() {
    stop_ = true;
    thread_.join();
    ::close(socket_);
}

std::vector<Datagram> LoopbackDevice::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackDevice::SendUnasked(const Datagram& bytes) {
    std::uint16_t port = 0;
    {
        std::lock_guard lock(mutex_);
        port = lastPeerPort_;
    }
    const sockaddr_in peer = Loopback(port);
    ::sendto(socket_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&peer),
             sizeof peer);
}

// A reply from another address of the loopback network leaves through a socket of its
// own bound to that address, as from a device that has moved.
void LoopbackDevice::SendFrom(const ScriptedReply& reply, const sockaddr_in& peer) {
    int sender = socket_;
    if (!reply.from.empty()) {
        sender = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in source = Loopback(0);
        ::inet_pton(AF_INET, reply.from.c_str(), &source.sin_addr);
        ::bind(sender, reinterpret_cast<sockaddr*>(&source), sizeof source);
    }
    ::sendto(sender, reply.bytes.data(), reply.bytes.size(), 0,
             reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    if (sender != socket_) {
        ::close(sender);
    }
}

void LoopbackDevice::Serve() {
    while (!stop_) {
        pollfd ready{socket_, POLLIN, 0};
        if (::poll(&ready, 1, 20) <= 0) {
            continue;
        }
        Datagram request(2048);
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const ssize_t received = ::recvfrom(socket_, request.data(), request.size(), 0,
                                            reinterpret_cast<sockaddr*>(&peer), &length);
        if (received < 0) {
            continue;
        }
        request.resize(static_cast<std::size_t>(received));
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            lastPeerPort_ = ntohs(peer.sin_port);
        }
        for (const ScriptedReply& reply : script_(request)) {
            std::this_thread::sleep_for(reply.delay);
            SendFrom(reply, peer);
        }
    }
}

Datagram ReplyWithItems(std::vector<std::uint8_t> items) {
    Datagram reply{'P', 'T', 'N', '0', 'A', '1', 'B', '2', 'C', 'J'};
    reply.insert(reply.end(), items.begin(), items.end());
    return reply;
}

Datagram DeviceReply(std::vector<std::uint8_t> mask, std::vector<std::uint8_t> gateway,
                     std::vector<std::uint8_t> mac) {
    std::vector<std::uint8_t> items{1, 4};
    items.insert(items.end(), mask.begin(), mask.end());
    items.insert(items.end(), {2, 4});
    items.insert(items.end(), gateway.begin(), gateway.end());
    items.insert(items.end(), {10, 6});
    items.insert(items.end(), mac.begin(), mac.end());
    items.push_back(0xFF);
    return ReplyWithItems(items);
}

} // namespace tcpipset::testing
