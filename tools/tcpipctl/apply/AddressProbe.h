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

// What one probe found: the holder's MAC (empty: free), or why it found nothing.
struct ProbeReading {
    bool checked = false;
    std::string holder;
    std::string why; // not checked: why
};

// Reads what iputils' `arping -D` wrote, in the C locale, and its exit status: 0 and
// "Received 0 response(s)" when nothing answered, 1 and a reply's MAC when something did.
// Any other status, or output that does not read so, leaves the address unchecked.
ProbeReading ReadArping(std::string_view output, int exitStatus);

// The arping of iputils, which Debian installs with the right to send ARP without root;
// empty when it is not installed. Another program of that name reads its options and
// writes its output otherwise, and is not taken.
std::string FindArping();

// What the probes found of each address.
struct ProbeResults {
    std::map<std::string, std::string> holders;   // address: holder's MAC, empty when free
    std::map<std::string, std::string> unchecked; // address: why it could not be checked
};

// Runs the probes side by side, as `arping -D` does duplicate address detection.
ProbeResults ProbeAddresses(const std::string& arping, const std::vector<AddressProbe>& probes);

} // namespace tcpipset
