#include "tools/tcpipctl/doctor/DiscoveryCheck.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/doctor/RouteTable.h"

#include <algorithm>
#include <tuple>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

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
        const std::size_t more = distinct.size() - AddressesShown;
        // TRANSLATORS: %1 lists senders, %2 counts those left out of the list.
        text = Format(TrN("%1 and %2 more", "%1 and %2 more", more), text, more);
    }
    return text;
}

// The command that turns rp_filter off on the interface as well as for all: the larger
// value of the two counts.
std::string RpFilterOff(const std::string& interfaceName) {
    // sysctl's names use "." between their parts, so the dot of a VLAN interface's name is
    // written as "/".
    std::string sysctlName = interfaceName;
    std::ranges::replace(sysctlName, '.', '/');
    return "sudo sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." + sysctlName +
           ".rp_filter=0";
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
        "; " + Format(TrN("%1 device asked for the workstation's address by ARP and got no "
                          "answer, so its replies never left it",
                          "%1 devices asked for the workstation's address by ARP and got no "
                          "answer, so their replies never left them",
                          silent.size()),
                      silent.size());
    std::vector<std::string> todo;
    std::string routeList;
    for (const auto& route : routes) {
        routeList += (routeList.empty() ? "" : "; ") + route;
    }
    if (!byRpFilter.empty()) {
        const std::string pattern =
            rpFilter == 1
                // TRANSLATORS: %1 lists device addresses, %2 is an interface.
                ? Tr("%1 (rp_filter strict (1) and no route back by %2)")
                // TRANSLATORS: %1 lists device addresses.
                : Tr("%1 (rp_filter loose (2) and no route back)");
        cause += ": " + Format(pattern, AddressList(byRpFilter), result.name);
        const std::string cure =
            // TRANSLATORS: %1 is one or more commands, %2 a command.
            Tr("add a route for the factory subnet: %1, or turn rp_filter off: %2");
        todo.push_back(Format(cure, routeList, RpFilterOff(result.name)));
    }
    if (!outside.empty()) {
        const std::string pattern =
            // TRANSLATORS: %1 lists device addresses.
            Tr("%1 (an address outside every subnet of the workstation)");
        cause += (byRpFilter.empty() ? ": " : "; ") + Format(pattern, AddressList(outside));
        const std::string cure =
            // TRANSLATORS: %1 is an interface, %2 one or more commands.
            Tr("give %1 an address in the devices' factory subnet, or a route to it: %2");
        todo.push_back(Format(cure, result.name, routeList));
    }
    if (!other.empty()) {
        const std::string pattern =
            // TRANSLATORS: %1 lists device addresses.
            Tr("%1 (in a subnet of the workstation)");
        cause += (byRpFilter.empty() && outside.empty() ? ": " : "; ") +
                 Format(pattern, AddressList(other));
        const std::string cure =
            // TRANSLATORS: %1 is an interface; arptables, arp_ignore and arp_filter are the
            // system's names.
            Tr("look at arptables and at arp_ignore and arp_filter of %1");
        todo.push_back(Format(cure, result.name));
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
        // TRANSLATORS: %1 lists input chains of the firewall, each in quotes.
        found.push_back(Format(Tr("the firewall: %1 drops them"), chains));
        todo.push_back(Format(Tr("let replies from UDP port %1 in (see the firewall check)"),
                              causes.replyPort));
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
            const std::string pattern =
                mode->second == 1
                    // TRANSLATORS: %1 lists device addresses, %2 is an interface.
                    ? Tr("rp_filter strict (1): the workstation has no route back to %1 by %2")
                    // TRANSLATORS: %1 lists device addresses.
                    : Tr("rp_filter loose (2): the workstation has no route back to %1");
            found.push_back(Format(pattern, AddressList(unrouted), result.name));
            todo.push_back(Tr("turn rp_filter off or add a route for the devices' subnet (see the "
                              "rp_filter check)"));
        }
    }
    if (result.dropped != 0) {
        found.push_back(Format(TrN("the receive buffer: %1 datagram dropped",
                                   "the receive buffer: %1 datagrams dropped", result.dropped),
                               result.dropped));
        todo.push_back(Tr("give the endpoint a larger receive buffer (see the receive buffer "
                          "check)"));
    }
    if (found.empty()) {
        return {Tr("likely cause: none that the doctor can see (a firewall rule it cannot judge, "
                   "or a filter it does not read)"),
                Tr("look at the workstation's packet filters and security software")};
    }
    std::string causesFound;
    std::string advice;
    for (std::size_t i = 0; i < found.size(); ++i) {
        causesFound += (i == 0 ? "" : "; ") + found[i];
        advice += (i == 0 ? "" : "; ") + todo[i];
    }
    // TRANSLATORS: %1 tells one or more causes, apart by "; ".
    return {Format(Tr("likely cause: %1"), causesFound), advice};
}

