#include "ui/operations/QueryAnswers.h"

#include <algorithm>
#include <set>

namespace tcpipset {

void QueryAnswers::Start(const std::string& line) {
    line_ = line;
    devices_.clear();
}

QueryAnswers::Device& QueryAnswers::Note(const std::string& address, const std::string& macText,
                                         const std::string& interfaceName) {
    auto known = std::ranges::find_if(devices_, [&](const Device& device) {
        return device.address == address && device.mac == macText;
    });
    if (known == devices_.end()) {
        devices_.push_back({macText, address, {}, {}, {}, false});
        known = devices_.end() - 1;
    }
    if (!interfaceName.empty() &&
        std::ranges::find(known->interfaces, interfaceName) == known->interfaces.end()) {
        known->interfaces.push_back(interfaceName);
    }
    return *known;
}

bool QueryAnswers::Several(const std::string& line) const {
    if (line != line_) {
        return false;
    }
    std::set<std::string> addresses;
    std::set<std::string> macs;
    for (const auto& device : devices_) {
        addresses.insert(device.address);
        if (!device.mac.empty()) {
            macs.insert(device.mac);
        }
    }
    return addresses.size() > 1 || macs.size() > 1;
}

} // namespace tcpipset
