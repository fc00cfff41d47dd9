#pragma once

#include "tools/tcpipctl/apply/Inventory.h"

#include <string>
#include <vector>

namespace tcpipset {

// The rows as CSV: the header mac,ip,mask,gateway,interface, then a line per row, a field
// quoted only where a reader would otherwise split or trim it. ReadInventory gives the
// same rows back.
std::string InventoryCsv(const std::vector<InventoryRow>& rows);

// The rows as a JSON array with an object per line, keys in the order of the CSV columns,
// so that two exports compare line by line. ReadInventory gives the same rows back.
std::string InventoryJson(const std::vector<InventoryRow>& rows);

} // namespace tcpipset
