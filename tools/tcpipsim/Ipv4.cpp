#include "tools/tcpipsim/Ipv4.h"

namespace tcpipset::sim {

Ipv4 Ipv4::FromParts(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return Ipv4{(std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) |
                std::uint32_t{d}};
}

std::optional<Ipv4> ParseDottedDecimal(std::string_view text) {
    std::uint32_t value = 0;
    int parts = 0;
    std::size_t pos = 0;
    while (parts < 4) {
        std::uint32_t part = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            part = part * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            if (part > 255) {
                return std::nullopt;
            }
            ++pos;
            ++digits;
        }
        if (digits == 0) {
            return std::nullopt;
        }
        value = (value << 8) | part;
        ++parts;
        if (parts < 4) {
            if (pos >= text.size() || text[pos] != '.') {
                return std::nullopt;
            }
            ++pos;
        }
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return Ipv4{value};
}

std::string FormatDotted(Ipv4 address) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(address.Part(i));
    }
    return text;
}

bool InTestRanges(Ipv4 address) {
    const bool loopback = (address.value >> 24) == 127;
    const bool benchmark = (address.value >> 17) == (Ipv4::FromParts(198, 18, 0, 0).value >> 17);
    return loopback || benchmark;
}

} // namespace tcpipset::sim
