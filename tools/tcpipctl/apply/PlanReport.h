#pragma once

#include "tools/tcpipctl/apply/Plan.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace tcpipset {

// One aligned line per device (MAC, status, interface, and the new settings or the reason),
// with --diff the settings before and after beneath each change, and a closing summary.
std::string PlanText(const std::vector<PlannedRow>& plan, bool diff, bool check);

// {"changed": ..., "devices": [{"mac", "status", "interface", "before", "after", "reason"}]}
nlohmann::ordered_json PlanJson(const std::vector<PlannedRow>& plan);

// Whether anything changed, or under --check would change.
bool PlanChanges(const std::vector<PlannedRow>& plan);

// 0 when every row ended unchanged or changed (or is a change still to make), 1 otherwise.
int PlanStatus(const std::vector<PlannedRow>& plan);

} // namespace tcpipset
