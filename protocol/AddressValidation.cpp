#include "protocol/AddressValidation.h"

#include "protocol/ParseInteger.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tcpipset {

namespace {

using AddressParts = std::array<std::string_view, 4>;

// A dot must follow one to four characters, so the first three parts stay short; the
// fourth is whatever remains and is left to the conversion.
std::optional<AddressParts> SplitEnteredAddress(std::string_view text) {
    AddressParts parts;
    std::string_view rest = text;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t dot = rest.find('.');
        if (dot == std::string_view::npos || dot < 1 || dot > 4) {
            return std::nullopt;
        }
        parts[i] = rest.substr(0, dot);
        rest = rest.substr(dot + 1);
    }
    if (!rest.empty() && rest.front() == '.') {
        return std::nullopt;
    }
    parts[3] = rest;
    return parts;
}

bool InRange(std::int32_t value, std::int32_t low, std::int32_t high) {
    return value >= low && value <= high;
}

bool IsHostAddress(const std::array<std::int32_t, 4>& values) {
    const bool networkPartOk =
        InRange(values[0], 1, 126) || InRange(values[0], 128, 191) || InRange(values[0], 192, 223);
    return networkPartOk && InRange(values[1], 0, 255) && InRange(values[2], 0, 255) &&
           InRange(values[3], 1, 254);
}

bool IsSubnetMask(const std::array<std::int32_t, 4>& values) {
    for (std::int32_t value : values) {
        if (!InRange(value, 0, 255)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ValidateAddress(std::string_view text, AddressKind kind) {
    const auto parts = SplitEnteredAddress(text);
    if (!parts) {
        return false;
    }
    // Every part is converted before any range rule, so a bad part raises even when an
    // earlier value is already out of range.
    std::array<std::int32_t, 4> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = ParseInteger((*parts)[i]);
    }
    switch (kind) {
    case AddressKind::GatewayAddress:
        if (values == std::array<std::int32_t, 4>{}) {
            return true; // no gateway
        }
        return IsHostAddress(values);
    case AddressKind::IpAddress:
        return IsHostAddress(values);
    case AddressKind::SubnetMask:
        return IsSubnetMask(values);
    }
    return false;
}

} // namespace tcpipset
