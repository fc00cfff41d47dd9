#include "protocol/ReplyWalk.h"

#include "protocol/ReplyReader.h"
#include "protocol/Requests.h"

#include <optional>

namespace tcpipset {

namespace {

// Where the walk finds an item's length and value relative to p, and how far it steps.
// The subnet-mask rule sits one byte further on than the others; that is how the first
// item, met with p one byte before its type, is read at its own place.
struct ItemLayout {
    std::size_t lengthAt = 1;
    std::size_t valueAt = 2;
    std::size_t valueCount = 0;
    std::size_t stepBeyondLength = 2;
};

ItemLayout LayoutOf(std::uint8_t type) {
    switch (type) {
    case ItemSubnetMask:
        return {.lengthAt = 2, .valueAt = 3, .valueCount = 4, .stepBeyondLength = 3};
    case ItemGateway:
        return {.valueCount = 4};
    case ItemMacAddress:
        return {.valueCount = 6};
    default:
        return {};
    }
}

// The text that the calling operation reads this type into; types it does not use are
// only stepped over.
std::string* TextFor(std::uint8_t type, ReplyUse use, ReplyTexts& texts) {
    if (use == ReplyUse::MacAddresses) {
        return type == ItemMacAddress ? &texts.MacText : nullptr;
    }
    if (type == ItemSubnetMask) {
        return &texts.MaskText;
    }
    if (type == ItemGateway) {
        return &texts.GatewayText;
    }
    return nullptr;
}

void AppendHexBytes(std::string& text, std::span<const std::uint8_t> bytes) {
    constexpr char Digits[] = "0123456789ABCDEF";
    for (std::uint8_t b : bytes) {
        text.push_back(Digits[b >> 4]);
        text.push_back(Digits[b & 0x0F]);
    }
}

void AppendDottedBytes(std::string& text, std::span<const std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) {
        text.append(std::to_string(b));
        text.push_back('.');
    }
}

bool EndsWalk(std::uint8_t type) {
    return type == 0 || type >= 14;
}

} // namespace

bool ReplyIsSkipped(std::span<const std::uint8_t> replyBuffer) {
    return ReplyReader(replyBuffer).ByteAt(0).value_or(0) == 0;
}

WalkOutcome WalkReplyItems(std::span<const std::uint8_t> replyBuffer, ReplyUse use,
                           ReplyTexts& texts) {
    const ReplyReader reader(replyBuffer);
    std::size_t p = 9;
    std::optional<std::uint8_t> type = reader.ByteAt(10);
    for (;;) {
        if (!type || EndsWalk(*type)) {
            return WalkOutcome::Abort;
        }
        const ItemLayout layout = LayoutOf(*type);
        if (std::string* text = TextFor(*type, use, texts)) {
            // An item whose value runs off the buffer adds nothing, so a text never
            // holds half a group.
            const auto value = reader.BytesAt(p + layout.valueAt, layout.valueCount);
            if (!value) {
                return WalkOutcome::Abort;
            }
            if (*type == ItemMacAddress) {
                AppendHexBytes(*text, *value);
            } else {
                AppendDottedBytes(*text, *value);
            }
        }
        const auto length = reader.ByteAt(p + layout.lengthAt);
        if (!length) {
            return WalkOutcome::Abort;
        }
        p += *length + layout.stepBeyondLength;
        type = reader.ByteAt(p);
        if (type == ItemEnd) {
            return WalkOutcome::Complete;
        }
    }
}

std::string FinishAddressText(const std::string& walkedText) {
    if (walkedText.empty()) {
        return walkedText;
    }
    return walkedText.substr(0, walkedText.size() - 1);
}

} // namespace tcpipset
