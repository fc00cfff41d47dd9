#pragma once

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
};

// One line of tcpipctl doctor: what was looked at, what was found and, unless it is ok,
// what to do about it.
struct DoctorCheck {
    DoctorCheck() = default;
    DoctorCheck(std::string checkName, Verdict found, std::string what, std::string todo,
                std::optional<DiscoveryFigures> counted = std::nullopt)
        : name(std::move(checkName)), verdict(found), detail(std::move(what)),
          advice(std::move(todo)), figures(std::move(counted)) {}

    std::string name;
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
// The firewall's input filters, from `nft -j list ruleset` (nftJson), iptables-nft-save's
// text (for the tables of iptables-nft, see JudgeInputChains) and iptables-legacy-save's:
// whether a print server's reply gets in on each of interfaceNames (with none named, on
// any interface). readable is false when none could be read (not root, or no such tool).
struct FirewallFinding {
    DoctorCheck check;
    std::vector<std::string> droppingChains; // "inet filter input", "iptables filter INPUT"
};
FirewallFinding ReadFirewall(const std::string& nftJson, const std::string& iptablesNftSave,
                             const std::string& iptablesLegacySave, bool readable,
                             const std::vector<std::string>& interfaceNames);

} // namespace tcpipset
