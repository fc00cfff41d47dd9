#pragma once

#include <cstdint>

namespace tcpipset {

// The Windows Sockets number of a platform errno value. Values without an equivalent row
// in the error table are passed through unchanged; they lie far below 10000, so they never
// collide with a table row and show as a number without text.
std::int32_t WinsockErrorFromErrno(int error);

// The number for a failed name lookup (a getaddrinfo result): every form of "this name
// gives no IPv4 address", temporary failures of the name service included, is 11001 "Host
// not found.", the one lookup failure that the error table names; memory shortage is
// 10055 and a system error goes through the errno mapping.
std::int32_t WinsockErrorFromLookup(int lookupError, int savedErrno);

} // namespace tcpipset
