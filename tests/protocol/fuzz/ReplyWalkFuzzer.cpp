// Feeds arbitrary replies to the item walk. The first input byte picks the receive
// buffer (discovery or device); the rest is the datagram. Each reply is walked twice:
// as an operation holds it (zero past the datagram) and as a bare span of exactly the
// received bytes, where any read past the end is caught by the address sanitizer.
#include "protocol/ReplyWalk.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using tcpipset::ReplyTexts;
using tcpipset::ReplyUse;

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Each group is one to three decimal digits followed by a dot.
bool IsDottedGroups(const std::string& text) {
    std::size_t digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0) {
                return false;
            }
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 3) {
            ++digits;
        } else {
            return false;
        }
    }
    return digits == 0;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void WalkBothUses(std::span<const std::uint8_t> buffer) {
    (void)tcpipset::ReplyIsSkipped(buffer);

    ReplyTexts macTexts;
    (void)tcpipset::WalkReplyItems(buffer, ReplyUse::MacAddresses, macTexts);
    Check(macTexts.MaskText.empty() && macTexts.GatewayText.empty());
    Check(macTexts.MacText.size() % 12 == 0);
    for (char c : macTexts.MacText) {
        Check(IsUpperHex(c));
    }

    ReplyTexts settingTexts;
    (void)tcpipset::WalkReplyItems(buffer, ReplyUse::Settings, settingTexts);
    Check(settingTexts.MacText.empty());
    Check(IsDottedGroups(settingTexts.MaskText) && IsDottedGroups(settingTexts.GatewayText));
    const std::string mask = tcpipset::FinishAddressText(settingTexts.MaskText);
    Check(mask.size() + (settingTexts.MaskText.empty() ? 0 : 1) == settingTexts.MaskText.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool device = (data[0] & 1) != 0;
    const std::size_t bufferSize =
        device ? tcpipset::DeviceReplyBufferSize : tcpipset::DiscoveryReplyBufferSize;
    const std::size_t taken =
        device ? tcpipset::DeviceBytesPerReceive : tcpipset::DiscoveryBytesPerReceive;
    const std::span<const std::uint8_t> datagram(data + 1, size - 1);

    // Cleared, then filled with at most the bytes one receive takes.
    std::vector<std::uint8_t> replyBuffer(bufferSize, 0);
    const std::size_t received = datagram.size() < taken ? datagram.size() : taken;
    for (std::size_t i = 0; i < received; ++i) {
        replyBuffer[i] = datagram[i];
    }
    WalkBothUses(replyBuffer);

    std::vector<std::uint8_t> exact(datagram.begin(), datagram.end());
    WalkBothUses(exact);
    return 0;
}
