#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tcpipset {

// Link layers whose frames the doctor's capture reads (the numbers of pcap's DLT_ values).
enum class LinkType : int {
    Ethernet = 1,
    Raw = 12,
    LinuxCooked = 113,
    LinuxCooked2 = 276,
};

// The addresses of a UDP datagram over IPv4 as it was on the wire.
struct WireDatagram {
    std::array<std::uint8_t, 4> source{};
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
};

// An ARP packet for IPv4 as it was on the wire.
struct WireArp {
    bool request = true; // false: a reply
    std::array<std::uint8_t, 4> senderAddress{};
    std::array<std::uint8_t, 4> targetAddress{};
};

// Reads the UDP datagram in one captured frame; nothing for what is not a first (or only)
// IPv4 fragment of UDP, or is cut short.
std::optional<WireDatagram> UdpInFrame(std::span<const std::uint8_t> frame, LinkType link);
// Reads an ARP request or reply for IPv4 over Ethernet in one captured frame; nothing for
// anything else, or what is cut short.
std::optional<WireArp> ArpInFrame(std::span<const std::uint8_t> frame, LinkType link);

} // namespace tcpipset
