#include "protocol/Requests.h"

#include <cstddef>

namespace tcpipset {

namespace {

constexpr std::string_view Magic = "PTN";
constexpr std::string_view BroadcastSelector = "000000";

void AppendText(Bytes& out, std::string_view text) {
    for (char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
}

Bytes Header(std::string_view selector, char command) {
    Bytes out;
    AppendText(out, Magic);
    AppendText(out, selector);
    out.push_back(static_cast<std::uint8_t>(command));
    return out;
}

void AppendAddressItem(Bytes& out, std::uint8_t type, const std::array<std::uint8_t, 4>& value) {
    out.push_back(type);
    out.push_back(static_cast<std::uint8_t>(value.size()));
    out.insert(out.end(), value.begin(), value.end());
}

// Header, IP text, mask item and gateway item: what the set and restart requests share.
// The mask text is converted before the gateway text, so a bad mask is the one reported
// when both are bad.
Bytes SettingsRequestBody(std::string_view macLine, std::string_view ipText,
                          std::string_view maskText, std::string_view gatewayText) {
    const auto mask = AddressTextToBytes(maskText);
    const auto gateway = AddressTextToBytes(gatewayText);
    Bytes out = Header(DeviceSelectorOf(macLine), SetCommand);
    // The IP address travels as the entered text, whatever its length.
    AppendText(out, ipText);
    AppendAddressItem(out, ItemSubnetMask, mask);
    AppendAddressItem(out, ItemGateway, gateway);
    return out;
}

} // namespace

std::string DeviceSelectorOf(std::string_view macLine) {
    constexpr std::size_t SelectorStart = 6;
    constexpr std::size_t SelectorLength = 6;
    if (macLine.size() <= SelectorStart) {
        return {};
    }
    return std::string(macLine.substr(SelectorStart, SelectorLength));
}

Bytes BuildDiscoveryRequest() {
    return Header(BroadcastSelector, QueryCommand);
}

Bytes BuildQueryRequest(std::string_view macLine) {
    return Header(DeviceSelectorOf(macLine), QueryCommand);
}

Bytes BuildSetRequest(std::string_view macLine, std::string_view ipText, std::string_view maskText,
                      std::string_view gatewayText) {
    Bytes out = SettingsRequestBody(macLine, ipText, maskText, gatewayText);
    out.push_back(ItemEnd);
    return out;
}

Bytes BuildRestartRequest(std::string_view macLine, std::string_view ipText,
                          std::string_view maskText, std::string_view gatewayText) {
    Bytes out = SettingsRequestBody(macLine, ipText, maskText, gatewayText);
    out.insert(out.end(), {ItemRestart, 1, 1});
    out.push_back(ItemEnd);
    return out;
}

} // namespace tcpipset
