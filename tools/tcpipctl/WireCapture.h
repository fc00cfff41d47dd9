#pragma once

#include "tools/tcpipctl/WireFrame.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pcap;

namespace tcpipset {

// Captures, on one interface, the UDP datagrams from port 5001 that come in, as the wire
// carries them and before any filter of the workstation sees them: what the doctor
// compares with what the program received. Capturing needs root (CAP_NET_RAW); without it
// Failure() says why and nothing is collected.
class WireCapture {
public:
    explicit WireCapture(const std::string& interfaceName);

    bool Capturing() const { return handle_ != nullptr; }
    const std::string& Failure() const { return failure_; }
    // The datagrams to the local port given that were captured so far, in order.
    std::vector<WireDatagram> Collect(std::uint16_t localPort);
    // How many frames the capture itself could not keep.
    std::uint64_t Missed() const;

private:
    struct Close {
        void operator()(pcap* handle) const;
    };
    void Fail(const std::string& what);

    std::unique_ptr<pcap, Close> handle_;
    LinkType link_ = LinkType::Ethernet;
    std::string failure_;
};

} // namespace tcpipset
