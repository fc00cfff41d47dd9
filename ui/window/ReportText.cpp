#include "ui/window/ReportText.h"

namespace tcpipset {

std::string ReportText(std::string message) {
    if (message.empty()) {
        return message;
    }
    // The comparison was made on the last character's first byte in Shift-JIS, where every
    // lead byte and every half-width katakana lies above ".". In UTF-8 every byte of a
    // character beyond ASCII is 0x80 or more, so the last byte alone decides the same way.
    const auto last = static_cast<unsigned char>(message.back());
    if (last > static_cast<unsigned char>('.')) {
        message += '.';
    }
    return message;
}

} // namespace tcpipset
