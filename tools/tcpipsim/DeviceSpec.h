#pragma once

#include "tools/tcpipsim/Faults.h"
#include "tools/tcpipsim/Ipv4.h"
#include "tools/tcpipsim/Mac.h"

#include <string>
#include <string_view>
#include <vector>

namespace tcpipset::sim {

struct DeviceConfig {
    Mac mac{};
    Ipv4 ip;
    Ipv4 mask;
    Ipv4 gateway;
    FaultList faults;
};

// One device as "MAC IP MASK GATEWAY [FAULT...]", fields separated by blanks. The
// addresses are read as the device reads a set request's IP text (decimal parts).
// Throws SimError naming the field that is wrong.
DeviceConfig ParseDeviceLine(std::string_view line);

// A device file holds one device line per line; blank lines and text after "#" are
// ignored. Errors name the file and the line.
std::vector<DeviceConfig> ReadDeviceFile(const std::string& path);

struct GeneratedDevices {
    int count = 0;
    Mac firstMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    Ipv4 firstIp = Ipv4::FromParts(198, 18, 0, 10);
    Ipv4 mask = Ipv4::FromParts(255, 255, 0, 0);
    Ipv4 gateway = Ipv4::FromParts(198, 18, 0, 1);
    std::vector<std::string> faults;
};

// Consecutive MAC and IP addresses from the first ones on.
std::vector<DeviceConfig> GenerateDevices(const GeneratedDevices& generated);

} // namespace tcpipset::sim
