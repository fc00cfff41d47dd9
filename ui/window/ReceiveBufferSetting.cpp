#include "ui/window/ReceiveBufferSetting.h"

#include <charconv>
#include <cstring>

namespace tcpipset {

namespace {
constexpr std::int32_t MaxReceiveBuffer = 1 << 30;
}

std::optional<std::int32_t> ReceiveBufferSetting(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const char* end = text + std::strlen(text);
    std::int32_t bytes = 0;
    const auto [stop, error] = std::from_chars(text, end, bytes);
    if (text == end || error != std::errc{} || stop != end || bytes < 0 ||
        bytes > MaxReceiveBuffer) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace tcpipset
