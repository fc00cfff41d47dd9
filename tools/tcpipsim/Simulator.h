#pragma once

#include "tools/tcpipsim/DeviceSet.h"
#include "tools/tcpipsim/Options.h"
#include "tools/tcpipsim/RequestLog.h"
#include "tools/tcpipsim/ResponderSocket.h"

#include <csignal>
#include <cstdint>
#include <queue>
#include <vector>

namespace tcpipset::sim {

// Receives requests, has the devices decide, and sends every planned reply at its time.
class Simulator {
public:
    explicit Simulator(Options options);

    std::uint16_t Port() const { return socket_.Port(); }

    // Runs until stop turns non-zero. Signals are expected blocked outside the wait;
    // waitMask is the mask during the wait, so a signal ends the wait without a race.
    void Run(const volatile std::sig_atomic_t& stop, const sigset_t* waitMask);

private:
    struct Scheduled {
        PlannedReply reply;
        Endpoint to;
        std::uint64_t sequence = 0;
    };
    struct Later {
        bool operator()(const Scheduled& a, const Scheduled& b) const {
            return a.reply.at != b.reply.at ? a.reply.at > b.reply.at : a.sequence > b.sequence;
        }
    };

    double Seconds(Clock::time_point t) const;
    void ReceivePending();
    void SendDue(Clock::time_point now);

    Options options_;
    Clock::time_point start_ = Clock::now();
    DeviceSet devices_;
    ResponderSocket socket_;
    RequestLog log_;
    std::priority_queue<Scheduled, std::vector<Scheduled>, Later> queue_;
    std::uint64_t sequence_ = 0;
};

} // namespace tcpipset::sim
