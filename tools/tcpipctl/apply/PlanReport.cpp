#include "tools/tcpipctl/apply/PlanReport.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/Command.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

namespace tcpipset {

namespace {

std::string Settings(const DeviceValues& values) {
    return values.ip + "/" + values.mask + " gw " + values.gateway;
}

nlohmann::ordered_json ValuesJson(const DeviceValues& values) {
    return {{"ip", values.ip}, {"mask", values.mask}, {"gateway", values.gateway}};
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

// What the line shows after the status: the settings where they are known to be right,
// the reason otherwise; and what could not be made sure of.
std::string Subject(const PlannedRow& planned) {
    const std::string note = planned.note.empty() ? "" : " (" + planned.note + ")";
    switch (planned.status) {
    case RowStatus::Unchanged:
        return Settings(planned.after);
    case RowStatus::Changed:
        return Settings(planned.after) + note;
    case RowStatus::Change:
        return Settings(*planned.before) + " -> " + Settings(planned.after) + note;
    case RowStatus::Missing:
    case RowStatus::Refused:
    case RowStatus::Failed:
        break;
    }
    return planned.reason;
}

std::string Summary(const std::vector<PlannedRow>& plan, bool check) {
    std::map<RowStatus, std::size_t> counts;
    for (const auto& planned : plan) {
        ++counts[planned.status];
    }
    if (!PlanChanges(plan) && PlanStatus(plan) == ExitSuccess) {
        return i18n::Tr("nothing to change: every device already holds its settings");
    }
    std::string text;
    constexpr std::array Order{RowStatus::Change,  RowStatus::Changed, RowStatus::Unchanged,
                               RowStatus::Missing, RowStatus::Refused, RowStatus::Failed};
    for (const RowStatus status : Order) {
        if (counts[status] != 0) {
            text += (text.empty() ? "" : ", ") + std::to_string(counts[status]) + " " +
                    RowStatusName(status);
        }
    }
    // The counts name each status as the report's column does, in the words a script reads.
    // TRANSLATORS: %1 counts the devices of each status, as "2 change, 3 unchanged".
    return check ? i18n::Format(i18n::Tr("%1; nothing was sent (--check)"), text) : text;
}

} // namespace

std::string PlanText(const std::vector<PlannedRow>& plan, bool diff, bool check) {
    std::size_t interfaceWidth = 1;
    for (const auto& planned : plan) {
        interfaceWidth = std::max(interfaceWidth, planned.interfaceName.size());
    }
    std::string text;
    for (const auto& planned : plan) {
        const std::string interfaceName =
            planned.interfaceName.empty() ? "-" : planned.interfaceName;
        text += planned.row.mac + "  " + Padded(RowStatusName(planned.status), 10) +
                Padded(interfaceName, interfaceWidth) + "  " + Subject(planned) + "\n";
        const bool changing =
            planned.status == RowStatus::Change || planned.status == RowStatus::Changed;
        // The line shows the settings whole; beneath it, each that changes.
        if (diff && changing && planned.before) {
            const DeviceValues& before = *planned.before;
            for (const auto& [name, old, now] :
                 {std::tuple("ip", &before.ip, &planned.after.ip),
                  std::tuple("mask", &before.mask, &planned.after.mask),
                  std::tuple("gateway", &before.gateway, &planned.after.gateway)}) {
                if (*old != *now) {
                    text += std::string("    - ") + name + " " + *old + "\n";
                    text += std::string("    + ") + name + " " + *now + "\n";
                }
            }
        }
    }
    return text + Summary(plan, check) + "\n";
}

nlohmann::ordered_json PlanJson(const std::vector<PlannedRow>& plan) {
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (const auto& planned : plan) {
        devices.push_back(
            {{"mac", planned.row.mac},
             {"status", RowStatusName(planned.status)},
             {"interface", planned.interfaceName},
             {"before", planned.before ? ValuesJson(*planned.before) : nlohmann::ordered_json()},
             {"after", ValuesJson(planned.after)},
             {"reason", planned.reason.empty() ? planned.note : planned.reason}});
    }
    return {{"changed", PlanChanges(plan)}, {"devices", devices}};
}

bool PlanChanges(const std::vector<PlannedRow>& plan) {
    return std::ranges::any_of(plan, [](const PlannedRow& planned) {
        return planned.status == RowStatus::Change || planned.status == RowStatus::Changed ||
               planned.took;
    });
}

int PlanStatus(const std::vector<PlannedRow>& plan) {
    const bool allWell = std::ranges::all_of(plan, [](const PlannedRow& planned) {
        return planned.status == RowStatus::Unchanged || planned.status == RowStatus::Change ||
               planned.status == RowStatus::Changed;
    });
    return allWell ? ExitSuccess : ExitNoResult;
}

} // namespace tcpipset
