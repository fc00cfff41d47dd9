#include "ui/operations/WriteRecordLine.h"

#include <algorithm>
#include <string_view>

namespace tcpipset {

namespace {

bool Plain(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._,/:@+-").find(c) != std::string_view::npos;
}

std::string Escaped(unsigned char c) {
    switch (c) {
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        static constexpr char digits[] = "0123456789ABCDEF";
        return {'\\', 'x', digits[c >> 4], digits[c & 0x0F]};
    }
    return std::string(1, static_cast<char>(c));
}

std::string Value(std::string_view text) {
    if (!text.empty() && std::ranges::all_of(text, Plain)) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += Escaped(static_cast<unsigned char>(c));
    }
    return quoted + '"';
}

std::string Values(const AddressValues& values) {
    return Value(values.address + '/' + values.mask + '/' + values.gateway);
}

std::string Interfaces(const std::vector<std::string>& names) {
    if (names.empty()) {
        return "any";
    }
    std::string joined;
    for (const auto& name : names) {
        joined += (joined.empty() ? "" : ",") + name;
    }
    return Value(joined);
}

const char* OutcomeName(WriteOutcome outcome) {
    switch (outcome) {
    case WriteOutcome::Updated:
        return "updated";
    case WriteOutcome::NotUpdated:
        return "not-updated";
    case WriteOutcome::NoReply:
        return "no-reply";
    case WriteOutcome::UnreadableReply:
        return "unreadable-reply";
    case WriteOutcome::Sent:
        return "sent";
    case WriteOutcome::Error:
        break;
    }
    return "error";
}

} // namespace

std::string WriteRecordLine(const WriteRecord& record) {
    std::string line = record.kind == WriteKind::Set ? "set" : "restart";
    line += " mac=" + Value(record.mac) + " interface=" + Interfaces(record.interfaces) +
            " user=" + Value(record.user);
    if (!record.sudoUser.empty()) {
        line += " sudo_user=" + Value(record.sudoUser);
    }
    line += " old=" + (record.old ? Values(*record.old) : "unknown");
    line += " new=" + Values(record.requested);
    if (record.reply) {
        line += " reply=" + Values(*record.reply);
    }
    line += std::string(" outcome=") + OutcomeName(record.outcome);
    if (record.outcome == WriteOutcome::Error) {
        line += " error=" + Value(record.error);
    }
    return line;
}

} // namespace tcpipset
