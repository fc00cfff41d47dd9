#include "tools/tcpipctl/doctor/WireFrame.h"

#include <algorithm>

namespace tcpipset {

namespace {

constexpr std::uint16_t EtherTypeIpv4 = 0x0800;
constexpr std::uint16_t EtherTypeArp = 0x0806;
constexpr std::uint16_t EtherTypeVlan = 0x8100;
constexpr std::uint16_t EtherTypeQinQ = 0x88A8;
constexpr std::uint8_t ProtocolUdp = 17;

std::uint16_t Word(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// Where the packet of the network protocol etherType starts, or nothing when the frame
// carries something else.
std::optional<std::size_t> NetworkOffset(std::span<const std::uint8_t> frame, LinkType link,
                                         std::uint16_t etherType) {
    std::size_t typeAt = 0;
    switch (link) {
    case LinkType::Raw:
        return etherType == EtherTypeIpv4 ? std::optional<std::size_t>(0) : std::nullopt;
    case LinkType::LinuxCooked:
        typeAt = 14;
        break;
    case LinkType::LinuxCooked2:
        typeAt = 0;
        break;
    case LinkType::Ethernet:
        typeAt = 12;
        // A switch port may hand the frames over tagged, once or twice.
        while (frame.size() >= typeAt + 2 &&
               (Word(frame, typeAt) == EtherTypeVlan || Word(frame, typeAt) == EtherTypeQinQ)) {
            typeAt += 4;
        }
        break;
    default:
        return std::nullopt; // a link layer whose frames are not read here
    }
    if (frame.size() < typeAt + 2 || Word(frame, typeAt) != etherType) {
        return std::nullopt;
    }
    return link == LinkType::LinuxCooked2 ? std::size_t{20} : typeAt + 2;
}

} // namespace

std::optional<WireDatagram> UdpInFrame(std::span<const std::uint8_t> frame, LinkType link) {
    const auto ipAt = NetworkOffset(frame, link, EtherTypeIpv4);
    if (!ipAt || frame.size() < *ipAt + 20) {
        return std::nullopt;
    }
    const auto ip = frame.subspan(*ipAt);
    const std::size_t headerLength = std::size_t{ip[0] & 0x0Fu} * 4;
    const bool laterFragment = (Word(ip, 6) & 0x1FFF) != 0;
    if (ip[0] >> 4 != 4 || headerLength < 20 || ip[9] != ProtocolUdp || laterFragment ||
        ip.size() < headerLength + 8) {
        return std::nullopt;
    }
    WireDatagram datagram;
    std::copy_n(ip.begin() + 12, 4, datagram.source.begin());
    datagram.sourcePort = Word(ip, headerLength);
    datagram.destinationPort = Word(ip, headerLength + 2);
    return datagram;
}

std::optional<WireArp> ArpInFrame(std::span<const std::uint8_t> frame, LinkType link) {
    constexpr std::size_t ArpLength = 28;
    constexpr std::uint16_t HardwareEthernet = 1;
    constexpr std::uint16_t OperationRequest = 1;
    constexpr std::uint16_t OperationReply = 2;
    const auto arpAt = NetworkOffset(frame, link, EtherTypeArp);
    if (!arpAt || frame.size() < *arpAt + ArpLength) {
        return std::nullopt;
    }
    const auto arp = frame.subspan(*arpAt, ArpLength);
    const std::uint16_t operation = Word(arp, 6);
    if (Word(arp, 0) != HardwareEthernet || Word(arp, 2) != EtherTypeIpv4 || arp[4] != 6 ||
        arp[5] != 4 || (operation != OperationRequest && operation != OperationReply)) {
        return std::nullopt;
    }
    WireArp packet;
    packet.request = operation == OperationRequest;
    std::copy_n(arp.begin() + 14, 4, packet.senderAddress.begin());
    std::copy_n(arp.begin() + 24, 4, packet.targetAddress.begin());
    return packet;
}

} // namespace tcpipset
