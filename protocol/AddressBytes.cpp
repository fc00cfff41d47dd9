#include "protocol/ParseInteger.h"
#include "protocol/Requests.h"

#include <cstddef>

namespace tcpipset {

namespace {

// A cut that finds no dot yields an empty part and leaves the rest whole, so a text with
// too few dots fails on its empty part when that part is converted.
std::string_view CutAtDot(std::string_view& rest) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    const std::string_view part = rest.substr(0, dot);
    rest = rest.substr(dot + 1);
    return part;
}

} // namespace

std::array<std::int32_t, 4> AddressTextToValues(std::string_view text) {
    std::array<std::string_view, 4> parts;
    std::string_view rest = text;
    parts[0] = CutAtDot(rest);
    parts[1] = CutAtDot(rest);
    parts[2] = CutAtDot(rest);
    parts[3] = rest;

    std::array<std::int32_t, 4> values{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        values[i] = ParseInteger(parts[i]);
    }
    return values;
}

std::array<std::uint8_t, 4> AddressTextToBytes(std::string_view text) {
    const auto values = AddressTextToValues(text);
    std::array<std::uint8_t, 4> bytes{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(values[i]) & 0xFFu);
    }
    return bytes;
}

} // namespace tcpipset
