#include "tools/tcpipctl/DoctorChecks.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace tcpipset {

namespace {

// Only what an installed system has: the rule inline, the firewalld service that the
// package ships, and the manual page.
constexpr const char* ReplyRuleAdvice =
    "let replies from UDP port 5001 in: sudo nft insert rule inet filter input udp sport 5001 "
    "accept (nftables; the same in every input chain that drops), "
    "sudo ufw allow proto udp from any port 5001 (ufw), or "
    "sudo firewall-cmd --add-service=tcpipset (firewalld, with the package's service; "
    "without it --add-source-port=5001/udp); see WHEN NO DEVICE IS LISTED in tcpipctl(1)";

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Trimmed(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
}

// What the nftables rules do to an unasked-for reply from UDP port 5001: whether some
// input chain drops by default (or ends in a bare drop or reject), and whether a rule lets
// such replies in.
struct InputFilter {
    std::string droppingChain;
    bool repliesAccepted = false;
};

InputFilter ReadNftRuleset(const std::string& ruleset) {
    InputFilter filter;
    std::istringstream lines(ruleset);
    std::string table;
    std::string chain;
    bool inputChain = false;
    for (std::string raw; std::getline(lines, raw);) {
        const std::string line = Trimmed(raw);
        if (line.starts_with("table ")) {
            table = line.substr(6, line.find(" {") - 6);
        } else if (line.starts_with("chain ")) {
            chain = line.substr(6, line.find(" {") - 6);
            inputChain = false;
        } else if (Contains(line, "hook input")) {
            inputChain = true;
            if (Contains(line, "policy drop") && filter.droppingChain.empty()) {
                filter.droppingChain = "\"" + table + " " + chain + "\"";
            }
        } else if (inputChain && (line == "drop" || line.starts_with("reject")) &&
                   filter.droppingChain.empty()) {
            filter.droppingChain = "\"" + table + " " + chain + "\"";
        } else if (Contains(line, "udp sport 5001") && Contains(line, "accept")) {
            filter.repliesAccepted = true;
        }
    }
    return filter;
}

InputFilter ReadIptablesSave(const std::string& rules) {
    InputFilter filter;
    std::istringstream lines(rules);
    for (std::string raw; std::getline(lines, raw);) {
        const std::string line = Trimmed(raw);
        if (line.starts_with(":INPUT DROP") || line.starts_with(":INPUT REJECT")) {
            filter.droppingChain = "\"iptables INPUT\"";
        } else if (line.starts_with("-A INPUT") &&
                   (line.ends_with("-j DROP") || Contains(line, "-j REJECT")) &&
                   !Contains(line, " -p ") && filter.droppingChain.empty()) {
            filter.droppingChain = "\"iptables INPUT\"";
        } else if (Contains(line, "--sport 5001") && Contains(line, "-j ACCEPT")) {
            filter.repliesAccepted = true;
        }
    }
    return filter;
}

} // namespace

DoctorCheck RpFilterCheck(const std::string& interfaceName, int allValue, int interfaceValue,
                          bool defaultRoute) {
    DoctorCheck check{"rp_filter " + interfaceName, Verdict::Ok, {}, {}};
    const int mode = std::max(allValue, interfaceValue);
    if (mode == 1) {
        check.verdict = Verdict::Warning;
        check.detail = "strict (1): a reply is dropped unless the route back to its address "
                       "leaves by " +
                       interfaceName;
    } else if (mode == 2 && !defaultRoute) {
        check.verdict = Verdict::Warning;
        check.detail = "loose (2) without a default route: a reply from an address outside "
                       "the subnets of the interfaces (a factory address) is dropped";
    } else {
        check.detail = mode == 0 ? "off (0)" : "loose (2); the default route covers every address";
        return check;
    }
    // sysctl's names use "." between their parts, so the dot of a VLAN interface's name
    // (eth0.100) is written as "/".
    std::string sysctlName = interfaceName;
    std::ranges::replace(sysctlName, '.', '/');
    check.advice = "sudo sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." + sysctlName +
                   ".rp_filter=0, or add an address or route for the devices' "
                   "subnet";
    return check;
}

DoctorCheck ReceiveBufferCheck(std::int32_t asked, std::int32_t granted, std::size_t sockets) {
    DoctorCheck check{"receive buffer", Verdict::Ok, {}, {}};
    const std::string shared =
        sockets > 1 ? ", on each of " + std::to_string(sockets) + " sockets that share the port"
                    : "";
    if (asked <= 0) {
        check.detail = "the system's default, " + std::to_string(granted) + " bytes" + shared;
        return check;
    }
    check.detail = "asked for " + std::to_string(asked) + " bytes, granted " +
                   std::to_string(granted) + " (as the system counts it, twice what it holds " +
                   "for data)" + shared;
    // The system counts what it grants double; a full grant is twice the ask, and the
    // sockets of a group hold their shares together.
    const std::int64_t held = std::int64_t{granted} * static_cast<std::int64_t>(sockets);
    if (held < 2 * std::int64_t{asked}) {
        check.verdict = Verdict::Warning;
        check.advice = "replies of many devices at once may be dropped: raise net.core.rmem_max "
                       "to " +
                       std::to_string(asked) +
                       " (the package's /usr/lib/sysctl.d/60-tcpipset.conf does), or run as root";
    }
    return check;
}

DoctorCheck FirewallCheck(const std::string& nftRuleset, const std::string& iptablesSave,
                          bool readable) {
    DoctorCheck check{"firewall", Verdict::Ok, {}, {}};
    if (!readable) {
        check.verdict = Verdict::Warning;
        check.detail = "cannot read the input rules (they need root)";
        check.advice = "run sudo tcpipctl doctor to see them";
        return check;
    }
    InputFilter filter = ReadNftRuleset(nftRuleset);
    const InputFilter legacy = ReadIptablesSave(iptablesSave);
    if (filter.droppingChain.empty()) {
        filter.droppingChain = legacy.droppingChain;
    }
    filter.repliesAccepted = filter.repliesAccepted || legacy.repliesAccepted;
    if (filter.droppingChain.empty()) {
        check.detail = "no input filter drops by default";
    } else if (filter.repliesAccepted) {
        check.detail = "the input filter " + filter.droppingChain +
                       " drops by default and lets replies from UDP port 5001 in";
    } else {
        check.verdict = Verdict::Problem;
        check.detail = "the input filter " + filter.droppingChain +
                       " drops what the workstation did not ask for, and the devices' replies "
                       "come from addresses it never sent to";
        check.advice = ReplyRuleAdvice;
    }
    return check;
}

} // namespace tcpipset
