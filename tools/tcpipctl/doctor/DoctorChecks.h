#pragma once

#include "tools/tcpipctl/doctor/FirewallRuleset.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tcpipset {

enum class Verdict { Ok, Warning, Problem };

// What a discovery on one interface met: the replies that reached the interface (nothing
// when they could not be captured), those the program received, and who sent them.
struct DiscoveryFigures {
    std::string interfaceName;
    std::optional<std::size_t> wire;
    std::size_t delivered = 0;
    std::vector<std::string> senders;
    // Devices whose ARP request for the workstation's address went unanswered.
    std::vector<std::string> unansweredArp;
};

// One line of tcpipctl doctor: what was looked at, what was found and, unless it is ok,
// what to do about it. The name is the check's English one, which scripts read in --json;
// the title is the same in the reader's language, for the line a person reads.
struct DoctorCheck {
    DoctorCheck() = default;
    DoctorCheck(std::string checkName, std::string shownTitle, Verdict found, std::string what,
                std::string todo, std::optional<DiscoveryFigures> counted = std::nullopt)
        : name(std::move(checkName)), title(std::move(shownTitle)), verdict(found),
          detail(std::move(what)), advice(std::move(todo)), figures(std::move(counted)) {}

    std::string name;
    std::string title = {};
    Verdict verdict = Verdict::Ok;
    std::string detail;
    std::string advice;
    std::optional<DiscoveryFigures> figures;
};

// The verdicts that need no network, from what the system shows as text, so that each rule
// can be tried on any text.

// rp_filter of an interface (the larger of "all" and the interface's own value counts).
DoctorCheck RpFilterCheck(const std::string& interfaceName, int allValue, int interfaceValue,
                          bool defaultRoute);
// The receive buffer: bytes asked for (0: none asked) against bytes granted as the system
// counts them (twice the usable size), on each of the sockets that share the port.
DoctorCheck ReceiveBufferCheck(std::int32_t asked, std::int32_t granted, std::size_t sockets);
// The firewall's input filters, from what nft, iptables-nft-save and iptables-legacy-save
// printed (see JudgeInputChains): whether a print server's reply from port replyPort gets
// in on each of interfaceNames (with none named, on any interface).
struct FirewallFinding {
    DoctorCheck check;
    std::vector<std::string> droppingChains; // "inet filter input", "iptables filter INPUT"
};
FirewallFinding ReadFirewall(const FirewallTexts& texts,
                             const std::vector<std::string>& interfaceNames,
                             int replyPort = DefaultReplyPort);

} // namespace tcpipset
