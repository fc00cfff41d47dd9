#include "tools/tcpipsim/Simulator.h"

#include "tools/tcpipsim/SimError.h"

#include <cerrno>
#include <cstdio>
#include <poll.h>

namespace tcpipset::sim {

namespace {

// Datagrams taken per wake-up before due replies get their turn again, so that a flood
// of requests cannot hold back the replies that are already late.
constexpr int MaxReceivesPerWake = 64;

void WriteReadyFile(const std::string& path, std::uint16_t port) {
    const std::string temporary = path + ".tmp";
    std::FILE* f = std::fopen(temporary.c_str(), "w");
    if (f == nullptr) {
        throw SimError("cannot write " + temporary);
    }
    std::fprintf(f, "%u\n", static_cast<unsigned>(port));
    std::fclose(f);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        throw SimError("cannot rename " + temporary + " to " + path);
    }
}

} // namespace

Simulator::Simulator(Options options)
    : options_(std::move(options)), devices_(options_.devices, options_.responder),
      socket_(options_.bind, options_.port), log_(options_.logPath) {
    log_.Write("t=0.000 listening on=" + FormatEndpoint(Endpoint{options_.bind, Port()}) +
               " devices=" + std::to_string(devices_.Size()));
    if (!options_.readyFile.empty()) {
        WriteReadyFile(options_.readyFile, Port());
    }
}

double Simulator::Seconds(Clock::time_point t) const {
    return std::chrono::duration<double>(t - start_).count();
}

void Simulator::Run(const volatile std::sig_atomic_t& stop, const sigset_t* waitMask) {
    while (stop == 0) {
        SendDue(Clock::now());
        timespec wait{};
        timespec* timeout = nullptr;
        if (!queue_.empty()) {
            const auto left = std::max(queue_.top().reply.at - Clock::now(), Clock::duration{});
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            wait.tv_sec = static_cast<time_t>(ns / 1000000000);
            wait.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &wait;
        }
        pollfd fd{socket_.Fd(), POLLIN, 0};
        const int ready = ::ppoll(&fd, 1, timeout, waitMask);
        if (ready < 0 && errno != EINTR) {
            throw SimError("ppoll failed");
        }
        if (ready > 0) {
            ReceivePending();
        }
    }
}

void Simulator::ReceivePending() {
    for (int i = 0; i < MaxReceivesPerWake; ++i) {
        auto received = socket_.TryReceive();
        if (!received) {
            return;
        }
        const auto now = Clock::now();
        Handling handling = devices_.Handle(received->bytes, now);
        log_.Write(FormatRxLine(Seconds(now), received->from, received->to, received->bytes,
                                handling, devices_));
        for (auto& reply : handling.replies) {
            queue_.push(Scheduled{std::move(reply), received->from, sequence_++});
        }
    }
}

void Simulator::SendDue(Clock::time_point now) {
    while (!queue_.empty() && queue_.top().reply.at <= now) {
        Scheduled item = queue_.top();
        queue_.pop();
        const std::string error = socket_.Send(item.reply.source, item.to, item.reply.bytes);
        if (!error.empty() || options_.logReplies) {
            log_.Write(FormatTxLine(Seconds(Clock::now()), item.reply.source, item.to,
                                    item.reply.bytes, error));
        }
        if (item.reply.repeatEvery.count() > 0) {
            item.reply.at += item.reply.repeatEvery;
            if (item.reply.at <= item.reply.repeatUntil) {
                item.sequence = sequence_++;
                queue_.push(std::move(item));
            }
        }
    }
}

} // namespace tcpipset::sim
