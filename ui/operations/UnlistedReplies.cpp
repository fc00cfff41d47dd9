#include "ui/operations/UnlistedReplies.h"

namespace tcpipset {

namespace {

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + (count == 1 ? one : many);
}

} // namespace

std::vector<std::string> UnlistedReplies::Descriptions() const {
    std::vector<std::string> lines;
    if (unreadable != 0) {
        lines.push_back(
            Counted(unreadable, " reply could not be read", " replies could not be read"));
    }
    if (empty != 0) {
        lines.push_back(
            Counted(empty, " empty datagram added no device", " empty datagrams added no device"));
    }
    if (firstByteZero != 0) {
        lines.push_back(Counted(firstByteZero, " reply began with a 0 byte and was not read",
                                " replies began with a 0 byte and were not read"));
    }
    if (withoutMac != 0) {
        lines.push_back(
            Counted(withoutMac, " reply held no MAC address", " replies held no MAC address"));
    }
    return lines;
}

} // namespace tcpipset
