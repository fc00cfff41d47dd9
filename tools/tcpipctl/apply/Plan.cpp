#include "tools/tcpipctl/apply/Plan.h"

#include "i18n/Translate.h"
#include "protocol/Requests.h"
#include "tools/tcpipctl/AddressOptions.h"

#include <algorithm>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

// A field that neither gives (a device that reports no gateway) is the same too.
bool SameField(const std::string& a, const std::string& b) {
    return (a.empty() && b.empty()) || SameDottedQuad(a, b);
}

bool SameValues(const DeviceValues& a, const DeviceValues& b) {
    return SameField(a.ip, b.ip) && SameField(a.mask, b.mask) && SameField(a.gateway, b.gateway);
}

void Refuse(PlannedRow& planned, std::string reason) {
    planned.status = RowStatus::Refused;
    planned.reason = std::move(reason);
}

// Whatever else holds the address the row moves its device to: another listed device
// that answered from it, or a host that answered the link's duplicate address probe.
std::string HolderOf(const PlannedRow& planned, const SiteFindings& findings) {
    const std::string& wanted = planned.after.ip;
    for (const auto& device : findings.seen) {
        if (device.mac != planned.row.mac && SameDottedQuad(device.address, wanted)) {
            return device.mac;
        }
    }
    const auto probed = findings.addressHolders.find(wanted);
    if (probed != findings.addressHolders.end() && !probed->second.empty() &&
        probed->second != planned.row.mac) {
        return probed->second;
    }
    return {};
}

} // namespace

const char* RowStatusName(RowStatus status) {
    switch (status) {
    case RowStatus::Unchanged:
        return "unchanged";
    case RowStatus::Change:
        return "change";
    case RowStatus::Missing:
        return "missing";
    case RowStatus::Refused:
        return "refused";
    case RowStatus::Changed:
        return "changed";
    case RowStatus::Failed:
        break;
    }
    return "failed";
}

std::vector<PlannedRow> SeenRows(const std::vector<InventoryRow>& rows,
                                 const std::vector<SeenDevice>& seen, std::size_t rounds) {
    std::vector<PlannedRow> plan;
    for (const auto& row : rows) {
        PlannedRow planned{row,
                           RowStatus::Change,
                           std::nullopt,
                           {row.ip, row.mask, row.gateway},
                           row.interfaceName,
                           {}};
        std::vector<const SeenDevice*> same;
        std::vector<const SeenDevice*> twins;
        for (const auto& device : seen) {
            if (!row.interfaceName.empty() && device.interfaceName != row.interfaceName) {
                continue;
            }
            if (device.mac == row.mac) {
                same.push_back(&device);
            } else if (DeviceSelectorOf(device.mac) == DeviceSelectorOf(row.mac)) {
                twins.push_back(&device);
            }
        }
        if (same.empty()) {
            planned.status = RowStatus::Missing;
            planned.reason =
                row.interfaceName.empty()
                    ? Format(TrN("not seen in %1 discovery", "not seen in %1 discoveries", rounds),
                             rounds)
                    : Format(TrN("not seen in %1 discovery on %2",
                                 "not seen in %1 discoveries on %2", rounds),
                             rounds, row.interfaceName);
        } else if (!twins.empty()) {
            // A write to this device is taken by every device with its last six digits.
            const SeenDevice& twin = *twins.front();
            Refuse(planned,
                   twin.interfaceName.empty()
                       // TRANSLATORS: %1 is six hex digits, %2 the MAC address of another device,
                       // %3 the interface where it was seen.
                       ? Format(Tr("its last six digits %1 are also those of %2: set one of them "
                                   "with the window, or on its own segment with --interface"),
                                DeviceSelectorOf(row.mac), twin.mac)
                       : Format(Tr("its last six digits %1 are also those of %2 on %3: set one of "
                                   "them with the window, or on its own segment with --interface"),
                                DeviceSelectorOf(row.mac), twin.mac, twin.interfaceName));
        } else if (std::ranges::any_of(same, [&](const SeenDevice* device) {
                       return device->interfaceName != same.front()->interfaceName;
                   })) {
            Refuse(planned, Format(Tr("seen on %1 and on %2; give its interface"),
                                   same.front()->interfaceName, same.back()->interfaceName));
        } else {
            planned.interfaceName = same.front()->interfaceName;
        }
        plan.push_back(std::move(planned));
    }
    return plan;
}

std::vector<PlannedRow> MakePlan(const std::vector<InventoryRow>& rows,
                                 const SiteFindings& findings) {
    std::vector<PlannedRow> plan = SeenRows(rows, findings.seen, findings.rounds);
    for (auto& planned : plan) {
        if (planned.status != RowStatus::Change) {
            continue;
        }
        const auto answer = findings.queried.find(planned.row.mac);
        if (answer == findings.queried.end() || !answer->second) {
            planned.status = RowStatus::Missing;
            planned.reason = Tr("seen, but it did not answer the query");
            continue;
        }
        planned.before = *answer->second;
        for (auto [kept, held] : {std::pair(&planned.after.mask, &planned.before->mask),
                                  std::pair(&planned.after.gateway, &planned.before->gateway)}) {
            if (kept->empty()) {
                *kept = *held;
            }
        }
        if (SameValues(*planned.before, planned.after)) {
            planned.status = RowStatus::Unchanged;
        } else if (planned.after.mask.empty() || planned.after.gateway.empty()) {
            Refuse(planned, planned.after.mask.empty()
                                ? Tr("no mask: the file gives none and the device reports none, "
                                     "and a set needs all three")
                                : Tr("no gateway: the file gives none and the device reports none, "
                                     "and a set needs all three"));
        } else if (MovesAddress(planned)) {
            const auto own = findings.workstationAddresses.find(planned.after.ip);
            const auto unchecked = findings.uncheckedAddresses.find(planned.after.ip);
            if (const std::string holder = HolderOf(planned, findings); !holder.empty()) {
                Refuse(planned, Format(Tr("address in use by MAC %1"), holder));
            } else if (own != findings.workstationAddresses.end()) {
                Refuse(
                    planned,
                    // TRANSLATORS: %1 is the name of this host's interface that holds the address.
                    Format(Tr("address in use by this workstation on %1"), own->second));
            } else if (unchecked != findings.uncheckedAddresses.end()) {
                planned.note =
                    // TRANSLATORS: %1 tells why the address could not be checked.
                    Format(Tr("address not checked for another holder: %1"), unchecked->second);
            }
        }
    }
    return plan;
}

bool MovesAddress(const PlannedRow& planned) {
    return planned.status == RowStatus::Change && planned.before &&
           !SameDottedQuad(planned.before->ip, planned.after.ip);
}

} // namespace tcpipset
