#pragma once

#include <cstdint>
#include <optional>

namespace tcpipset {

// The environment variable that gives the window the receive buffer to ask for, in bytes,
// as tcpipctl's --receive-buffer does: 0 leaves the system's default. With 212992 a root
// session meets the buffer that a stock system grants an operator without root.
inline constexpr const char* ReceiveBufferVariable = "TCPIPSET_RECEIVE_BUFFER";

// The variable's value: a decimal number of bytes, 0 to 1 GiB; nothing when it is unset or
// holds anything else.
std::optional<std::int32_t> ReceiveBufferSetting(const char* text);

} // namespace tcpipset
