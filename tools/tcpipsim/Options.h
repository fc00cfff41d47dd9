#pragma once

#include "tools/tcpipsim/DeviceSet.h"
#include "tools/tcpipsim/DeviceSpec.h"
#include "tools/tcpipsim/Request.h"

#include <chrono>
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
    // Each request's replies that fall due together leave in sendmmsg batches, with no
    // spacing between devices.
    bool burst = false;
    // The kinds of request whose first one starts an endless flood of junk datagrams to
    // its sender; none: no flood.
    std::vector<RequestKind> floodOn;
    // Between two junk datagrams; 0: back to back in batches.
    std::chrono::microseconds floodGap{100};
    std::string logPath;
    bool logReplies = false;
    std::string readyFile;
    bool help = false;
};

// Throws SimError on anything it does not understand.
Options ParseOptions(const std::vector<std::string>& args);

std::string UsageText();

} // namespace tcpipset::sim
