#include "protocol/AddressValidation.h"

namespace tcpipset {

// Control characters other than backspace are swallowed too, so that nothing but
// digits and dots can be typed into an address field.
char32_t FilterAddressKey(char32_t typed) {
    constexpr char32_t Backspace = 8;
    if (typed == Backspace || typed == U'.' || (typed >= U'0' && typed <= U'9')) {
        return typed;
    }
    return 0;
}

} // namespace tcpipset
