#pragma once

#include "tools/tcpipsim/HexText.h"
#include "tools/tcpipsim/Ipv4.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tcpipset::sim {

enum class RequestKind { Discovery, Query, Set, Restart, Invalid };

const char* RequestKindName(RequestKind kind);

struct Request {
    RequestKind kind = RequestKind::Invalid;
    std::string selector;
    char command = 0;
    // For a set or restart: the IP text as it came, and its address if it reads as one.
    std::string ipText;
    std::optional<Ipv4> ip;
    std::array<std::uint8_t, 4> mask{};
    std::array<std::uint8_t, 4> gateway{};
    // Why an invalid datagram was not taken as a request, as one hyphenated word.
    std::string reason;
};

// Reads one datagram the way a device does: "PTN", six selector characters and a command
// letter; after "J" nothing may follow, after "I" come the IP text up to the first 0x01,
// the mask and gateway items, an optional restart item and the end marker, and nothing
// after it. Anything else is Invalid, so that a request with a stray byte is noticed
// rather than half understood.
Request ParseRequest(const Bytes& datagram);

} // namespace tcpipset::sim
