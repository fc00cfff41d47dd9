#include "ui/operations/ReplyInterfaces.h"

#include <algorithm>

namespace tcpipset {

void ReplyInterfaces::Note(const std::string& line, const std::string& interfaceName) {
    if (!interfaceName.empty()) {
        interfacesOfLine_[line].insert(interfaceName);
    }
}

std::vector<std::string> ReplyInterfaces::Of(const std::string& line,
                                             const std::vector<std::string>& usable,
                                             const std::vector<std::string>& limit) const {
    const auto seen = interfacesOfLine_.find(line);
    if (seen == interfacesOfLine_.end()) {
        return {};
    }
    std::vector<std::string> names;
    for (const auto& name : seen->second) {
        const bool stillThere = std::ranges::find(usable, name) != usable.end();
        const bool allowed = limit.empty() || std::ranges::find(limit, name) != limit.end();
        if (stillThere && allowed) {
            names.push_back(name);
        }
    }
    return names;
}

} // namespace tcpipset
