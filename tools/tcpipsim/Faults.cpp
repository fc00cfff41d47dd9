#include "tools/tcpipsim/Faults.h"

#include "tools/tcpipsim/SimError.h"

#include <charconv>

namespace tcpipset::sim {

namespace {

constexpr unsigned KindBit(RequestKind kind) {
    return 1u << static_cast<unsigned>(kind);
}
constexpr unsigned AllKinds = KindBit(RequestKind::Discovery) | KindBit(RequestKind::Query) |
                              KindBit(RequestKind::Set) | KindBit(RequestKind::Restart);

// A flood stops by itself; the bound keeps a typing error from flooding for hours.
constexpr int MaxFloodMs = 10000;
constexpr int MaxDelayMs = 60000;
constexpr std::size_t MaxPad = 1400;

int IntValue(const std::string& name, const std::string& value, int low, int high) {
    int result = 0;
    const auto* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, result);
    if (value.empty() || ec != std::errc{} || ptr != end || result < low || result > high) {
        throw SimError("fault " + name + ": value '" + value + "' is not a number from " +
                       std::to_string(low) + " to " + std::to_string(high));
    }
    return result;
}

std::uint8_t ByteValue(const std::string& name, const std::string& value) {
    return static_cast<std::uint8_t>(IntValue(name, value, 0, 255));
}

std::vector<ItemKind> OrderValue(const std::string& value) {
    std::vector<ItemKind> order;
    if (value == "none") {
        return order;
    }
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t comma = std::min(value.find(',', start), value.size());
        const std::string item = value.substr(start, comma - start);
        if (item == "mask") {
            order.push_back(ItemKind::Mask);
        } else if (item == "gateway") {
            order.push_back(ItemKind::Gateway);
        } else if (item == "mac") {
            order.push_back(ItemKind::Mac);
        } else {
            throw SimError("fault order: '" + item + "' is not mask, gateway or mac");
        }
        start = comma + 1;
    }
    return order;
}

void Apply(const std::string& name, const std::string& value, Behaviour& b) {
    const bool flag = value.empty();
    if (name == "silent" && flag) {
        b.silent = true;
    } else if (name == "delay") {
        b.delayMs = IntValue(name, value, 0, MaxDelayMs);
    } else if (name == "twice" && flag) {
        b.copies = 2;
    } else if (name == "copies") {
        b.copies = IntValue(name, value, 1, 100);
    } else if (name == "old-address" && flag) {
        b.oldAddress = true;
    } else if (name == "ignore-set" && flag) {
        b.ignoreSet = true;
    } else if (name == "flood") {
        b.floodMs = IntValue(name, value, 1, MaxFloodMs);
    } else if (name == "flood-every-us") {
        b.floodEveryUs = IntValue(name, value, 100, 1000000);
    } else if (name == "reboot") {
        b.rebootMs = IntValue(name, value, 0, MaxDelayMs);
    } else if (name == "empty" && flag) {
        b.shape.empty = true;
    } else if (name == "raw") {
        auto bytes = ParseHexBytes(value);
        if (!bytes || bytes->size() > MaxPad) {
            throw SimError("fault raw: '" + value + "' is not hexadecimal bytes");
        }
        b.shape.raw = std::move(bytes);
    } else if (name == "zero-first" && flag) {
        b.shape.zeroFirst = true;
    } else if (name == "first-item") {
        b.shape.firstItem = ByteValue(name, value);
    } else if (name == "extra-item") {
        b.shape.extraItem = ByteValue(name, value);
    } else if (name == "order") {
        b.shape.order = OrderValue(value);
    } else if (name == "gateway-first" && flag) {
        b.shape.order = {ItemKind::Gateway, ItemKind::Mask, ItemKind::Mac};
    } else if (name == "mac-first" && flag) {
        b.shape.order = {ItemKind::Mac, ItemKind::Mask, ItemKind::Gateway};
    } else if (name == "big-length" && flag) {
        b.shape.bigLength = true;
    } else if (name == "no-end" && flag) {
        b.shape.noEnd = true;
    } else if (name == "long") {
        b.shape.padTo = static_cast<std::size_t>(IntValue(name, value, 1, MaxPad));
    } else {
        throw SimError("unknown fault '" + name + (flag ? "" : "=" + value) + "'");
    }
}

unsigned KindsValue(std::string_view text) {
    unsigned kinds = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t plus = std::min(text.find('+', start), text.size());
        const std::string_view kind = text.substr(start, plus - start);
        if (kind == "discovery") {
            kinds |= KindBit(RequestKind::Discovery);
        } else if (kind == "query") {
            kinds |= KindBit(RequestKind::Query);
        } else if (kind == "set") {
            kinds |= KindBit(RequestKind::Set);
        } else if (kind == "restart") {
            kinds |= KindBit(RequestKind::Restart);
        } else {
            throw SimError("fault scope '" + std::string(kind) +
                           "' is not discovery, query, set or restart");
        }
        start = plus + 1;
    }
    return kinds;
}

} // namespace

void FaultList::Add(std::string_view word) {
    Fault fault;
    fault.kinds = AllKinds;
    const std::size_t at = word.find('@');
    if (at != std::string_view::npos) {
        fault.kinds = KindsValue(word.substr(at + 1));
        word = word.substr(0, at);
    }
    const std::size_t equals = word.find('=');
    fault.name = std::string(word.substr(0, equals));
    if (equals != std::string_view::npos) {
        fault.value = std::string(word.substr(equals + 1));
        if (fault.value.empty()) {
            throw SimError("fault " + fault.name + ": empty value");
        }
    }
    Behaviour check;
    Apply(fault.name, fault.value, check);
    faults_.push_back(std::move(fault));
}

Behaviour FaultList::For(RequestKind kind) const {
    Behaviour b;
    for (const Fault& fault : faults_) {
        if ((fault.kinds & KindBit(kind)) != 0) {
            Apply(fault.name, fault.value, b);
        }
    }
    return b;
}

const char* FaultHelp() {
    return "Faults (each may end in @discovery, @query, @set, @restart, joined with +):\n"
           "  silent            never answer\n"
           "  delay=MS          answer MS milliseconds late\n"
           "  twice, copies=N   send the reply twice / N times\n"
           "  flood=MS          repeat the reply for MS milliseconds (flood-every-us=US apart)\n"
           "  old-address       answer a set from the address held before it, then move\n"
           "  ignore-set        answer a set with the unchanged values and do not move\n"
           "  reboot=MS         stay silent MS milliseconds after a restart\n"
           "  empty             answer with an empty datagram\n"
           "  raw=HEX           answer with exactly these bytes\n"
           "  zero-first        first header byte 0\n"
           "  first-item=T      an item of type T before all others (255: the end marker)\n"
           "  extra-item=T      an item of type T after the first item\n"
           "  order=LIST        items in this order (mask,gateway,mac; repeats allowed; none)\n"
           "  gateway-first     order=gateway,mask,mac\n"
           "  mac-first         order=mac,mask,gateway\n"
           "  big-length        length byte 250 in the last item\n"
           "  no-end            no end marker\n"
           "  long=N            filler bytes after the end marker up to N bytes\n";
}

} // namespace tcpipset::sim
