#pragma once

#include "tools/tcpipctl/doctor/DoctorChecks.h"
#include "tools/tcpipctl/doctor/WireFrame.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// What the doctor's discovery on one interface met.
struct InterfaceDiscovery {
    std::string name;
    std::vector<std::string> addresses; // of each reply received and read, in order
    std::size_t unreadable = 0;         // replies received that could not be read
    std::uint64_t dropped = 0;          // datagrams the system dropped on the endpoint
    // The sender of each reply that reached the interface; nothing when not captured.
    std::optional<std::vector<std::array<std::uint8_t, 4>>> wire;
    std::uint64_t wireMissed = 0; // frames the capture itself lost
    std::string wireFailure;      // why nothing was captured
    std::string failure;          // why the discovery failed
    // The ARP packets on the interface during the discovery, both ways; nothing when not
    // captured. A device whose ARP request for the workstation's address goes unanswered
    // cannot send its reply at all.
    std::optional<std::vector<WireArp>> arp;
    std::vector<std::array<std::uint8_t, 4>> ownAddresses; // the workstation's on it
    // The replies that added no line as discover tells of them, with their senders ("1
    // reply could not be read: from 198.18.0.5").
    std::vector<std::string> unlisted = {};
};

// One of the workstation's subnets.
struct Subnet {
    std::array<std::uint8_t, 4> address{};
    int prefixLength = 0;
};

// What the other checks found, to tell why replies that reached an interface were not
// received.
struct DeliveryCauses {
    std::vector<std::string> droppingChains; // input chains that drop the replies
    std::map<std::string, int> rpFilter;     // the mode in force on each interface
    std::string procNetRoute;                // the routing table, to find the way back
    std::vector<Subnet> subnets;             // of every interface of the workstation
    int replyPort = DefaultReplyPort;        // the devices answer from it
};

// One check per interface: the replies on the wire against those received and, where
// some went missing, the likely cause.
std::vector<DoctorCheck> DiscoveryChecks(const std::vector<InterfaceDiscovery>& results,
                                         const DeliveryCauses& causes);

} // namespace tcpipset
