#pragma once

#include "tools/tcpipctl/apply/Inventory.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// The address, mask and gateway a device holds or is to hold.
struct DeviceValues {
    std::string ip;
    std::string mask;
    std::string gateway;
};

// A device that a discovery listed: its MAC, the address its reply came from, and the
// interface it came in on.
struct SeenDevice {
    std::string mac;
    std::string address;
    std::string interfaceName;
};

enum class RowStatus { Unchanged, Change, Missing, Refused, Changed, Failed };

const char* RowStatusName(RowStatus status);

struct PlannedRow {
    InventoryRow row;
    RowStatus status = RowStatus::Missing;
    std::optional<DeviceValues> before; // what the device reported, when it answered
    DeviceValues after;
    std::string interfaceName; // where the device was seen, and where its writes go
    std::string reason;
    // A change that goes ahead all the same: what could not be made sure of first.
    std::string note{};
    // The device holds the new settings, though the row failed afterwards (its restart).
    bool took = false;
};

// What was found out about the devices of an inventory before anything is written.
struct SiteFindings {
    std::vector<SeenDevice> seen;
    std::size_t rounds = 0;
    // The answer of each queried device, by MAC; nothing when it did not answer.
    std::map<std::string, std::optional<DeviceValues>> queried;
    // For each address checked, the MAC of whatever else answered for it on the link;
    // empty when nothing did.
    std::map<std::string, std::string> addressHolders;
    // Each address that could not be checked, and why.
    std::map<std::string, std::string> uncheckedAddresses{};
    // The workstation's own addresses, each with its interface: in use by it.
    std::map<std::string, std::string> workstationAddresses{};
};

// The devices of the inventory that were seen, each on the one interface it answered on,
// and whose last six digits no other seen device shares: those that are queried.
std::vector<PlannedRow> SeenRows(const std::vector<InventoryRow>& rows,
                                 const std::vector<SeenDevice>& seen, std::size_t rounds);

// Every row's status: unchanged, change, missing or refused, by the rules of the plan. A
// row's empty mask or gateway is what the device holds.
std::vector<PlannedRow> MakePlan(const std::vector<InventoryRow>& rows,
                                 const SiteFindings& findings);

// The rows whose device is to move to another address, which must be free first.
bool MovesAddress(const PlannedRow& planned);

} // namespace tcpipset
