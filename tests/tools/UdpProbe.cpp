#include "tests/tools/UdpProbe.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tcpipset::testing {

namespace {

sockaddr_in Address(const std::string& text, std::uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, text.c_str(), &sa.sin_addr) != 1) {
        throw std::runtime_error("not an address: " + text);
    }
    return sa;
}

[[noreturn]] void Fail(const char* call) {
    throw std::runtime_error(std::string(call) + ": " + std::strerror(errno));
}

} // namespace

UdpProbe::UdpProbe(const std::string& bindAddress) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        Fail("socket");
    }
    const int on = 1;
    if (::setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        ::close(fd_);
        Fail("SO_BROADCAST");
    }
    if (!bindAddress.empty()) {
        const sockaddr_in sa = Address(bindAddress, 0);
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
            ::close(fd_);
            Fail("bind");
        }
    }
}

UdpProbe::~UdpProbe() {
    ::close(fd_);
}

void UdpProbe::Send(const Bytes& bytes, const std::string& to, std::uint16_t port) {
    const sockaddr_in sa = Address(to, port);
    if (::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa),
                 sizeof sa) != static_cast<ssize_t>(bytes.size())) {
        Fail("sendto");
    }
}

std::uint16_t UdpProbe::LocalPort() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        Fail("getsockname");
    }
    return ntohs(sa.sin_port);
}

std::optional<Datagram> UdpProbe::Receive(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
    if (ready < 0) {
        Fail("poll");
    }
    if (ready == 0) {
        return std::nullopt;
    }
    Bytes buffer(2048);
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n =
        ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) {
        Fail("recvfrom");
    }
    buffer.resize(static_cast<std::size_t>(n));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return Datagram{std::move(buffer), text, ntohs(from.sin_port), TestClock::now()};
}

std::vector<Datagram> UdpProbe::ReceiveUntilQuiet(std::chrono::milliseconds quiet,
                                                  std::chrono::milliseconds limit) {
    std::vector<Datagram> all;
    const auto end = TestClock::now() + limit;
    while (TestClock::now() < end) {
        auto d = Receive(quiet);
        if (!d) {
            break;
        }
        all.push_back(std::move(*d));
    }
    return all;
}

Bytes DiscoveryRequest() {
    return {'P', 'T', 'N', '0', '0', '0', '0', '0', '0', 'J'};
}

Bytes QueryRequest(const std::string& selector) {
    Bytes d{'P', 'T', 'N'};
    d.insert(d.end(), selector.begin(), selector.end());
    d.push_back('J');
    return d;
}

Bytes SetRequest(const std::string& selector, const std::string& ipText, const Bytes& mask,
                 const Bytes& gateway, bool restart) {
    Bytes d{'P', 'T', 'N'};
    d.insert(d.end(), selector.begin(), selector.end());
    d.push_back('I');
    d.insert(d.end(), ipText.begin(), ipText.end());
    d.push_back(1);
    d.push_back(4);
    d.insert(d.end(), mask.begin(), mask.end());
    d.push_back(2);
    d.push_back(4);
    d.insert(d.end(), gateway.begin(), gateway.end());
    if (restart) {
        d.insert(d.end(), {0x10, 0x01, 0x01});
    }
    d.push_back(0xFF);
    return d;
}

std::string Hex(const Bytes& bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (auto b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::vector<std::string> LogLines(const std::string& path, const std::string& needle,
                                  std::size_t atLeast, std::chrono::milliseconds limit) {
    const auto end = TestClock::now() + limit;
    std::vector<std::string> lines;
    do {
        lines.clear();
        std::ifstream in(path);
        std::string line;
        while (std::getline(in, line)) {
            if (line.find(needle) != std::string::npos) {
                lines.push_back(line);
            }
        }
        if (lines.size() >= atLeast) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (TestClock::now() < end);
    return lines;
}

} // namespace tcpipset::testing
