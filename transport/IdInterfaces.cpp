#include "transport/IdInterfaces.h"

#include <algorithm>

namespace tcpipset {

namespace {

bool CarriesBroadcast(const TIdInterface& entry) {
    return entry.up && entry.broadcast && !entry.loopback && entry.address.has_value();
}

} // namespace

TIdInterfaceList BroadcastInterfaces(const TIdInterfaceList& all,
                                     const std::vector<std::string>& onlyNames) {
    TIdInterfaceList chosen;
    for (const auto& entry : all) {
        if (!CarriesBroadcast(entry)) {
            continue;
        }
        if (!onlyNames.empty() && std::ranges::find(onlyNames, entry.name) == onlyNames.end()) {
            continue;
        }
        if (std::ranges::find(chosen, entry.index, &TIdInterface::index) != chosen.end()) {
            continue;
        }
        chosen.push_back(entry);
    }
    return chosen;
}

std::string BroadcastRefusal(const TIdInterfaceList& all, const std::string& name) {
    std::string reason = NoSuchInterface;
    for (const auto& entry : all) {
        if (entry.name != name) {
            continue;
        }
        if (CarriesBroadcast(entry)) {
            return {};
        }
        reason = !entry.up          ? "down"
                 : entry.loopback   ? "loopback"
                 : !entry.broadcast ? "no broadcast"
                                    : "no IPv4 address";
    }
    return reason;
}

} // namespace tcpipset
