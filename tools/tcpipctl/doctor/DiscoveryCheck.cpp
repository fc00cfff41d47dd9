#include "tools/tcpipctl/doctor/DiscoveryCheck.h"

#include "tools/tcpipctl/doctor/RouteTable.h"

#include <algorithm>
#include <tuple>

namespace tcpipset {

namespace {

// Addresses of the senders shown on a discovery line; the rest are counted.
constexpr std::size_t AddressesShown = 5;

std::string AddressText(const std::array<std::uint8_t, 4>& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]);
}

std::vector<std::string> Distinct(const std::vector<std::string>& addresses) {
    std::vector<std::string> distinct;
    for (const auto& address : addresses) {
        if (std::ranges::find(distinct, address) == distinct.end()) {
            distinct.push_back(address);
        }
    }
    return distinct;
}

std::string AddressList(const std::vector<std::string>& distinct) {
    std::string text;
    for (std::size_t i = 0; i < std::min(distinct.size(), AddressesShown); ++i) {
        text += (i == 0 ? "" : ", ") + distinct[i];
    }
    if (distinct.size() > AddressesShown) {
        text += " and " + std::to_string(distinct.size() - AddressesShown) + " more";
    }
    return text;
}

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The senders whose replies reached the interface more often than the program received
// one from them.
std::vector<std::array<std::uint8_t, 4>> Undelivered(const InterfaceDiscovery& result) {
    std::vector<std::string> received = result.addresses;
    std::vector<std::array<std::uint8_t, 4>> missing;
    for (const auto& sender : *result.wire) {
        const auto found = std::ranges::find(received, AddressText(sender));
        if (found != received.end()) {
            received.erase(found);
        } else if (std::ranges::find(missing, sender) == missing.end()) {
            missing.push_back(sender);
        }
    }
    return missing;
}

bool InSubnet(const std::array<std::uint8_t, 4>& address, const Subnet& subnet) {
    const auto value = [](const std::array<std::uint8_t, 4>& bytes) {
        return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
               std::uint32_t{bytes[2]} << 8 | bytes[3];
    };
    const std::uint32_t mask = subnet.prefixLength <= 0
                                   ? 0
                                   : ~std::uint32_t{0} << (32 - std::min(subnet.prefixLength, 32));
    return (value(address) & mask) == (value(subnet.address) & mask);
}

// The devices that asked for the workstation's address on the interface and were never
// answered, and whose replies therefore never left them; in the order they first asked.
std::vector<std::array<std::uint8_t, 4>> UnansweredArp(const InterfaceDiscovery& result) {
    std::vector<std::array<std::uint8_t, 4>> silent;
    if (!result.arp) {
        return silent;
    }
    const auto own = [&](const std::array<std::uint8_t, 4>& address) {
        return std::ranges::find(result.ownAddresses, address) != result.ownAddresses.end();
    };
    const auto answered = [&](const WireArp& request) {
        return std::ranges::any_of(*result.arp, [&](const WireArp& packet) {
            return !packet.request && packet.senderAddress == request.targetAddress &&
                   packet.targetAddress == request.senderAddress;
        });
    };
    const auto replied = [&](const std::array<std::uint8_t, 4>& sender) {
        return (result.wire && std::ranges::find(*result.wire, sender) != result.wire->end()) ||
               std::ranges::find(result.addresses, AddressText(sender)) != result.addresses.end();
    };
    constexpr std::array<std::uint8_t, 4> Unspecified{};
    for (const WireArp& packet : *result.arp) {
        const auto& sender = packet.senderAddress;
        // A probe for a free address asks from 0.0.0.0; the workstation asks for itself
        // only in a gratuitous announcement.
        if (packet.request && own(packet.targetAddress) && sender != Unspecified && !own(sender) &&
            !answered(packet) && !replied(sender) &&
            std::ranges::find(silent, sender) == silent.end()) {
            silent.push_back(sender);
        }
    }
    return silent;
}

