#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tcpipset {

// One device of an inventory: the addresses that the device with this MAC is to be given.
struct InventoryRow {
    std::size_t line = 0;          // where the row begins in its file, counted from 1
    std::string mac;               // 12 uppercase hexadecimal digits
    std::string ip, mask, gateway; // dotted quads without leading zeros
    std::string interfaceName;     // empty: the device is looked for on every interface
    // What a set of these addresses warns of (a gateway outside the subnet), without the
    // "tcpipctl: warning: --" of the command line; empty when nothing.
    std::string warning;
};

struct InventoryProblem {
    std::size_t line = 0;
    std::string reason;
};

struct Inventory {
    std::vector<InventoryRow> rows;         // the rows that pass every check, in file order
    std::vector<InventoryProblem> problems; // every fault found, in file order
};

// Reads an inventory: a JSON array of objects when its first character other than blanks
// (and a UTF-8 byte order mark) is "[", CSV with a header line otherwise. Each row is
// checked as tcpipctl set checks its options, and against the rows above it: a MAC, an IP
// address or the last six digits of a MAC given twice is a problem of the later row; a
// MAC given again with the same addresses on another interface is that device seen on
// both, and read once. A row may leave mask or gateway empty (the device reported none).
// A file without rows is a problem too. With hostInterfaces, a row that names an interface
// not among them is a problem. Never throws for any text.
Inventory ReadInventory(std::string_view text,
                        const std::vector<std::string>* hostInterfaces = nullptr);

// "FILE:LINE: reason", as compilers write theirs, so that editors can jump to the line.
std::string ProblemText(std::string_view file, const InventoryProblem& problem);

} // namespace tcpipset
