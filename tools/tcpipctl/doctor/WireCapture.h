#pragma once

#include "tools/tcpipctl/doctor/WireFrame.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct pcap;

namespace tcpipset {

// Captures frames on one interface as the wire carries them, before any filter of the
// workstation sees them: what the doctor compares with what the program received.
// Capturing needs root (CAP_NET_RAW); without it Failure() says why and nothing is
// collected.
class WireCapture {
public:
    // The UDP datagrams from the devices' port that come in.
    static WireCapture Replies(const std::string& interfaceName, int replyPort);
    // ARP both ways: the devices' requests for the workstation's address and its answers.
    static WireCapture Arp(const std::string& interfaceName);

    bool Capturing() const { return handle_ != nullptr; }
    const std::string& Failure() const { return failure_; }
    // The datagrams to the local port given that were captured so far, in order.
    std::vector<WireDatagram> CollectDatagrams(std::uint16_t localPort);
    // The ARP packets captured so far, in order.
    std::vector<WireArp> CollectArp();
    // How many frames the capture itself could not keep.
    std::uint64_t Missed() const;

private:
    WireCapture(const std::string& interfaceName, const std::string& filter, bool inboundOnly,
                int bufferBytes);

    struct Close {
        void operator()(pcap* handle) const;
    };
    // Says why, libpcap's message in place of the pattern's %1, and lets the capture go.
    void Fail(const std::string& pattern);
    // Hands each frame captured so far to keep(frame, link).
    template <typename Keep>
    void Dispatch(Keep&& keep);

    std::unique_ptr<pcap, Close> handle_;
    LinkType link_ = LinkType::Ethernet;
    std::string failure_;
};

} // namespace tcpipset
