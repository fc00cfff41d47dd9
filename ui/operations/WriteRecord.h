#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// An IP address, subnet mask and gateway as texts.
struct AddressValues {
    std::string address;
    std::string mask;
    std::string gateway;
    bool operator==(const AddressValues&) const = default;
};

enum class WriteKind { Set, Restart };

// How a request that left the program ended. A set or restart refused or cancelled before
// it was sent wrote nothing and has no outcome.
enum class WriteOutcome {
    Updated,         // set: the reply holds the new address, mask and gateway
    NotUpdated,      // set: a reply came, without the new values
    NoReply,         // set: nothing came within the receive time-out
    UnreadableReply, // set: the reply could not be read to its end
    Sent,            // restart: the device is never asked to confirm one
    Error            // the send or the receive failed; the record's error says why
};

// One set or restart request that left the program, as an administrator reads it later:
// who sent it, to which device, from which values to which, and how it ended. Every member
// has an initializer, so that a record may be written naming only the fields it has.
struct WriteRecord {
    WriteKind kind = WriteKind::Set;
    std::string user{};     // the login name of the real user id
    std::string sudoUser{}; // who ran the program through sudo; empty otherwise
    std::string mac{};      // the line that names the device
    // The interfaces the request left on; empty: wherever the system routed it.
    std::vector<std::string> interfaces{};
    // What the device last reported of itself: in its reply to its line's last query, when
    // one device answered, or to a set since; none when that is not known.
    std::optional<AddressValues> old{};
    AddressValues requested{};
    std::optional<AddressValues> reply{}; // a set's reply, when read to its end
    WriteOutcome outcome = WriteOutcome::Sent;
    std::string error{};
};

// Where the operations put the record of each request that writes to a device.
class WriteLog {
public:
    virtual ~WriteLog() = default;
    virtual void Record(const WriteRecord& record) = 0;
};

} // namespace tcpipset
