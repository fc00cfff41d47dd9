#include "tools/tcpipctl/doctor/DoctorChecks.h"

#include "tools/tcpipctl/doctor/FirewallRuleset.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace tcpipset {

namespace {

constexpr const char* ManualPointer = "see WHEN NO DEVICE IS LISTED in tcpipctl(1)";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Joined(const std::vector<std::string>& parts, const std::string& separator) {
    std::string text;
    for (const std::string& piece : parts) {
        text += (text.empty() ? "" : separator) + piece;
    }
    return text;
}

// Each manager's own way, so that the rule lasts as long as the manager's others; only
// what an installed system has, never a file of the source tree.
std::string Replies(int port) {
    return "replies from UDP port " + std::to_string(port);
}

std::string ReplyRule(const InputChainVerdict& chain, int port) {
    const std::string number = std::to_string(port);
    switch (chain.manager) {
    case FirewallManager::Ufw:
        return "sudo ufw allow proto udp from any port " + number;
    case FirewallManager::Firewalld:
        // The service that the package installs names 5001 only.
        return port == DefaultReplyPort
                   ? "sudo firewall-cmd --add-service=tcpipset, and once more with --permanent "
                     "to keep it (the service comes with tcpipset's package; without it, "
                     "--add-source-port=5001/udp)"
                   : "sudo firewall-cmd --add-source-port=" + number +
                         "/udp, and once more with --permanent to keep it";
    case FirewallManager::IptablesLegacy:
        return "sudo iptables -I INPUT -p udp --sport " + number + " -j ACCEPT";
    case FirewallManager::Nftables:
        break;
    }
    return chain.chain.empty()
               ? std::string()
               : "sudo nft insert rule " + chain.Name() + " udp sport " + number + " accept";
}

std::string ReplyRuleAdvice(const std::vector<const InputChainVerdict*>& chains, int port) {
    std::vector<std::string> rules;
    for (const InputChainVerdict* chain : chains) {
        const std::string rule = ReplyRule(*chain, port);
        if (!rule.empty() && std::ranges::find(rules, rule) == rules.end()) {
            rules.push_back(rule);
        }
    }
    return rules.empty()
               ? ManualPointer
               : "let " + Replies(port) + " in: " + Joined(rules, "; ") + "; " + ManualPointer;
}

std::string HowItDrops(const InputChainVerdict& chain, bool first, std::size_t interfacesNamed,
                       int port) {
    std::string text =
        "the input filter " + Quoted(chain.Name()) + " drops " + (first ? Replies(port) : "them");
    if (!chain.droppingInterfaces.empty() && chain.droppingInterfaces.size() < interfacesNamed) {
        text += " on " + Joined(chain.droppingInterfaces, ", ");
    }
    return text + (chain.decidedIn.empty() ? " by its policy"
                                           : " by a rule in chain " + Quoted(chain.decidedIn));
}

std::string WhyItCannotTell(const InputChainVerdict& chain, int port) {
    return "cannot tell whether the input filter " + Quoted(chain.Name()) + " lets " +
           Replies(port) + " in: " +
           (chain.decidedIn.empty()
                ? chain.undecided
                : "a rule in chain " + Quoted(chain.decidedIn) + " depends on " + chain.undecided);
}

std::string HowTheyGetIn(const std::vector<InputChainVerdict>& chains, int port) {
    // A chain counts as one that would keep them out when it drops by default, or when a
    // rule of its own had to take them.
    std::vector<const InputChainVerdict*> strict;
    for (const InputChainVerdict& chain : chains) {
        if (chain.dropPolicy || !chain.decidedIn.empty()) {
            strict.push_back(&chain);
        }
    }
    if (strict.empty()) {
        return "no input filter drops by default";
    }
    if (strict.size() == 1) {
        return "the input filter " + Quoted(strict[0]->Name()) +
               (strict[0]->dropPolicy ? " drops by default and" : "") + " lets " + Replies(port) +
               " in";
    }
    std::vector<std::string> names;
    for (const InputChainVerdict* chain : strict) {
        names.push_back(Quoted(chain->Name()));
    }
    return "each of the input filters " + Joined(names, ", ") + " lets " + Replies(port) + " in";
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

FirewallFinding ReadFirewall(const FirewallTexts& texts,
                             const std::vector<std::string>& interfaceNames, int replyPort) {
    FirewallFinding finding{{"firewall", Verdict::Ok, {}, {}}, {}};
    DoctorCheck& check = finding.check;
    if (!texts.AnyRead()) {
        check.verdict = Verdict::Warning;
        check.detail = texts.nftInstalled
                           ? "cannot read the input rules (they need root)"
                           : "cannot tell whether " + Replies(replyPort) +
                                 " get in: nft is not installed, and neither iptables-nft-save "
                                 "nor iptables-legacy-save could be read";
        check.advice = texts.nftInstalled ? "run sudo tcpipctl doctor to see them"
                                          : "run sudo tcpipctl doctor; if it still cannot tell, "
                                            "sudo apt install nftables, and run it again";
        return finding;
    }
    const std::vector<InputChainVerdict> chains =
        JudgeInputChains(texts, interfaceNames, replyPort);
    std::vector<const InputChainVerdict*> dropping;
    std::vector<const InputChainVerdict*> undecided;
    for (const InputChainVerdict& chain : chains) {
        if (chain.fate == ReplyFate::Dropped) {
            dropping.push_back(&chain);
            finding.droppingChains.push_back(chain.Name());
        } else if (chain.fate == ReplyFate::CannotTell) {
            undecided.push_back(&chain);
        }
    }
    if (!dropping.empty()) {
        check.verdict = Verdict::Problem;
        std::vector<std::string> clauses;
        for (const InputChainVerdict* chain : dropping) {
            clauses.push_back(
                HowItDrops(*chain, clauses.empty(), interfaceNames.size(), replyPort));
        }
        check.detail = Joined(clauses, "; ") +
                       ": the devices' replies come from addresses the workstation never sent "
                       "to, so they count as new traffic";
        check.advice = ReplyRuleAdvice(dropping, replyPort);
    } else if (!undecided.empty()) {
        check.verdict = Verdict::Warning;
        std::vector<std::string> clauses;
        for (const InputChainVerdict* chain : undecided) {
            clauses.push_back(WhyItCannotTell(*chain, replyPort));
        }
        check.detail = Joined(clauses, "; ");
        check.advice = ReplyRuleAdvice(undecided, replyPort);
    } else {
        check.detail = HowTheyGetIn(chains, replyPort);
        if (!texts.nftInstalled) {
            check.detail += " (nft is not installed: only the tables that iptables-nft-save and "
                            "iptables-legacy-save show were read)";
        }
    }
    return finding;
}

} // namespace tcpipset
