#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset {

// One duplicate address probe: is the address answered for on the interface's link?
struct AddressProbe {
    std::string address;
    std::string interfaceName;
};

// The MAC (12 uppercase hexadecimal digits) of the first reply in arping's output,
// empty when nothing answered.
std::string HolderInArpingOutput(std::string_view output);

// The arping of iputils, which Debian installs with the right to send ARP without root;
// empty when it is not installed.
std::string FindArping();

// Runs the probes side by side, as `arping -D` does duplicate address detection, and
// gives each address's holder (empty: free). An address whose probe could not run is
// left out.
std::map<std::string, std::string> ProbeAddresses(const std::string& arping,
                                                  const std::vector<AddressProbe>& probes);

} // namespace tcpipset
