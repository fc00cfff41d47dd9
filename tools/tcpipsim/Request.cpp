#include "tools/tcpipsim/Request.h"

#include <algorithm>

namespace tcpipset::sim {

namespace {

constexpr std::size_t HeaderSize = 10;
constexpr std::uint8_t MaskType = 1;
constexpr std::uint8_t GatewayType = 2;
constexpr std::uint8_t RestartType = 16;
constexpr std::uint8_t EndType = 255;

Request Invalid(std::string reason) {
    Request request;
    request.reason = std::move(reason);
    return request;
}

// Reads a four-byte item of the given type at pos; false when it isn't there.
bool ReadAddressItem(const Bytes& d, std::size_t& pos, std::uint8_t type,
                     std::array<std::uint8_t, 4>& value) {
    if (pos + 6 > d.size() || d[pos] != type || d[pos + 1] != 4) {
        return false;
    }
    std::copy_n(d.begin() + static_cast<std::ptrdiff_t>(pos + 2), 4, value.begin());
    pos += 6;
    return true;
}

Request ParseSet(const Bytes& d, Request request) {
    const auto maskStart =
        std::find(d.begin() + static_cast<std::ptrdiff_t>(HeaderSize), d.end(), MaskType);
    if (maskStart == d.end()) {
        return Invalid("no-mask-item");
    }
    request.ipText.assign(d.begin() + static_cast<std::ptrdiff_t>(HeaderSize), maskStart);
    std::size_t pos = static_cast<std::size_t>(maskStart - d.begin());
    if (!ReadAddressItem(d, pos, MaskType, request.mask)) {
        return Invalid("bad-mask-item");
    }
    if (!ReadAddressItem(d, pos, GatewayType, request.gateway)) {
        return Invalid("bad-gateway-item");
    }
    request.kind = RequestKind::Set;
    if (pos < d.size() && d[pos] == RestartType) {
        if (pos + 3 > d.size() || d[pos + 1] != 1 || d[pos + 2] != 1) {
            return Invalid("bad-restart-item");
        }
        request.kind = RequestKind::Restart;
        pos += 3;
    }
    if (pos >= d.size() || d[pos] != EndType) {
        return Invalid("no-end-marker");
    }
    if (pos + 1 != d.size()) {
        return Invalid("bytes-after-end-marker");
    }
    request.ip = ParseDottedDecimal(request.ipText);
    return request;
}

} // namespace

const char* RequestKindName(RequestKind kind) {
    switch (kind) {
    case RequestKind::Discovery:
        return "discovery";
    case RequestKind::Query:
        return "query";
    case RequestKind::Set:
        return "set";
    case RequestKind::Restart:
        return "restart";
    case RequestKind::Invalid:
        break;
    }
    return "invalid";
}

Request ParseRequest(const Bytes& datagram) {
    if (datagram.size() < HeaderSize) {
        return Invalid("shorter-than-header");
    }
    if (datagram[0] != 'P' || datagram[1] != 'T' || datagram[2] != 'N') {
        return Invalid("no-magic");
    }
    Request request;
    request.selector.assign(datagram.begin() + 3, datagram.begin() + 9);
    request.command = static_cast<char>(datagram[9]);
    if (request.command == 'J') {
        if (datagram.size() != HeaderSize) {
            return Invalid("bytes-after-J-header");
        }
        request.kind = request.selector == "000000" ? RequestKind::Discovery : RequestKind::Query;
        return request;
    }
    if (request.command == 'I') {
        return ParseSet(datagram, std::move(request));
    }
    return Invalid("unknown-command");
}

} // namespace tcpipset::sim
