#include "tools/tcpipsim/Mac.h"

#include "tools/tcpipsim/HexText.h"

namespace tcpipset::sim {

std::optional<Mac> ParseMac(std::string_view text) {
    Mac mac{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && pos < text.size() && (text[pos] == ':' || text[pos] == '-')) {
            ++pos;
        }
        if (pos + 2 > text.size()) {
            return std::nullopt;
        }
        const int high = HexDigitValue(text[pos]);
        const int low = HexDigitValue(text[pos + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        mac[i] = static_cast<std::uint8_t>(high * 16 + low);
        pos += 2;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return mac;
}

std::string MacHex(const Mac& mac) {
    return HexBytes(mac.data(), mac.size());
}

std::string SelectorOf(const Mac& mac) {
    return MacHex(mac).substr(6);
}

Mac NextMac(Mac mac) {
    for (std::size_t i = mac.size(); i-- > 0;) {
        if (++mac[i] != 0) {
            break;
        }
    }
    return mac;
}

} // namespace tcpipset::sim
