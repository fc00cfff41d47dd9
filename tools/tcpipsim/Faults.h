#pragma once

#include "tools/tcpipsim/HexText.h"
#include "tools/tcpipsim/Request.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset::sim {

enum class ItemKind { Mask, Gateway, Mac };

// How the bytes of one reply are laid out; the default is the well-formed reply.
struct ReplyShape {
    bool empty = false;
    std::optional<Bytes> raw;
    bool zeroFirst = false;
    std::optional<std::uint8_t> firstItem;
    std::optional<std::uint8_t> extraItem;
    std::vector<ItemKind> order{ItemKind::Mask, ItemKind::Gateway, ItemKind::Mac};
    bool bigLength = false;
    bool noEnd = false;
    std::size_t padTo = 0;
};

// What a device does with one request, once its faults for that kind are applied.
struct Behaviour {
    bool silent = false;
    int delayMs = 0;
    int copies = 1;
    bool oldAddress = false;
    bool ignoreSet = false;
    int floodMs = 0;
    int floodEveryUs = 1000;
    std::optional<int> rebootMs;
    ReplyShape shape;
};

// A device's fault words, each optionally limited to some request kinds with
// "@kind+kind" (for example "silent@query" or "delay=1500@set+restart").
class FaultList {
public:
    // Throws SimError on an unknown word or a bad value.
    void Add(std::string_view word);
    Behaviour For(RequestKind kind) const;
    bool Empty() const { return faults_.empty(); }

private:
    struct Fault {
        std::string name;
        std::string value;
        unsigned kinds = 0;
    };
    std::vector<Fault> faults_;
};

// One line of help per fault word, for --help.
const char* FaultHelp();

} // namespace tcpipset::sim
