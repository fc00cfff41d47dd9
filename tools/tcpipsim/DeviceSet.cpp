#include "tools/tcpipsim/DeviceSet.h"

#include "tools/tcpipsim/ReplyEncoder.h"

namespace tcpipset::sim {

namespace {

Ipv4 FromBytes(const std::array<std::uint8_t, 4>& b) {
    return Ipv4::FromParts(b[0], b[1], b[2], b[3]);
}

} // namespace

DeviceSet::DeviceSet(std::vector<DeviceConfig> devices, ResponderSettings settings)
    : devices_(std::move(devices)), settings_(settings) {
    for (const auto& device : devices_) {
        selectors_.push_back(SelectorOf(device.mac));
        states_.push_back(DeviceState{device.ip, device.mask, device.gateway, {}});
    }
}

Handling DeviceSet::Handle(const Bytes& datagram, Clock::time_point now) {
    Handling handling;
    handling.request = ParseRequest(datagram);
    const Request& request = handling.request;
    if (request.kind == RequestKind::Invalid) {
        return handling;
    }
    const bool isSet = request.kind == RequestKind::Set || request.kind == RequestKind::Restart;
    std::size_t answering = 0;
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        if (request.kind != RequestKind::Discovery && selectors_[i] != request.selector) {
            continue;
        }
        handling.matched.push_back(i);
        DeviceState& state = states_[i];
        if (now < state.silentUntil) {
            handling.notes.push_back(MacHex(devices_[i].mac) + ":rebooting");
            continue;
        }
        if (isSet && !request.ip) {
            // The device cannot move to an address it cannot read, so it stays put and quiet.
            handling.notes.push_back(MacHex(devices_[i].mac) + ":bad-ip-text");
            continue;
        }
        const Behaviour b = devices_[i].faults.For(request.kind);
        Ipv4 source = state.ip;
        if (isSet && !b.ignoreSet) {
            if (!b.oldAddress) {
                source = *request.ip;
            }
            state.ip = *request.ip;
            state.mask = FromBytes(request.mask);
            state.gateway = FromBytes(request.gateway);
        }
        const auto at = now + settings_.spacing * static_cast<long>(answering) +
                        std::chrono::milliseconds(b.delayMs);
        if (request.kind == RequestKind::Restart) {
            state.silentUntil =
                at + std::chrono::milliseconds(b.rebootMs.value_or(settings_.rebootMs));
        }
        if (b.silent) {
            continue;
        }
        ++answering;
        const ReplyValues values{devices_[i].mac, state.mask, state.gateway, request.command};
        PlannedReply reply{at, i, source, EncodeReply(values, b.shape), at, {}};
        if (b.floodMs > 0) {
            reply.repeatUntil = at + std::chrono::milliseconds(b.floodMs);
            reply.repeatEvery = std::chrono::microseconds(b.floodEveryUs);
        }
        for (int copy = 0; copy < b.copies; ++copy) {
            handling.replies.push_back(reply);
        }
    }
    return handling;
}

} // namespace tcpipset::sim
