#pragma once

#include <string>
#include <vector>

namespace tcpipset {

// The datagrams of a discovery that added no line to the list, by why. Each may be a
// device that is there but was not listed, so none of them passes without a word, and
// each is told with who sent it.
struct UnlistedReplies {
    enum class Kind { Unreadable, Empty, FirstByteZero, WithoutMac };

    int unreadable = 0;    // the walk gave up before the end marker
    int empty = 0;         // a datagram without a byte
    int firstByteZero = 0; // a reply whose first byte is 0, which is not read
    int withoutMac = 0;    // walked to its end without a MAC item
    // Who sent each, in the order of the kinds above: its address, and the MAC where the
    // walk read one ("198.18.0.5 (020000000005)").
    std::vector<std::string> senders[4] = {};

    // Counts one datagram of that kind from sender (an address), with the MAC read if any.
    void Count(Kind kind, const std::string& sender, const std::string& mac = {});
    int Total() const { return unreadable + empty + firstByteZero + withoutMac; }
    // One line for each kind that came, in English, without the program's name: "2 replies
    // could not be read: from 198.18.0.5 (020000000005), 198.18.0.6".
    std::vector<std::string> Descriptions() const;
};

} // namespace tcpipset