// Why the workstation kept silent to these devices' ARP requests, and what lets it answer.
std::pair<std::string, std::string>
WhyArpWentUnanswered(const InterfaceDiscovery& result, const DeliveryCauses& causes,
                     const std::vector<std::array<std::uint8_t, 4>>& silent) {
    std::vector<std::string> byRpFilter;
    std::vector<std::string> outside;
    std::vector<std::string> other;
    std::vector<std::string> routes;
    const auto mode = causes.rpFilter.find(result.name);
    const int rpFilter = mode == causes.rpFilter.end() ? 0 : mode->second;
    for (const auto& sender : silent) {
        const std::string back = RouteInterfaceFor(causes.procNetRoute, sender);
        const bool unrouted = rpFilter == 1 ? back != result.name : back.empty();
        const bool inSubnet = std::ranges::any_of(
            causes.subnets, [&](const Subnet& subnet) { return InSubnet(sender, subnet); });
        (rpFilter != 0 && unrouted ? byRpFilter
         : inSubnet                ? other
                                   : outside)
            .push_back(AddressText(sender));
        // The factory subnet, as a /24: a route to it lets the workstation answer.
        const std::string route = "sudo ip route add " + std::to_string(sender[0]) + "." +
                                  std::to_string(sender[1]) + "." + std::to_string(sender[2]) +
                                  ".0/24 dev " + result.name;
        if (!inSubnet && std::ranges::find(routes, route) == routes.end()) {
            routes.push_back(route);
        }
    }
    std::string cause =
        "; " + Count(silent.size(), "device", "devices") +
        " asked for the workstation's address by ARP and got no answer, so " +
        (silent.size() == 1 ? "its replies never left it" : "their replies never left them");
    std::vector<std::string> todo;
    std::string routeList;
    for (const auto& route : routes) {
        routeList += (routeList.empty() ? "" : "; ") + route;
    }
    if (!byRpFilter.empty()) {
        cause += std::string(": ") + AddressList(byRpFilter) + " (rp_filter " +
                 (rpFilter == 1 ? "strict (1)" : "loose (2)") + " and no route back" +
                 (rpFilter == 1 ? " by " + result.name : "") + ")";
        std::string sysctlName = result.name;
        std::ranges::replace(sysctlName, '.', '/');
        todo.push_back("add a route for the factory subnet: " + routeList +
                       ", or turn rp_filter off: sudo sysctl -w "
                       "net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." +
                       sysctlName + ".rp_filter=0");
    }
    if (!outside.empty()) {
        cause += std::string(byRpFilter.empty() ? ": " : "; ") + AddressList(outside) +
                 " (an address outside every subnet of the workstation)";
        todo.push_back(
            "give " + result.name +
            " an address in the devices' factory subnet, or a route to it: " + routeList);
    }
    if (!other.empty()) {
        cause += std::string(byRpFilter.empty() && outside.empty() ? ": " : "; ") +
                 AddressList(other) + " (in a subnet of the workstation)";
        todo.push_back("look at arptables and at arp_ignore and arp_filter of " + result.name);
    }
    std::string advice;
    for (const auto& piece : todo) {
        advice += (advice.empty() ? "" : "; ") + piece;
    }
    return {cause, advice};
}

// The likely causes of replies that reached the interface and were not received, each
// with what to do.
std::pair<std::string, std::string> LikelyCauses(const InterfaceDiscovery& result,
                                                 const DeliveryCauses& causes) {
    std::vector<std::string> found;
    std::vector<std::string> todo;
    if (!causes.droppingChains.empty()) {
        std::string chains;
        for (const auto& chain : causes.droppingChains) {
            chains += (chains.empty() ? "\"" : ", \"") + chain + "\"";
        }
        found.push_back("the firewall: " + chains + " drops them");
        todo.push_back("let replies from UDP port " + std::to_string(causes.replyPort) +
                       " in (see the firewall check)");
    }
    const auto mode = causes.rpFilter.find(result.name);
    if (mode != causes.rpFilter.end() && mode->second != 0) {
        std::vector<std::string> unrouted;
        for (const auto& sender : Undelivered(result)) {
            const std::string back = RouteInterfaceFor(causes.procNetRoute, sender);
            if (mode->second == 1 ? back != result.name : back.empty()) {
                unrouted.push_back(AddressText(sender));
            }
        }
        if (!unrouted.empty()) {
            found.push_back(std::string("rp_filter ") +
                            (mode->second == 1 ? "strict (1)" : "loose (2)") +
                            ": the workstation has no route back to " + AddressList(unrouted) +
                            (mode->second == 1 ? " by " + result.name : ""));
            todo.push_back("turn rp_filter off or add a route for the devices' subnet (see the "
                           "rp_filter check)");
        }
    }
    if (result.dropped != 0) {
        found.push_back("the receive buffer: " + Count(result.dropped, "datagram", "datagrams") +
                        " dropped");
        todo.push_back("give the endpoint a larger receive buffer (see the receive buffer "
                       "check)");
    }
    if (found.empty()) {
        return {"likely cause: none that the doctor can see (a firewall rule it cannot judge, "
                "or a filter it does not read)",
                "look at the workstation's packet filters and security software"};
    }
    std::string cause = "likely cause: ";
    std::string advice;
    for (std::size_t i = 0; i < found.size(); ++i) {
        cause += (i == 0 ? "" : "; ") + found[i];
        advice += (i == 0 ? "" : "; ") + todo[i];
    }
    return {cause, advice};
}

