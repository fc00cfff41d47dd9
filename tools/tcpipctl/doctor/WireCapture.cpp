#include "tools/tcpipctl/doctor/WireCapture.h"

#include "i18n/Translate.h"

#include <pcap/pcap.h>

namespace tcpipset {

namespace {

// Room for an Ethernet header with two VLAN tags, an IPv4 header with options, and UDP.
constexpr int SnapLength = 128;
// Ample for thousands of replies, read only once the discovery has ended.
constexpr int RepliesBufferBytes = 16 * 1024 * 1024;
// A device asks a few times at most before it gives up.
constexpr int ArpBufferBytes = 1024 * 1024;

} // namespace

void WireCapture::Close::operator()(pcap* handle) const {
    pcap_close(handle);
}

WireCapture WireCapture::Replies(const std::string& interfaceName, int replyPort) {
    return {interfaceName, "udp src port " + std::to_string(replyPort), true, RepliesBufferBytes};
}

WireCapture WireCapture::Arp(const std::string& interfaceName) {
    // Both ways, so that the workstation's own answers are seen too.
    return {interfaceName, "arp", false, ArpBufferBytes};
}

WireCapture::WireCapture(const std::string& interfaceName, const std::string& filter,
                         bool inboundOnly, int bufferBytes) {
    std::string error(PCAP_ERRBUF_SIZE, '\0');
    handle_.reset(pcap_create(interfaceName.c_str(), error.data()));
    if (!handle_) {
        failure_ = error.c_str();
        return;
    }
    // Immediate mode hands every frame over as it comes, so that what was captured can be
    // read the moment the discovery ends.
    pcap_set_snaplen(handle_.get(), SnapLength);
    pcap_set_immediate_mode(handle_.get(), 1);
    pcap_set_buffer_size(handle_.get(), bufferBytes);
    const int activated = pcap_activate(handle_.get());
    if (activated == PCAP_ERROR_PERM_DENIED) {
        handle_.reset();
        failure_ = i18n::Tr("no right to capture (it needs root)");
        return;
    }
    if (activated < 0) {
        // TRANSLATORS: %1 is libpcap's message.
        Fail(i18n::Tr("cannot capture: %1"));
        return;
    }
    bpf_program program{};
    if (pcap_setdirection(handle_.get(), inboundOnly ? PCAP_D_IN : PCAP_D_INOUT) != 0 ||
        pcap_compile(handle_.get(), &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
        // TRANSLATORS: %1 is libpcap's message.
        Fail(i18n::Tr("cannot filter the capture: %1"));
        return;
    }
    const int filtered = pcap_setfilter(handle_.get(), &program);
    pcap_freecode(&program);
    if (filtered != 0 || pcap_setnonblock(handle_.get(), 1, error.data()) != 0) {
        Fail(i18n::Tr("cannot filter the capture: %1"));
        return;
    }
    link_ = static_cast<LinkType>(pcap_datalink(handle_.get()));
}

void WireCapture::Fail(const std::string& pattern) {
    failure_ = i18n::Format(pattern, pcap_geterr(handle_.get()));
    handle_.reset();
}

template <typename Keep>
void WireCapture::Dispatch(Keep&& keep) {
    if (!handle_) {
        return;
    }
    struct Sink {
        LinkType link;
        Keep& keep;
    } sink{link_, keep};
    const auto pass = [](u_char* user, const pcap_pkthdr* header, const u_char* bytes) {
        auto& into = *reinterpret_cast<Sink*>(user);
        into.keep(std::span<const std::uint8_t>(bytes, header->caplen), into.link);
    };
    // Non-blocking: each dispatch takes what is there, and 0 means nothing is left.
    while (pcap_dispatch(handle_.get(), -1, pass, reinterpret_cast<u_char*>(&sink)) > 0) {
    }
}

std::vector<WireDatagram> WireCapture::CollectDatagrams(std::uint16_t localPort) {
    std::vector<WireDatagram> datagrams;
    Dispatch([&](std::span<const std::uint8_t> frame, LinkType link) {
        const auto datagram = UdpInFrame(frame, link);
        if (datagram && datagram->destinationPort == localPort) {
            datagrams.push_back(*datagram);
        }
    });
    return datagrams;
}

std::vector<WireArp> WireCapture::CollectArp() {
    std::vector<WireArp> packets;
    Dispatch([&](std::span<const std::uint8_t> frame, LinkType link) {
        if (const auto packet = ArpInFrame(frame, link)) {
            packets.push_back(*packet);
        }
    });
    return packets;
}

std::uint64_t WireCapture::Missed() const {
    pcap_stat stats{};
    if (!handle_ || pcap_stats(handle_.get(), &stats) != 0) {
        return 0;
    }
    return stats.ps_drop;
}

} // namespace tcpipset
