#include "tools/tcpipctl/NamedDevice.h"

#include "i18n/Translate.h"

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
        const std::string mac = device->mac.empty() ? i18n::Tr("(no MAC)") : device->mac;
        text +=
            // TRANSLATORS: %1 is a device's MAC address, %2 the IP address its reply came from.
            (text.empty() ? "" : ", ") + i18n::Format(i18n::Tr("%1 at %2"), mac, device->address);
    }
    return text;
}

} // namespace tcpipset
