#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tcpipset {

// What discovery learnt of where each listed line lives: the interfaces on which replies
// carrying that line arrived. A request for the line then leaves only there, so that a
// set never reaches a segment on which the selected device was not seen.
class ReplyInterfaces {
public:
    void Clear() { interfacesOfLine_.clear(); }
    // Records a listed line; an empty name (the platform did not tell) adds no interface.
    void Note(const std::string& line, const std::string& interfaceName);
    // The line's interfaces that are still among the usable ones and within the limit
    // (every usable one when the limit is empty). Empty when none is known for the line:
    // it was not listed, or the platform did not tell where its replies came in. Nullopt
    // when its replies came in on interfaces of which none is left: a request for the line
    // could then only leave where the device was never seen.
    std::optional<std::vector<std::string>> Of(const std::string& line,
                                               const std::vector<std::string>& usable,
                                               const std::vector<std::string>& limit) const;

    // Whether a request for the line would also reach another listed line: one with
    // another text but the same selector (characters 7 to 12), seen on an interface the
    // request leaves on (aimed; empty: every interface) or on none known.
    bool SharesSelector(const std::string& line, const std::vector<std::string>& aimed) const;

private:
    std::map<std::string, std::set<std::string>> interfacesOfLine_;
};

} // namespace tcpipset
