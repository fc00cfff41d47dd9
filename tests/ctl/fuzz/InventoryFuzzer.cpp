// Feeds arbitrary text to the inventory reader. Besides returning for every input, it must
// give rows in the form the commands send, name a line of the text with every problem,
// and read the rows it took back the same when they are written out as CSV or as JSON.
#include "tools/tcpipctl/AddressOptions.h"
#include "tools/tcpipctl/apply/Inventory.h"
#include "tools/tcpipctl/apply/InventoryWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <tuple>

namespace {

using tcpipset::InventoryRow;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsListedMac(const std::string& mac) {
    return mac.size() == 12 && std::all_of(mac.begin(), mac.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
           });
}

bool IsCanonical(const std::string& address) {
    return tcpipset::CanonicalBroadcast(address) == address;
}

auto Values(const InventoryRow& row) {
    return std::tie(row.mac, row.ip, row.mask, row.gateway, row.interfaceName, row.warning);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto lines = 1 + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    const tcpipset::Inventory inventory = tcpipset::ReadInventory(text);

    for (const auto& problem : inventory.problems) {
        Check(problem.line >= 1 && problem.line <= lines && !problem.reason.empty());
    }
    for (const InventoryRow& row : inventory.rows) {
        Check(row.line >= 1 && row.line <= lines && IsListedMac(row.mac));
        // A mask or gateway that the device did not report is left empty.
        Check(IsCanonical(row.ip) && (row.mask.empty() || IsCanonical(row.mask)) &&
              (row.gateway.empty() || IsCanonical(row.gateway)));
    }
    if (inventory.rows.empty()) {
        return 0; // written out, no rows read back as a file without rows, which is refused
    }
    for (const std::string& written :
         {tcpipset::InventoryCsv(inventory.rows), tcpipset::InventoryJson(inventory.rows)}) {
        const tcpipset::Inventory again = tcpipset::ReadInventory(written);
        Check(again.problems.empty() && again.rows.size() == inventory.rows.size());
        for (std::size_t i = 0; i < again.rows.size(); ++i) {
            Check(Values(again.rows[i]) == Values(inventory.rows[i]));
        }
    }
    return 0;
}
