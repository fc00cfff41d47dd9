#include "tools/tcpipctl/MacArgument.h"

#include <cctype>

namespace tcpipset {

namespace {
constexpr std::size_t MacDigits = 12;

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}
} // namespace

std::optional<std::string> NormaliseMacArgument(std::string_view argument) {
    const bool separated = argument.size() == MacDigits + 5;
    const char separator = separated ? argument[2] : '\0';
    if (separated && separator != ':' && separator != '-') {
        return std::nullopt;
    }
    if (!separated && argument.size() != MacDigits) {
        return std::nullopt;
    }
    std::string mac;
    for (std::size_t i = 0; i < argument.size(); ++i) {
        const char c = argument[i];
        if (separated && i % 3 == 2) {
            if (c != separator) {
                return std::nullopt;
            }
            continue;
        }
        if (!IsHexDigit(c)) {
            return std::nullopt;
        }
        mac += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return mac;
}

} // namespace tcpipset
