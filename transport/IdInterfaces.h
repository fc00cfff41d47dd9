#pragma once

#include "transport/IdStack.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// The text of the limited broadcast address: a datagram to it leaves on every interface
// that can carry it, one copy each, rather than only where the routing table points.
inline constexpr const char* LimitedBroadcastAddress = "255.255.255.255";

// Picks the interfaces a limited broadcast leaves on: up, broadcast-capable, not loopback,
// holding an IPv4 address. An interface with several addresses is taken once, with the
// first of them as the source. With names given, only interfaces of those names are
// taken; the order is the platform's.
TIdInterfaceList BroadcastInterfaces(const TIdInterfaceList& all,
                                     const std::vector<std::string>& onlyNames = {});

inline constexpr const char* NoSuchInterface = "no such interface";

// Why an interface of that name cannot carry a limited broadcast: empty when it can, else
// a short reason (NoSuchInterface, "down", "loopback", "no broadcast", "no IPv4 address").
std::string BroadcastRefusal(const TIdInterfaceList& all, const std::string& name);

} // namespace tcpipset
