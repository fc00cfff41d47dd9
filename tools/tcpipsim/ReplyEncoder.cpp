#include "tools/tcpipsim/ReplyEncoder.h"

namespace tcpipset::sim {

namespace {

constexpr std::uint8_t FillerByte = 0xEE;
constexpr std::uint8_t BigLength = 250;

void PutAddressItem(Bytes& out, std::uint8_t type, Ipv4 address) {
    out.push_back(type);
    out.push_back(4);
    for (int i = 0; i < 4; ++i) {
        out.push_back(address.Part(i));
    }
}

void PutItem(Bytes& out, ItemKind kind, const ReplyValues& values) {
    switch (kind) {
    case ItemKind::Mask:
        PutAddressItem(out, 1, values.mask);
        break;
    case ItemKind::Gateway:
        PutAddressItem(out, 2, values.gateway);
        break;
    case ItemKind::Mac:
        out.push_back(10);
        out.push_back(6);
        out.insert(out.end(), values.mac.begin(), values.mac.end());
        break;
    }
}

// A stray item of the given type with a two-byte value; 255 is the end marker alone.
void PutStrayItem(Bytes& out, std::uint8_t type) {
    out.push_back(type);
    if (type != 255) {
        out.push_back(2);
        out.push_back(0xAA);
        out.push_back(0xBB);
    }
}

} // namespace

Bytes EncodeReply(const ReplyValues& values, const ReplyShape& shape) {
    if (shape.empty) {
        return {};
    }
    if (shape.raw) {
        return *shape.raw;
    }
    Bytes out{'P', 'T', 'N'};
    for (char c : SelectorOf(values.mac)) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
    out.push_back(static_cast<std::uint8_t>(values.command));
    if (shape.zeroFirst) {
        out[0] = 0;
    }
    if (shape.firstItem) {
        PutStrayItem(out, *shape.firstItem);
    }
    std::size_t lastItemStart = out.size();
    for (std::size_t i = 0; i < shape.order.size(); ++i) {
        lastItemStart = out.size();
        PutItem(out, shape.order[i], values);
        if (i == 0 && shape.extraItem) {
            PutStrayItem(out, *shape.extraItem);
        }
    }
    if (shape.bigLength && lastItemStart + 1 < out.size()) {
        out[lastItemStart + 1] = BigLength;
    }
    if (!shape.noEnd) {
        out.push_back(255);
    }
    if (out.size() < shape.padTo) {
        out.resize(shape.padTo, FillerByte);
    }
    return out;
}

} // namespace tcpipset::sim