DoctorCheck CheckOne(const InterfaceDiscovery& result, bool anyReply,
                     const DeliveryCauses& causes) {
    const auto silent = UnansweredArp(result);
    const std::size_t delivered = result.addresses.size() + result.unreadable;
    DoctorCheck check{"discovery on " + result.name,
                      Verdict::Ok,
                      {},
                      {},
                      DiscoveryFigures{result.name, std::nullopt, delivered, {}, {}}};
    DiscoveryFigures& figures = *check.figures;
    std::vector<std::string> wireSenders;
    if (result.wire) {
        figures.wire = result.wire->size();
        for (const auto& sender : *result.wire) {
            wireSenders.push_back(AddressText(sender));
        }
    }
    figures.senders = Distinct(result.wire ? wireSenders : result.addresses);
    if (!result.failure.empty()) {
        check.verdict = Verdict::Problem;
        check.detail = result.failure;
        return check;
    }
    const std::size_t onWire = figures.wire.value_or(0);
    std::string cause;
    if (delivered == 0 && onWire == 0) {
        check.detail = result.wire ? "no reply reached " + result.name : "no reply";
        if (!anyReply) {
            check.verdict = Verdict::Problem;
            check.advice = result.wire
                               ? "no device answered on " + result.name +
                                     ": check the cable, the VLAN of the switch port, that "
                                     "the devices are on, and that nothing between blocks "
                                     "UDP port " +
                                     std::to_string(causes.replyPort)
                               : "with print servers on this segment, the lines above tell "
                                 "what may keep their replies out; a device that is off does "
                                 "not answer";
        }
    } else if (result.wire) {
        check.detail = std::to_string(onWire) + " on the wire, " + std::to_string(delivered) +
                       " delivered, from " + AddressList(figures.senders);
        if (onWire > delivered) {
            check.verdict = Verdict::Problem;
            std::tie(cause, check.advice) = LikelyCauses(result, causes);
        }
    } else {
        check.detail =
            Count(delivered, "reply", "replies") + " from " + AddressList(figures.senders);
    }
    check.detail += result.dropped == 0
                        ? ", none dropped"
                        : ", " + Count(result.dropped, "datagram", "datagrams") + " dropped";
    if (result.dropped != 0 && check.verdict == Verdict::Ok) {
        check.verdict = Verdict::Warning;
        check.advice = "more replies came at once than could be kept: see the receive "
                       "buffer above";
    }
    if (!result.wire) {
        check.detail += " (the wire was not captured: " + result.wireFailure + ")";
    } else if (result.wireMissed != 0) {
        check.detail += " (the capture missed " + std::to_string(result.wireMissed) + ")";
    }
    for (const auto& line : result.unlisted) {
        check.detail += "; " + line;
    }
    if (!cause.empty()) {
        check.detail += "; " + cause;
    }
    if (!silent.empty()) {
        for (const auto& sender : silent) {
            figures.unansweredArp.push_back(AddressText(sender));
        }
        const auto [why, todo] = WhyArpWentUnanswered(result, causes, silent);
        check.verdict = Verdict::Problem;
        check.detail += why;
        check.advice =
            check.advice.empty() || delivered + onWire == 0 ? todo : check.advice + "; " + todo;
    }
    return check;
}

} // namespace

std::vector<DoctorCheck> DiscoveryChecks(const std::vector<InterfaceDiscovery>& results,
                                         const DeliveryCauses& causes) {
    // A device that could not answer for want of an ARP answer is there all the same.
    const bool anyReply = std::ranges::any_of(results, [](const InterfaceDiscovery& r) {
        return !r.addresses.empty() || r.unreadable != 0 || (r.wire && !r.wire->empty()) ||
               !UnansweredArp(r).empty();
    });
    std::vector<DoctorCheck> checks;
    for (const auto& result : results) {
        checks.push_back(CheckOne(result, anyReply, causes));
    }
    return checks;
}

} // namespace tcpipset
