#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tcpipset {

// The interface by which the main routing table (/proc/net/route's text) leads back to an
// address, by the longest prefix; empty when no route does. Unreachable, prohibit and
// blackhole routes lead nowhere.
std::string RouteInterfaceFor(const std::string& procNetRoute,
                              const std::array<std::uint8_t, 4>& address);

// The interface of the default route, empty when there is none.
std::string DefaultRouteInterface(const std::string& procNetRoute);

} // namespace tcpipset
