#pragma once

// What the POSIX stack's calls share: the error kept per thread, lengths checked against
// the caller's bytes, and the control messages that come with a datagram.

#include "transport/IdSocketTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>

namespace tcpipset::posix {

// Keeps the Windows Sockets number as the thread's last error; returns -1, as the failed
// call does.
std::int32_t Fail(std::int32_t winsockError);
std::int32_t FailFromErrno();
std::int32_t LastError();

// Lengths beyond the span are cut to it, so no call reads or writes past the caller's
// bytes; a negative length is an invalid argument.
std::optional<std::size_t> ClampLength(std::int32_t length, std::size_t available);

// Room for the control messages of a datagram: its interface and, on receipt, the
// system's count of datagrams it dropped on the socket so far and its arrival time.
struct alignas(cmsghdr) PacketInfoControl {
    std::array<char, CMSG_SPACE(sizeof(in_pktinfo)) + CMSG_SPACE(sizeof(std::uint32_t)) +
                         CMSG_SPACE(sizeof(timespec))>
        bytes{};
    char* data() { return bytes.data(); }
    static constexpr std::size_t size() { return sizeof bytes; }
};

// The value of the control message of that level and type that came with a datagram; a
// value-initialised one when none came.
template <class Value>
Value ControlValue(const msghdr& message, int level, int type) {
    for (const cmsghdr* cmsg = CMSG_FIRSTHDR(&message); cmsg != nullptr;
         cmsg = CMSG_NXTHDR(const_cast<msghdr*>(&message), const_cast<cmsghdr*>(cmsg))) {
        if (cmsg->cmsg_level == level && cmsg->cmsg_type == type) {
            Value value{};
            std::memcpy(&value, CMSG_DATA(cmsg), sizeof value);
            return value;
        }
    }
    return {};
}

} // namespace tcpipset::posix
