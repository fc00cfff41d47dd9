#include "transport/PortClaim.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tcpipset {

PortClaim::~PortClaim() {
    Release();
}

PortClaim::Result PortClaim::Take(std::uint16_t port) {
    Release();
    const int descriptor = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        return Result::Unavailable;
    }
    // The leading NUL puts the name in the abstract namespace: no file to leave behind.
    const std::string name = std::string(1, '\0') + "tcpipset/udp/" + std::to_string(port);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        const int error = errno;
        ::close(descriptor);
        return error == EADDRINUSE ? Result::HeldElsewhere : Result::Unavailable;
    }
    descriptor_ = descriptor;
    return Result::Taken;
}

void PortClaim::Release() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

} // namespace tcpipset
