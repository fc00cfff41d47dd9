#pragma once

#include <cstdint>

namespace tcpipset {

// A process's hold on a UDP port that its sockets share with SO_REUSEPORT. The system lets
// any process of the same user join such a port, and then splits the replies between
// them without a word; a claim that only one process can hold keeps the port to one.
//
// The claim is an abstract local socket named after the port. Such names, like ports,
// belong to the network namespace, and the system frees the name when the process ends,
// however it ends.
class PortClaim {
public:
    enum class Result { Taken, HeldElsewhere, Unavailable };

    PortClaim() = default;
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

    // Claims the port; HeldElsewhere when another endpoint holds it, Unavailable when no
    // claim can be made here. Any earlier claim of this object is given up first.
    Result Take(std::uint16_t port);
    void Release();
    bool Held() const { return descriptor_ >= 0; }

private:
    int descriptor_ = -1;
};

} // namespace tcpipset
