#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tcpipset::sim {

// An IPv4 address held in host byte order, so that "the next address" is value + 1.
struct Ipv4 {
    std::uint32_t value = 0;

    std::uint8_t Part(int index) const {
        return static_cast<std::uint8_t>(value >> (8 * (3 - index)));
    }
    static Ipv4 FromParts(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
    friend bool operator==(Ipv4, Ipv4) = default;
};

// Four decimal parts joined by "."; every part is one or more digits and at most 255.
// Leading zeros are read as decimal digits ("0192.168.001.020" is 192.168.1.20), because
// the device reads each part as a number, not as the text the operator typed.
std::optional<Ipv4> ParseDottedDecimal(std::string_view text);

std::string FormatDotted(Ipv4 address);

// The only ranges the simulator ever sends from or to: the loopback range and the
// benchmark range 198.18.0.0/15 that the test segment uses.
bool InTestRanges(Ipv4 address);

} // namespace tcpipset::sim
