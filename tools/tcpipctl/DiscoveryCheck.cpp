#include "tools/tcpipctl/DiscoveryCheck.h"

#include "tools/tcpipctl/RouteTable.h"

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
        todo.push_back("let replies from UDP port 5001 in (see the firewall check)");
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
    const std::size_t delivered = result.addresses.size() + result.unreadable;
    DoctorCheck check{"discovery on " + result.name, Verdict::Ok, {}, {},
                      DiscoveryFigures{result.name, std::nullopt, delivered, {}}};
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
                                     "UDP port 5001"
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
        check.detail = Count(delivered, "reply", "replies") + " from " +
                       AddressList(figures.senders);
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
    if (!cause.empty()) {
        check.detail += "; " + cause;
    }
    return check;
}

} // namespace

std::vector<DoctorCheck> DiscoveryChecks(const std::vector<InterfaceDiscovery>& results,
                                         const DeliveryCauses& causes) {
    const bool anyReply = std::ranges::any_of(results, [](const InterfaceDiscovery& r) {
        return !r.addresses.empty() || r.unreadable != 0 || (r.wire && !r.wire->empty());
    });
    std::vector<DoctorCheck> checks;
    for (const auto& result : results) {
        checks.push_back(CheckOne(result, anyReply, causes));
    }
    return checks;
}

} // namespace tcpipset
