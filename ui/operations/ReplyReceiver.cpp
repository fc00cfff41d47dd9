#include "ui/operations/ReplyReceiver.h"

#include "transport/IdExceptions.h"
#include "transport/IdUDPClient.h"

#include <algorithm>

namespace tcpipset {

namespace {
constexpr std::int32_t MessageTooLong = 10040;
}

ReplyReceiver::ReplyReceiver(TIdUDPClient& client, std::size_t bufferSize,
                             std::size_t bytesPerReceive)
    : client_(client), buffer_(bufferSize, 0),
      bytesPerReceive_(static_cast<std::int32_t>(bytesPerReceive)) {}

void ReplyReceiver::Receive() {
    if (arrivals_ == 0) {
        firstReceive_ = std::chrono::steady_clock::now();
    }
    std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
    std::int32_t peerPort = 0;
    try {
        count_ = client_.ReceiveDatagram(buffer_, bytesPerReceive_, peerAddress_, peerPort, -1);
    } catch (const EIdSocketError& error) {
        if (error.SocketErrorCode() != MessageTooLong) {
            throw;
        }
        // The datagram was received, cut to the bytes taken: a loop that took it for
        // silence would end before a twin that answers later is heard.
        count_ = std::min(bytesPerReceive_, static_cast<std::int32_t>(buffer_.size()));
    }
    if (!peerAddress_.empty()) {
        ++arrivals_;
        unending_ = arrivals_ >= ArrivalCountLimit ||
                    std::chrono::steady_clock::now() - firstReceive_ >= ArrivalTimeLimit;
    }
}

const std::string& ReplyReceiver::ArrivalInterface() const {
    return client_.LastArrivalInterface();
}

} // namespace tcpipset
