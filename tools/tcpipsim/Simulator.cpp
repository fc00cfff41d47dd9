#include "tools/tcpipsim/Simulator.h"

#include "tools/tcpipsim/SimError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <poll.h>

namespace tcpipset::sim {

namespace {

// Datagrams taken per wake-up before due replies get their turn again, so that a flood
// of requests cannot hold back the replies that are already late.
constexpr int MaxReceivesPerWake = 64;

// What the flood sends: ten bytes, the first 0, which the workstation skips unread.
const Bytes Junk{0x00, 'T', 'N', '0', '0', '0', '0', '0', '0', 'J'};

ResponderSettings DeviceSettings(const Options& options) {
    ResponderSettings settings = options.responder;
    if (options.burst) {
        settings.spacing = std::chrono::microseconds(0);
    }
    return settings;
}

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
    : options_(std::move(options)), devices_(options_.devices, DeviceSettings(options_)),
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
        const auto now = Clock::now();
        SendDue(now);
        SendFlood(now);
        std::optional<Clock::time_point> wake;
        if (!queue_.empty()) {
            wake = queue_.top().reply.at;
        }
        if (!flood_.batch.empty()) {
            wake = std::min(wake.value_or(flood_.next), flood_.next);
        }
        timespec wait{};
        timespec* timeout = nullptr;
        if (wake) {
            const auto left = std::max(*wake - Clock::now(), Clock::duration{});
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
    EndFlood();
}

void Simulator::ReceivePending() {
    for (int i = 0; i < MaxReceivesPerWake; ++i) {
        auto received = socket_.TryReceive();
        if (!received) {
            return;
        }
        const auto now = Clock::now();
        // Before the request is handled, since a set may move the device it was sent to.
        const bool mayFlood = !flood_.started && !options_.floodOn.empty();
        const Ipv4 floodFrom = mayFlood ? FloodSource(received->to) : Ipv4{};
        Handling handling = devices_.Handle(received->bytes, now);
        log_.Write(FormatRxLine(Seconds(now), received->from, received->to, received->bytes,
                                handling, devices_));
        for (auto& reply : handling.replies) {
            queue_.push(Scheduled{std::move(reply), received->from, sequence_++});
        }
        if (mayFlood &&
            std::ranges::find(options_.floodOn, handling.request.kind) != options_.floodOn.end()) {
            StartFlood(received->from, floodFrom, now);
        }
    }
}

void Simulator::SendDue(Clock::time_point now) {
    std::vector<Scheduled> due;
    while (!queue_.empty() && queue_.top().reply.at <= now) {
        due.push_back(queue_.top());
        queue_.pop();
        if (!options_.burst) {
            Dispatch(due);
        }
    }
    if (!due.empty()) {
        Dispatch(due);
    }
}

void Simulator::Dispatch(std::vector<Scheduled>& items) {
    std::vector<std::string> errors(items.size());
    if (!options_.burst) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            errors[i] = socket_.Send(items[i].reply.source, items[i].to, items[i].reply.bytes);
        }
    } else {
        std::vector<ResponderSocket::Outgoing> messages;
        messages.reserve(items.size());
        for (const Scheduled& item : items) {
            messages.push_back({item.reply.source, item.to, &item.reply.bytes});
        }
        for (auto& failure : socket_.SendBatch(messages)) {
            errors[failure.index] = std::move(failure.error);
        }
    }
    const double sentAt = Seconds(Clock::now());
    for (std::size_t i = 0; i < items.size(); ++i) {
        Scheduled& item = items[i];
        if (!errors[i].empty() || options_.logReplies) {
            log_.Write(
                FormatTxLine(sentAt, item.reply.source, item.to, item.reply.bytes, errors[i]));
        }
        if (item.reply.repeatEvery.count() > 0) {
            item.reply.at += item.reply.repeatEvery;
            if (item.reply.at <= item.reply.repeatUntil) {
                item.sequence = sequence_++;
                queue_.push(std::move(item));
            }
        }
    }
    items.clear();
}

Ipv4 Simulator::FloodSource(Ipv4 requestTo) const {
    for (std::size_t i = 0; i < devices_.Size(); ++i) {
        if (devices_.State(i).ip == requestTo) {
            return requestTo;
        }
    }
    return devices_.State(0).ip;
}

void Simulator::StartFlood(Endpoint to, Ipv4 from, Clock::time_point now) {
    flood_.started = true;
    flood_.to = to;
    const std::string line = " to=" + FormatEndpoint(to) + " from=" + FormatDotted(from);
    if (!InTestRanges(from) || !InTestRanges(to.address)) {
        log_.Write(FormatTime(Seconds(now)) + " flood-refused" + line +
                   " error=outside-test-ranges");
        return;
    }
    log_.Write(FormatTime(Seconds(now)) + " flood" + line +
               " every-us=" + std::to_string(options_.floodGap.count()));
    flood_.batch.assign(ResponderSocket::MaxBatch, ResponderSocket::Outgoing{from, to, &Junk});
    flood_.next = now;
}

void Simulator::SendFlood(Clock::time_point now) {
    if (flood_.batch.empty()) {
        return;
    }
    std::size_t count = flood_.batch.size();
    const auto gap = options_.floodGap;
    if (gap.count() > 0) {
        if (now < flood_.next) {
            return;
        }
        // Catches up on the datagrams a late wake-up missed, one batch at most; further
        // behind than that, the flood goes on from now rather than burst.
        const auto behind = static_cast<std::size_t>((now - flood_.next) / gap);
        count = std::min(count, behind + 1);
        flood_.next += gap * static_cast<long>(count);
        if (flood_.next <= now) {
            flood_.next = now + gap;
        }
    }
    const auto failures = socket_.SendBatch(std::span(flood_.batch.data(), count));
    flood_.sent += count - failures.size();
    flood_.failed += failures.size();
    if (flood_.firstError.empty() && !failures.empty()) {
        flood_.firstError = failures.front().error;
    }
}

void Simulator::EndFlood() {
    if (flood_.batch.empty()) {
        return;
    }
    log_.Write(FormatTime(Seconds(Clock::now())) + " flood-end to=" + FormatEndpoint(flood_.to) +
               " sent=" + std::to_string(flood_.sent) + " failed=" + std::to_string(flood_.failed) +
               (flood_.firstError.empty() ? "" : " error=" + flood_.firstError));
    flood_.batch.clear();
}

} // namespace tcpipset::sim
