#pragma once

#include "tools/tcpipsim/DeviceSpec.h"
#include "tools/tcpipsim/HexText.h"
#include "tools/tcpipsim/Request.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace tcpipset::sim {

using Clock = std::chrono::steady_clock;

// One datagram that a device will send, at a time of its own.
struct PlannedReply {
    Clock::time_point at;
    std::size_t device = 0;
    Ipv4 source;
    Bytes bytes;
    // A flood sends the same bytes again every repeatEvery until repeatUntil.
    Clock::time_point repeatUntil;
    std::chrono::microseconds repeatEvery{0};
};

// What became of one received datagram: for the request log and for the sender.
struct Handling {
    Request request;
    std::vector<std::size_t> matched;
    std::vector<PlannedReply> replies;
    // Devices that matched but kept quiet, and why ("rebooting", "bad IP text").
    std::vector<std::string> notes;
};

struct DeviceState {
    Ipv4 ip;
    Ipv4 mask;
    Ipv4 gateway;
    Clock::time_point silentUntil;
};

struct ResponderSettings {
    // Between the replies of consecutive devices to one request, so that a thousand
    // devices do not overrun the workstation's receive buffer in one burst.
    std::chrono::microseconds spacing{300};
    int rebootMs = 2000;
};

// The devices and what they currently hold. It decides the replies to a request and
// applies sets and restarts; sending and timing are the caller's.
class DeviceSet {
public:
    DeviceSet(std::vector<DeviceConfig> devices, ResponderSettings settings);

    Handling Handle(const Bytes& datagram, Clock::time_point now);

    std::size_t Size() const { return devices_.size(); }
    const DeviceConfig& Config(std::size_t i) const { return devices_[i]; }
    const DeviceState& State(std::size_t i) const { return states_[i]; }

private:
    std::vector<DeviceConfig> devices_;
    std::vector<std::string> selectors_;
    std::vector<DeviceState> states_;
    ResponderSettings settings_;
};

} // namespace tcpipset::sim
