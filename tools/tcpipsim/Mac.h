#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tcpipset::sim {

using Mac = std::array<std::uint8_t, 6>;

// Twelve hexadecimal digits, optionally separated by ":" or "-" between bytes.
std::optional<Mac> ParseMac(std::string_view text);

// Two uppercase digits per byte, no separators: the form the workstation lists.
std::string MacHex(const Mac& mac);

// The last six digits of MacHex: what a directed request names the device by.
std::string SelectorOf(const Mac& mac);

// The MAC address that follows, counting the six bytes as one big-endian number.
Mac NextMac(Mac mac);

} // namespace tcpipset::sim
