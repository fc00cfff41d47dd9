#pragma once

#include <cstdint>
#include <string_view>

namespace tcpipset {

enum class AddressKind : std::uint8_t { IpAddress = 0, SubnetMask = 1, GatewayAddress = 2 };

// True when the dotted text is acceptable for the kind; raises EConvertError when a
// part cannot be converted.
bool ValidateAddress(std::string_view text, AddressKind kind);

// The key filter of the three address fields: returns the typed character when it may
// pass (digits, "." and backspace) and 0 when it is swallowed.
char32_t FilterAddressKey(char32_t typed);

} // namespace tcpipset
