#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct sockaddr_in;

namespace tcpipset::testing {

using Datagram = std::vector<std::uint8_t>;

struct ScriptedReply {
    ScriptedReply(Datagram replyBytes, std::chrono::milliseconds after = {},
                  std::string source = {})
        : bytes(std::move(replyBytes)), delay(after), from(std::move(source)) {}
    Datagram bytes;
    std::chrono::milliseconds delay{0}; // after the request, or after the previous reply
    std::string from;                   // a 127.x.y.z source address; empty: the device's own
};

// A print server on 127.0.0.1 at a port that the system picks. Each request it receives
// is recorded and answered from its own thread with the replies that the script gives,
// so that an operation that waits on the main thread sees them arrive.
class LoopbackDevice {
public:
    using Script = std::function<std::vector<ScriptedReply>(const Datagram& request)>;

    explicit LoopbackDevice(Script script);
    ~LoopbackDevice();
    LoopbackDevice(const LoopbackDevice&) = delete;
    LoopbackDevice& operator=(const LoopbackDevice&) = delete;

    std::uint16_t Port() const { return port_; }
    std::vector<Datagram> Requests() const;
    // Sends a datagram to the port that the last request came from, at once.
    void SendUnasked(const Datagram& bytes);

private:
    void Serve();
    void SendFrom(const ScriptedReply& reply, const sockaddr_in& peer);

    int socket_ = -1;
    std::uint16_t port_ = 0;
    Script script_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<Datagram> requests_;
    std::uint16_t lastPeerPort_ = 0;
    std::thread thread_;
};

// A reply with a non-zero header and the items mask (1), gateway (2), MAC (10), end.
Datagram DeviceReply(std::vector<std::uint8_t> mask, std::vector<std::uint8_t> gateway,
                     std::vector<std::uint8_t> mac);
// A reply with the given items after a non-zero 10-byte header.
Datagram ReplyWithItems(std::vector<std::uint8_t> items);

} // namespace tcpipset::testing
