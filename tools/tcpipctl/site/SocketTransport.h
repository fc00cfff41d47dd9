#pragma once

#include "tools/tcpipctl/site/SiteTransport.h"

#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace tcpipset {

class TIdUDPClient;

struct SocketSettings {
    std::string host = "255.255.255.255";
    std::int32_t port = 5001;
    // A discovery's receive buffer, as the command asks (-1: the endpoint's own, 0: the
    // system's default); one device's exchange takes the system's default.
    std::int32_t receiveBuffer = -1;
    // Every request from this one bound port; 0: a socket of its own for each.
    std::uint16_t localPort = 0;
};

// The wire: an endpoint per request, waited on together. A retired endpoint stays open
// until the batch ends, unless the process runs short of open files: then those retired
// longest ago are closed first.
class SocketTransport final : public SiteTransport {
public:
    explicit SocketTransport(SocketSettings settings);
    ~SocketTransport() override;
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    SiteClock::time_point Now() override { return SiteClock::now(); }
    std::size_t Open(SocketUse use) override;
    void Send(std::size_t socket, const Bytes& request,
              const std::vector<std::string>& interfaces) override;
    void Retire(std::size_t socket) override;
    std::optional<SiteArrival> Wait(SiteClock::time_point deadline) override;
    void CloseAll() override;
    std::uint64_t Dropped() const override { return dropped_ + OpenDrops(); }
    bool OneSocket() const override { return settings_.localPort != 0; }
    std::vector<std::string> BroadcastInterfaces() override;

    class Endpoint;

private:
    struct Socket {
        std::unique_ptr<Endpoint> endpoint; // shared by every request with a fixed port
        SocketUse use = SocketUse::Exchange;
        bool watched = true;
    };
    Endpoint& Make(SocketUse use);
    // Closes the sockets retired longest ago while the process is near its limit of open
    // files: their late replies have had the longest to come.
    void MakeRoom();
    void TakeWaiting(std::size_t socket);
    std::uint64_t OpenDrops() const;

    SocketSettings settings_;
    std::vector<Socket> sockets_;
    std::unique_ptr<Endpoint> bound_;
    std::deque<SiteArrival> arrived_;
    std::deque<std::size_t> retired_;
    std::size_t open_ = 0;
    std::size_t room_ = 0; // open files the process may have
    std::uint64_t dropped_ = 0;
};

} // namespace tcpipset
