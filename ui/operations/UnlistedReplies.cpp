#include "ui/operations/UnlistedReplies.h"

#include "i18n/Translate.h"

#include <algorithm>

namespace tcpipset {

namespace {

// Senders named on one line; the rest are counted.
constexpr std::size_t SendersShown = 5;

std::string From(const std::vector<std::string>& senders) {
    std::vector<std::string> distinct;
    for (const auto& sender : senders) {
        if (std::ranges::find(distinct, sender) == distinct.end()) {
            distinct.push_back(sender);
        }
    }
    if (distinct.empty()) {
        return "";
    }
    std::string named;
    for (std::size_t i = 0; i < std::min(distinct.size(), SendersShown); ++i) {
        named += (i == 0 ? "" : ", ") + distinct[i];
    }
    if (distinct.size() > SendersShown) {
        const auto more = distinct.size() - SendersShown;
        // TRANSLATORS: %1 lists senders, %2 counts those left out of the list.
        named = i18n::Format(i18n::TrN("%1 and %2 more", "%1 and %2 more", more), named, more);
    }
    // TRANSLATORS: follows a count of replies; %1 lists their senders.
    return i18n::Format(i18n::Tr(": from %1"), named);
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
        i18n::PluralText text;
    } lines[] = {
        {unreadable, Unreadable,
         i18n::MarkN("%1 reply could not be read", "%1 replies could not be read")},
        {empty, Empty,
         i18n::MarkN("%1 empty datagram added no device", "%1 empty datagrams added no device")},
        {firstByteZero, FirstByteZero,
         i18n::MarkN("%1 reply began with a 0 byte and was not read",
                     "%1 replies began with a 0 byte and were not read")},
        {withoutMac, WithoutMac,
         i18n::MarkN("%1 reply held no MAC address", "%1 replies held no MAC address")},
    };
    std::vector<std::string> texts;
    for (const auto& line : lines) {
        if (line.count != 0) {
            const auto count = static_cast<std::uint64_t>(line.count);
            texts.push_back(i18n::Format(i18n::TrN(line.text, count), count) +
                            From(senders[static_cast<std::size_t>(line.kind)]));
        }
    }
    return texts;
}

} // namespace tcpipset
