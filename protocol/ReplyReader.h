#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tcpipset {

// Read-only view of a received reply that answers "nothing" for every byte outside the
// buffer, so the offsets that the item walk computes can never reach past it.
class ReplyReader {
public:
    explicit ReplyReader(std::span<const std::uint8_t> buffer) : buffer_(buffer) {}

    std::optional<std::uint8_t> ByteAt(std::size_t offset) const {
        if (offset >= buffer_.size()) {
            return std::nullopt;
        }
        return buffer_[offset];
    }

    // All count bytes from offset on, or nothing when any of them lies outside.
    std::optional<std::span<const std::uint8_t>> BytesAt(std::size_t offset,
                                                         std::size_t count) const {
        if (offset > buffer_.size() || count > buffer_.size() - offset) {
            return std::nullopt;
        }
        return buffer_.subspan(offset, count);
    }

private:
    std::span<const std::uint8_t> buffer_;
};

} // namespace tcpipset
