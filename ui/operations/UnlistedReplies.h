#pragma once

#include <string>
#include <vector>

namespace tcpipset {

// The datagrams of a discovery that added no line to the list, by why. Each may be a
// device that is there but was not listed, so none of them passes without a word.
struct UnlistedReplies {
    int unreadable = 0;    // the walk gave up before the end marker
    int empty = 0;         // a datagram without a byte
    int firstByteZero = 0; // a reply whose first byte is 0, which is not read
    int withoutMac = 0;    // walked to its end without a MAC item

    int Total() const { return unreadable + empty + firstByteZero + withoutMac; }
    // One line for each kind that came, in English, without the program's name: "2 replies
    // could not be read".
    std::vector<std::string> Descriptions() const;
};

} // namespace tcpipset
