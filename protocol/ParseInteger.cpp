#include "protocol/ParseInteger.h"

#include "i18n/Translate.h"

#include <cstddef>
#include <optional>
#include <string>

namespace tcpipset {

namespace {

std::string ConvertErrorMessage(std::string_view offendingText) {
    // TRANSLATORS: %1 is the text as it was entered, which may itself hold a "%".
    return i18n::Format(i18n::Tr("'%1' is not an integer"), offendingText);
}

std::optional<std::uint32_t> HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<std::uint32_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<std::uint32_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

// Hex digits give the 32-bit pattern, so leading zeros are free but a ninth significant
// digit no longer fits.
std::optional<std::uint32_t> ParseHexDigits(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (char c : digits) {
        const auto digit = HexDigitValue(c);
        if (!digit || value > 0x0FFFFFFFu) {
            return std::nullopt;
        }
        value = (value << 4) | *digit;
    }
    return value;
}

// The magnitude may reach 2^31 only when a minus sign will negate it.
std::optional<std::uint32_t> ParseDecimalDigits(std::string_view digits, bool negative) {
    if (digits.empty()) {
        return std::nullopt;
    }
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<std::uint32_t>(value);
}

std::optional<std::int32_t> TryParseInteger(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] == ' ') {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::string_view number = text.substr(pos);

    std::optional<std::uint32_t> magnitude;
    if (!number.empty() && (number[0] == '$' || number[0] == 'x' || number[0] == 'X')) {
        magnitude = ParseHexDigits(number.substr(1));
    } else if (number.size() >= 2 && number[0] == '0' && (number[1] == 'x' || number[1] == 'X')) {
        magnitude = ParseHexDigits(number.substr(2));
    } else {
        magnitude = ParseDecimalDigits(number, negative);
    }
    if (!magnitude) {
        return std::nullopt;
    }
    // Unsigned negation keeps both "-2147483648" and "-$80000000" well defined.
    const std::uint32_t bits = negative ? 0u - *magnitude : *magnitude;
    return static_cast<std::int32_t>(bits);
}

} // namespace

EConvertError::EConvertError(std::string_view offendingText)
    : Exception(ConvertErrorMessage(offendingText)) {}

std::int32_t ParseInteger(std::string_view text) {
    const auto value = TryParseInteger(text);
    if (!value) {
        throw EConvertError(text);
    }
    return *value;
}

} // namespace tcpipset
