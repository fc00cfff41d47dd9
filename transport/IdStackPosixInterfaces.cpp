#include "transport/IdStackPosix.h"

#include <array>
#include <bit>
#include <cstring>
#include <ifaddrs.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <vector>

namespace tcpipset {

namespace {

struct IfAddrsDeleter {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

TIdIPv4Bytes BytesOf(const sockaddr* address) {
    TIdIPv4Bytes bytes{};
    if (address != nullptr && address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        std::memcpy(bytes.data(), &in.sin_addr, bytes.size());
    }
    return bytes;
}

std::int32_t PrefixLengthOf(const sockaddr* netmask) {
    std::int32_t length = 0;
    for (const std::uint8_t byte : BytesOf(netmask)) {
        length += std::popcount(byte);
    }
    return length;
}

} // namespace

TIdInterfaceList TIdStackPosix::ListInterfaces() {
    ifaddrs* found = nullptr;
    if (::getifaddrs(&found) != 0) {
        return {};
    }
    const std::unique_ptr<ifaddrs, IfAddrsDeleter> list(found);
    TIdInterfaceList interfaces;
    std::vector<std::uint32_t> withAddress;
    std::vector<TIdInterface> withoutAddress;
    std::map<std::string, std::uint32_t> indexOfLabel;
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        // Each name costs the platform a socket to look up: once per name and listing.
        const std::string label = entry->ifa_name;
        auto known = indexOfLabel.find(label);
        if (known == indexOfLabel.end()) {
            known = indexOfLabel.emplace(label, ::if_nametoindex(label.c_str())).first;
        }
        const std::uint32_t index = known->second;
        if (index == 0) {
            continue;
        }
        TIdInterface item;
        item.index = index;
        // A label such as eth0:1 names an address of eth0: the interface is named as the
        // operator knows it.
        item.name = label.find(':') == std::string::npos ? label : InterfaceName(index);
        item.up = (entry->ifa_flags & IFF_UP) != 0;
        item.broadcast = (entry->ifa_flags & IFF_BROADCAST) != 0;
        item.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            item.address = BytesOf(entry->ifa_addr);
            item.prefixLength = PrefixLengthOf(entry->ifa_netmask);
            if (item.broadcast) {
                item.broadcastAddress = BytesOf(entry->ifa_broadaddr);
            }
            withAddress.push_back(index);
            interfaces.push_back(std::move(item));
        } else if (std::ranges::find(withoutAddress, index, &TIdInterface::index) ==
                   withoutAddress.end()) {
            withoutAddress.push_back(std::move(item));
        }
    }
    for (auto& item : withoutAddress) {
        if (std::ranges::find(withAddress, item.index) == withAddress.end()) {
            interfaces.push_back(std::move(item));
        }
    }
    return interfaces;
}

std::string TIdStackPosix::InterfaceName(std::uint32_t index) {
    std::array<char, IF_NAMESIZE> name{};
    if (index == 0 || ::if_indextoname(index, name.data()) == nullptr) {
        return {};
    }
    return name.data();
}

} // namespace tcpipset
