#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t ItemSubnetMask = 1;
inline constexpr std::uint8_t ItemGateway = 2;
inline constexpr std::uint8_t ItemMacAddress = 10;
inline constexpr std::uint8_t ItemRestart = 16;
inline constexpr std::uint8_t ItemEnd = 255;

inline constexpr char QueryCommand = 'J';
inline constexpr char SetCommand = 'I';

// The four parts of a dotted text, each converted strictly, in the order they stand.
std::array<std::int32_t, 4> AddressTextToValues(std::string_view text);

// Four bytes of a dotted text, each part converted strictly and kept modulo 256.
std::array<std::uint8_t, 4> AddressTextToBytes(std::string_view text);

// Characters 7 to 12 of a MAC line: the last three bytes of the address.
std::string DeviceSelectorOf(std::string_view macLine);

Bytes BuildDiscoveryRequest();
Bytes BuildQueryRequest(std::string_view macLine);
Bytes BuildSetRequest(std::string_view macLine, std::string_view ipText, std::string_view maskText,
                      std::string_view gatewayText);
Bytes BuildRestartRequest(std::string_view macLine, std::string_view ipText,
                          std::string_view maskText, std::string_view gatewayText);

} // namespace tcpipset
