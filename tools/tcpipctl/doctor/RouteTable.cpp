#include "tools/tcpipctl/doctor/RouteTable.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <vector>

namespace tcpipset {

namespace {

struct Route {
    std::string interfaceName;
    std::uint32_t destination = 0; // as the kernel prints it: in network order, read as hex
    std::uint32_t mask = 0;
};

std::uint32_t Hex(const std::string& text) {
    return static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16));
}

// The rows that lead somewhere.
std::vector<Route> UsableRoutes(const std::string& procNetRoute) {
    // An unreachable, prohibit or blackhole route is flagged RTF_REJECT.
    constexpr std::uint32_t RejectFlag = 0x0200;
    std::vector<Route> routes;
    std::istringstream lines(procNetRoute);
    std::string line;
    std::getline(lines, line); // the heading
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, destination, gateway, flags, refCount, use, metric, mask;
        if (fields >> name >> destination >> gateway >> flags >> refCount >> use >> metric >>
                mask &&
            (Hex(flags) & RejectFlag) == 0) {
            routes.push_back({name, Hex(destination), Hex(mask)});
        }
    }
    return routes;
}

int PrefixLength(std::uint32_t mask) {
    return __builtin_popcount(mask);
}

} // namespace

std::string RouteInterfaceFor(const std::string& procNetRoute,
                              const std::array<std::uint8_t, 4>& address) {
    // The table prints each address as the machine holds it in memory, network order.
    std::uint32_t wanted = 0;
    std::memcpy(&wanted, address.data(), 4);
    std::optional<Route> best;
    for (const auto& route : UsableRoutes(procNetRoute)) {
        if ((wanted & route.mask) == route.destination &&
            (!best || PrefixLength(route.mask) > PrefixLength(best->mask))) {
            best = route;
        }
    }
    return best ? best->interfaceName : std::string{};
}

std::string DefaultRouteInterface(const std::string& procNetRoute) {
    for (const auto& route : UsableRoutes(procNetRoute)) {
        if (route.destination == 0 && route.mask == 0) {
            return route.interfaceName;
        }
    }
    return {};
}

} // namespace tcpipset
