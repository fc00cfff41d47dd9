#pragma once

#include "tools/tcpipsim/DeviceSet.h"
#include "tools/tcpipsim/DeviceSpec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tcpipset::sim {

struct Options {
    // Devices given one by one (--device, --device-file) and then the generated ones
    // (--count), in this order.
    std::vector<DeviceConfig> devices;
    Ipv4 bind;
    std::uint16_t port = 5001;
    ResponderSettings responder;
    std::string logPath;
    bool logReplies = false;
    std::string readyFile;
    bool help = false;
};

// Throws SimError on anything it does not understand.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

} // namespace tcpipset::sim