DoctorCheck CheckOne(const InterfaceDiscovery& result, bool anyReply,
                     const DeliveryCauses& causes) {
    const auto silent = UnansweredArp(result);
    const std::size_t delivered = result.addresses.size() + result.unreadable;
    DoctorCheck check{"discovery on " + result.name,
                      // TRANSLATORS: the title of a check; %1 is an interface.
                      Format(Tr("discovery on %1"), result.name),
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
        check.detail = result.wire
                           // TRANSLATORS: %1 is an interface.
                           ? Format(Tr("no reply reached %1"), result.name)
                           : Tr("no reply");
        if (!anyReply) {
            check.verdict = Verdict::Problem;
            check.advice = result.wire
                               // TRANSLATORS: %1 is an interface.
                               ? Format(Tr("no device answered on %1: check the cable, the VLAN of "
                                           "the switch port, that the devices are on, and that "
                                           "nothing between blocks UDP port %2"),
                                        result.name, causes.replyPort)
                               : Tr("with print servers on this segment, the lines above tell "
                                    "what may keep their replies out; a device that is off does "
                                    "not answer");
        }
    } else if (result.wire) {
        // TRANSLATORS: %1 counts the replies that reached the interface, %2 those the
        // program received; %3 lists their senders.
        check.detail = Format(TrN("%1 on the wire, %2 delivered, from %3",
                                  "%1 on the wire, %2 delivered, from %3", onWire),
                              onWire, delivered, AddressList(figures.senders));
        if (onWire > delivered) {
            check.verdict = Verdict::Problem;
            std::tie(cause, check.advice) = LikelyCauses(result, causes);
        }
    } else {
        // TRANSLATORS: %2 lists the senders.
        check.detail = Format(TrN("%1 reply from %2", "%1 replies from %2", delivered), delivered,
                              AddressList(figures.senders));
    }
    const std::string dropped =
        result.dropped == 0
            // TRANSLATORS: %1 tells the replies counted.
            ? Tr("%1, none dropped")
            // TRANSLATORS: %1 tells the replies counted, %2 counts the datagrams.
            : TrN("%1, %2 datagram dropped", "%1, %2 datagrams dropped", result.dropped);
    check.detail = Format(dropped, check.detail, result.dropped);
    if (result.dropped != 0 && check.verdict == Verdict::Ok) {
        check.verdict = Verdict::Warning;
        check.advice = Tr("more replies came at once than could be kept: see the receive "
                          "buffer above");
    }
    if (!result.wire) {
        const std::string pattern =
            // TRANSLATORS: %1 tells the replies counted, %2 why the capture failed.
            Tr("%1 (the wire was not captured: %2)");
        check.detail = Format(pattern, check.detail, result.wireFailure);
    } else if (result.wireMissed != 0) {
        const std::string pattern =
            // TRANSLATORS: %1 tells the replies counted, %2 counts the frames the capture lost.
            TrN("%1 (the capture missed %2)", "%1 (the capture missed %2)", result.wireMissed);
        check.detail = Format(pattern, check.detail, result.wireMissed);
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
