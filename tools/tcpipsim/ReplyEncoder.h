#pragma once

#include "tools/tcpipsim/Faults.h"
#include "tools/tcpipsim/HexText.h"
#include "tools/tcpipsim/Ipv4.h"
#include "tools/tcpipsim/Mac.h"

namespace tcpipset::sim {

// What a device says about itself in one reply.
struct ReplyValues {
    Mac mac{};
    Ipv4 mask;
    Ipv4 gateway;
    // The command letter of the request answered, echoed in the reply's header.
    char command = 'J';
};

// The reply's bytes, written out one by one: a 10-byte header "PTN", the device's own
// selector and the command letter, then the items mask (1, 4), gateway (2, 4) and MAC
// (10, 6) and the end marker 255, unless the shape asks for something else.
Bytes EncodeReply(const ReplyValues& values, const ReplyShape& shape);

} // namespace tcpipset::sim
