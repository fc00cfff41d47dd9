#pragma once

#include "tools/tcpipsim/DeviceSet.h"
#include "tools/tcpipsim/Options.h"
#include "tools/tcpipsim/RequestLog.h"
#include "tools/tcpipsim/ResponderSocket.h"

#include <csignal>
#include <cstdint>
#include <queue>
#include <string>
#include <vector>

namespace tcpipset::sim {

// Receives requests, has the devices decide, and sends every planned reply at its time;
// with --flood-on it also keeps sending junk to one workstation from its trigger on.
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

    // The endless flood of junk to the sender of the first request of a chosen kind.
    struct Flood {
        bool started = false;
        Endpoint to;
        // The same datagram as many times as one sendmmsg call takes; empty while no
        // flood runs.
        std::vector<ResponderSocket::Outgoing> batch;
        Clock::time_point next;
        std::uint64_t sent = 0;
        std::uint64_t failed = 0;
        std::string firstError;
    };

    double Seconds(Clock::time_point t) const;
    void ReceivePending();
    void SendDue(Clock::time_point now);
    // Sends the items, one sendmsg each or all in sendmmsg batches (--burst), logs them
    // and plans the next round of repeating ones; empties `items`.
    void Dispatch(std::vector<Scheduled>& items);
    // The address the request was sent to if a device holds it, else the first device's.
    Ipv4 FloodSource(Ipv4 requestTo) const;
    void StartFlood(Endpoint to, Ipv4 from, Clock::time_point now);
    void SendFlood(Clock::time_point now);
    void EndFlood();

    Options options_;
    Clock::time_point start_ = Clock::now();
    DeviceSet devices_;
    ResponderSocket socket_;
    RequestLog log_;
    std::priority_queue<Scheduled, std::vector<Scheduled>, Later> queue_;
    std::uint64_t sequence_ = 0;
    Flood flood_;
};

} // namespace tcpipset::sim
