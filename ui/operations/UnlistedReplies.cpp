#include "ui/operations/UnlistedReplies.h"

#include <algorithm>

namespace tcpipset {

namespace {

// Senders named on one line; the rest are counted.
constexpr std::size_t SendersShown = 5;

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

std::string From(const std::vector<std::string>& senders) {
    std::vector<std::string> distinct;
    for (const auto& sender : senders) {
        if (std::ranges::find(distinct, sender) == distinct.end()) {
            distinct.push_back(sender);
        }
    }
    std::string text = distinct.empty() ? "" : ": from ";
    for (std::size_t i = 0; i < std::min(distinct.size(), SendersShown); ++i) {
        text += (i == 0 ? "" : ", ") + distinct[i];
    }
    if (distinct.size() > SendersShown) {
        text += " and " + std::to_string(distinct.size() - SendersShown) + " more";
    }
    return text;
}

} // namespace

void UnlistedReplies::Count(Kind kind, const std::string& sender, const std::string& mac) {
    int* const counts[] = {&unreadable, &empty, &firstByteZero, &withoutMac};
    const auto index = static_cast<std::size_t>(kind);
    ++*counts[index];
    senders[index].push_back(mac.empty() ? sender : sender + " (" + mac + ")");
}

std::vector<std::string> UnlistedReplies::Descriptions() const {
    using enum Kind;
    const struct {
        int count;
        Kind kind;
        const char* one;
        const char* many;
    } lines[] = {
        {unreadable, Unreadable, " reply could not be read", " replies could not be read"},
        {empty, Empty, " empty datagram added no device", " empty datagrams added no device"},
        {firstByteZero, FirstByteZero, " reply began with a 0 byte and was not read",
         " replies began with a 0 byte and were not read"},
        {withoutMac, WithoutMac, " reply held no MAC address", " replies held no MAC address"},
    };
    std::vector<std::string> texts;
    for (const auto& line : lines) {
        if (line.count != 0) {
            texts.push_back(Counted(line.count, line.one, line.many) +
                            From(senders[static_cast<std::size_t>(line.kind)]));
        }
    }
    return texts;
}

} // namespace tcpipset
