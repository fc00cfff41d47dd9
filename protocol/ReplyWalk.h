#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tcpipset {

// Sizes of the buffers that the operations receive replies into, and how many bytes
// each receive may take.
inline constexpr std::size_t DiscoveryReplyBufferSize = 70;
inline constexpr std::size_t DiscoveryBytesPerReceive = 70;
inline constexpr std::size_t DeviceReplyBufferSize = 101;
inline constexpr std::size_t DeviceBytesPerReceive = 100;

enum class WalkOutcome { Complete, Abort };

// Which item values the calling operation reads; the steps are the same for both.
enum class ReplyUse { MacAddresses, Settings };

// The texts that one walk appends to; the caller empties them before each walk.
struct ReplyTexts {
    std::string MacText;
    std::string MaskText;
    std::string GatewayText;
};

// A reply whose first byte is 0 is not walked; an empty buffer counts as one.
bool ReplyIsSkipped(std::span<const std::uint8_t> replyBuffer);

WalkOutcome WalkReplyItems(std::span<const std::uint8_t> replyBuffer, ReplyUse use,
                           ReplyTexts& texts);

// A finished mask or gateway text: the trailing "." dropped, an empty text kept empty.
std::string FinishAddressText(const std::string& walkedText);

} // namespace tcpipset
