#include "ui/operations/ReplyInterfaces.h"

#include "protocol/Requests.h"

#include <algorithm>

namespace tcpipset {

void ReplyInterfaces::Note(const std::string& line, const std::string& interfaceName) {
    auto& interfaces = interfacesOfLine_[line];
    if (!interfaceName.empty()) {
        interfaces.insert(interfaceName);
    }
}

bool ReplyInterfaces::SharesSelector(const std::string& line,
                                     const std::vector<std::string>& aimed) const {
    const std::string selector = DeviceSelectorOf(line);
    return std::ranges::any_of(interfacesOfLine_, [&](const auto& other) {
        const auto& [otherLine, interfaces] = other;
        if (otherLine == line || DeviceSelectorOf(otherLine) != selector) {
            return false;
        }
        return aimed.empty() || interfaces.empty() ||
               std::ranges::any_of(
                   aimed, [&](const std::string& name) { return interfaces.contains(name); });
    });
}

std::optional<std::vector<std::string>>
ReplyInterfaces::Of(const std::string& line, const std::vector<std::string>& usable,
                    const std::vector<std::string>& limit) const {
    const auto seen = interfacesOfLine_.find(line);
    if (seen == interfacesOfLine_.end() || seen->second.empty()) {
        return std::vector<std::string>{};
    }
    std::vector<std::string> names;
    for (const auto& name : seen->second) {
        const bool stillThere = std::ranges::find(usable, name) != usable.end();
        const bool allowed = limit.empty() || std::ranges::find(limit, name) != limit.end();
        if (stillThere && allowed) {
            names.push_back(name);
        }
    }
    if (names.empty()) {
        return std::nullopt;
    }
    return names;
}

} // namespace tcpipset
