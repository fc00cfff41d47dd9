#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset::sim {

using Bytes = std::vector<std::uint8_t>;

// Uppercase, two digits per byte, no separators: the form of the request log.
std::string HexBytes(const std::uint8_t* data, std::size_t size);
inline std::string HexBytes(const Bytes& bytes) {
    return HexBytes(bytes.data(), bytes.size());
}

// -1 for anything that is not a hexadecimal digit.
int HexDigitValue(char c);

// An even number of hexadecimal digits; spaces are allowed between bytes.
std::optional<Bytes> ParseHexBytes(std::string_view text);

} // namespace tcpipset::sim
