#include "tools/tcpipctl/NamedDevice.h"

namespace tcpipset {

NamedDevice SortAnswers(const std::string& mac, const std::vector<QueryAnswers::Device>& devices) {
    NamedDevice sorted;
    std::vector<const QueryAnswers::Device*> withoutMac;
    for (const auto& device : devices) {
        if (device.mac == mac) {
            sorted.answering.push_back(&device);
        } else if (device.mac.empty()) {
            withoutMac.push_back(&device);
        } else {
            sorted.others.push_back(&device);
        }
    }
    if (sorted.answering.empty()) {
        sorted.answering = std::move(withoutMac);
    }
    return sorted;
}

std::string DeviceList(const std::vector<const QueryAnswers::Device*>& devices) {
    std::string text;
    for (const auto* device : devices) {
        text += (text.empty() ? "" : ", ") + (device->mac.empty() ? "(no MAC)" : device->mac) +
                " at " + device->address;
    }
    return text;
}

} // namespace tcpipset
