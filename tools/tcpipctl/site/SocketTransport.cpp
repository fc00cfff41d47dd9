#include "tools/tcpipctl/site/SocketTransport.h"

#include "i18n/Translate.h"
#include "protocol/ReplyWalk.h"
#include "transport/IdExceptions.h"
#include "transport/IdUDPClient.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <poll.h>
#include <sys/resource.h>

namespace tcpipset {

namespace {

constexpr std::int32_t MessageTooLong = 10040;
// Open files kept free for what else the process opens: a discovery's receive group,
// arping's pipes, the system log.
constexpr std::size_t SpareFiles = 128;

// A batch keeps a socket for every request it sent, a thousand devices' worth and their
// retries: the soft limit on open files is raised as far as the hard one allows.
std::size_t RaiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return 1024;
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<std::size_t>::max()
                                           : static_cast<std::size_t>(limit.rlim_cur);
}

} // namespace

class SocketTransport::Endpoint final : public TIdUDPClient {
public:
    // The sockets to wait on: the endpoint's own and the rest of its receive group.
    TIdSocketList Sockets() const { return ReceiveSockets(); }
};

SocketTransport::SocketTransport(SocketSettings settings)
    : settings_(std::move(settings)), room_(RaiseOpenFileLimit()) {}

SocketTransport::~SocketTransport() = default;

SocketTransport::Endpoint& SocketTransport::Make(SocketUse use) {
    auto endpoint = std::make_unique<Endpoint>();
    endpoint->SetBufferSize(576);
    endpoint->SetHost(settings_.host);
    endpoint->SetPort(settings_.port);
    endpoint->SetBroadcastEnabled(true);
    endpoint->SetBoundPort(settings_.localPort);
    if (use == SocketUse::Exchange && settings_.localPort == 0) {
        // One device answers a few datagrams: the system's buffer holds them.
        endpoint->SetReceiveGroupSize(1);
        endpoint->SetReceiveBufferRequest(0);
    } else if (settings_.receiveBuffer >= 0) {
        endpoint->SetReceiveBufferRequest(settings_.receiveBuffer);
    }
    sockets_.push_back({std::move(endpoint), use, true});
    return *sockets_.back().endpoint;
}

std::size_t SocketTransport::Open(SocketUse use) {
    if (OneSocket()) {
        if (sockets_.empty()) {
            Make(SocketUse::Discovery);
        }
        sockets_.front().use = use;
        sockets_.front().watched = true;
        return 0;
    }
    MakeRoom();
    Make(use);
    ++open_;
    return sockets_.size() - 1;
}

void SocketTransport::Send(std::size_t socket, const Bytes& request,
                           const std::vector<std::string>& interfaces) {
    Endpoint& endpoint = *sockets_.at(socket).endpoint;
    if (OneSocket()) {
        // What the one port still holds answers an earlier request.
        endpoint.DiscardPendingDatagrams();
    }
    endpoint.SetBroadcastInterfaces(interfaces);
    endpoint.SendBytes(request, static_cast<std::int32_t>(request.size()));
}

void SocketTransport::MakeRoom() {
    while (open_ + SpareFiles >= room_ && !retired_.empty()) {
        auto& endpoint = sockets_[retired_.front()].endpoint;
        retired_.pop_front();
        dropped_ += endpoint->DroppedDatagrams();
        endpoint.reset();
        --open_;
    }
}

void SocketTransport::Retire(std::size_t socket) {
    if (sockets_.at(socket).watched && !OneSocket()) {
        retired_.push_back(socket);
    }
    sockets_.at(socket).watched = false;
    std::erase_if(arrived_, [&](const SiteArrival& a) { return a.socket == socket; });
}

void SocketTransport::TakeWaiting(std::size_t socket) {
    Socket& held = sockets_[socket];
    const bool discovery = held.use == SocketUse::Discovery;
    const std::size_t size = discovery ? DiscoveryReplyBufferSize : DeviceReplyBufferSize;
    const auto perReceive =
        static_cast<std::int32_t>(discovery ? DiscoveryBytesPerReceive : DeviceBytesPerReceive);
    while (true) {
        SiteArrival arrival{socket, std::vector<std::uint8_t>(size), 0, {}, {}};
        std::int32_t peerPort = 0;
        try {
            arrival.count = held.endpoint->ReceiveDatagram(arrival.buffer, perReceive, arrival.peer,
                                                           peerPort, 0);
        } catch (const EIdSocketError& error) {
            // Longer than a receive takes: read from its first bytes, as the commands do.
            if (error.SocketErrorCode() != MessageTooLong) {
                throw;
            }
            arrival.count = perReceive;
        }
        if (arrival.peer.empty()) {
            return;
        }
        arrival.interfaceName = held.endpoint->LastArrivalInterface();
        arrived_.push_back(std::move(arrival));
    }
}

std::optional<SiteArrival> SocketTransport::Wait(SiteClock::time_point deadline) {
    while (arrived_.empty()) {
        std::vector<pollfd> fds;
        std::vector<std::size_t> owners;
        for (std::size_t i = 0; i < sockets_.size(); ++i) {
            if (!sockets_[i].watched || !sockets_[i].endpoint || !sockets_[i].endpoint->Active()) {
                continue;
            }
            for (const auto handle : sockets_[i].endpoint->Sockets()) {
                fds.push_back({handle, POLLIN, 0});
                owners.push_back(i);
            }
        }
        const auto now = SiteClock::now();
        int timeoutMs = -1;
        if (deadline != SiteClock::time_point::max()) {
            if (deadline <= now) {
                timeoutMs = 0;
            } else {
                // Rounded up, so that the wait never ends just before its deadline.
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
                timeoutMs = static_cast<int>(std::min<long long>(left, 60'000));
            }
        }
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            throw EIdSocketError(0, i18n::Tr("poll failed"));
        }
        if (ready <= 0) {
            if (SiteClock::now() >= deadline) {
                return std::nullopt;
            }
            continue;
        }
        std::vector<std::size_t> readable;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLERR)) != 0 &&
                std::ranges::find(readable, owners[i]) == readable.end()) {
                readable.push_back(owners[i]);
            }
        }
        for (const std::size_t socket : readable) {
            TakeWaiting(socket);
        }
    }
    SiteArrival arrival = std::move(arrived_.front());
    arrived_.pop_front();
    return arrival;
}

std::uint64_t SocketTransport::OpenDrops() const {
    std::uint64_t drops = 0;
    for (const auto& socket : sockets_) {
        drops += socket.endpoint ? socket.endpoint->DroppedDatagrams() : 0;
    }
    return drops;
}

void SocketTransport::CloseAll() {
    dropped_ += OpenDrops();
    arrived_.clear();
    retired_.clear();
    sockets_.clear();
    open_ = 0;
}

std::vector<std::string> SocketTransport::BroadcastInterfaces() {
    Endpoint probe;
    return probe.UsableBroadcastInterfaces();
}

} // namespace tcpipset
