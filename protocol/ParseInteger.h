#pragma once

#include "protocol/Exception.h"

#include <cstdint>
#include <string_view>

namespace tcpipset {

// Raised by ParseInteger with "'<text>' is not an integer", in the operator's
// language.
class EConvertError : public Exception {
public:
    explicit EConvertError(std::string_view offendingText);
};

// Strict conversion of a whole text to a signed 32-bit integer: leading spaces, one
// optional sign, then decimal digits or hexadecimal ones after "$", "x", "X", "0x" or
// "0X"; nothing may follow the digits.
std::int32_t ParseInteger(std::string_view text);

} // namespace tcpipset
