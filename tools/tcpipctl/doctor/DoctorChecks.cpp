#include "tools/tcpipctl/doctor/DoctorChecks.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/doctor/FirewallRuleset.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

std::string ManualPointer() {
    // TRANSLATORS: %1 is the title of a section of the manual page, which is in English.
    return Format(Tr("see %1 in tcpipctl(1)"), "WHEN NO DEVICE IS LISTED");
}

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
// what an installed system has, never a file of the source tree. The commands stay as the
// shell takes them, whatever the language around them.
std::string ReplyRule(const InputChainVerdict& chain, int port) {
    const std::string number = std::to_string(port);
    switch (chain.manager) {
    case FirewallManager::Ufw:
        return "sudo ufw allow proto udp from any port " + number;
    case FirewallManager::Firewalld:
        // The service that the package installs names 5001 only.
        return port == DefaultReplyPort
                   // TRANSLATORS: %1 is a command, %2 and %3 are its options.
                   ? Format(Tr("%1, and once more with %2 to keep it (the service comes with "
                               "tcpipset's package; without it, %3)"),
                            "sudo firewall-cmd --add-service=tcpipset", "--permanent",
                            "--add-source-port=5001/udp")
                   // TRANSLATORS: %1 is a command, %2 its option.
                   : Format(Tr("%1, and once more with %2 to keep it"),
                            "sudo firewall-cmd --add-source-port=" + number + "/udp",
                            "--permanent");
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
    return rules.empty() ? ManualPointer()
                         // TRANSLATORS: %2 is one or more commands, %3 points to the manual page.
                         : Format(Tr("let replies from UDP port %1 in: %2; %3"), port,
                                  Joined(rules, "; "), ManualPointer());
}

// The first clause names the replies; those after it, joined to it by "; ", say "them".
std::string HowItDrops(const InputChainVerdict& chain, bool first, std::size_t interfacesNamed,
                       int port) {
    const std::string how = chain.decidedIn.empty()
                                ? Tr("by its policy")
                                : Format(Tr("by a rule in chain \"%1\""), chain.decidedIn);
    const std::string name = chain.Name();
    if (!chain.droppingInterfaces.empty() && chain.droppingInterfaces.size() < interfacesNamed) {
        const std::string on = Joined(chain.droppingInterfaces, ", ");
        // TRANSLATORS: %1 names an input chain of the firewall, %3 lists interfaces, and %4
        // says how it drops them ("by its policy", "by a rule in chain ...").
        return first ? Format(Tr("the input filter \"%1\" drops replies from UDP port %2 on %3 %4"),
                              name, port, on, how)
                     // TRANSLATORS: as above, for a further chain: "them" are the replies.
                     : Format(Tr("the input filter \"%1\" drops them on %2 %3"), name, on, how);
    }
    // TRANSLATORS: %1 names an input chain of the firewall, %3 says how it drops them ("by
    // its policy", "by a rule in chain ...").
    return first ? Format(Tr("the input filter \"%1\" drops replies from UDP port %2 %3"), name,
                          port, how)
                 // TRANSLATORS: as above, for a further chain: "them" are the replies.
                 : Format(Tr("the input filter \"%1\" drops them %2"), name, how);
}

std::string WhyItCannotTell(const InputChainVerdict& chain, int port) {
    return chain.decidedIn.empty()
               // TRANSLATORS: %1 names an input chain of the firewall; %3 says what could not
               // be judged ("the named set @printers", "nft -j list ruleset could not be read").
               ? Format(Tr("cannot tell whether the input filter \"%1\" lets replies from UDP "
                           "port %2 in: %3"),
                        chain.Name(), port, chain.undecided)
               // TRANSLATORS: %1 names an input chain of the firewall, %3 a chain of its
               // rules; %4 is what that rule looks at ("the named set @printers").
               : Format(Tr("cannot tell whether the input filter \"%1\" lets replies from UDP "
                           "port %2 in: a rule in chain \"%3\" depends on %4"),
                        chain.Name(), port, chain.decidedIn, chain.undecided);
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
        return Tr("no input filter drops by default");
    }
    if (strict.size() == 1) {
        return strict[0]->dropPolicy
                   ? Format(Tr("the input filter \"%1\" drops by default and lets replies from "
                               "UDP port %2 in"),
                            strict[0]->Name(), port)
                   : Format(Tr("the input filter \"%1\" lets replies from UDP port %2 in"),
                            strict[0]->Name(), port);
    }
    std::vector<std::string> names;
    for (const InputChainVerdict* chain : strict) {
        names.push_back(Quoted(chain->Name()));
    }
    // TRANSLATORS: %1 lists input chains of the firewall, each in quotes.
    return Format(Tr("each of the input filters %1 lets replies from UDP port %2 in"),
                  Joined(names, ", "), port);
}

} // namespace

DoctorCheck RpFilterCheck(const std::string& interfaceName, int allValue, int interfaceValue,
                          bool defaultRoute) {
    DoctorCheck check{"rp_filter " + interfaceName,
                      // TRANSLATORS: the title of a check; rp_filter is the system's setting,
                      // %1 an interface.
                      Format(Tr("rp_filter %1"), interfaceName),
                      Verdict::Ok,
                      {},
                      {}};
    const int mode = std::max(allValue, interfaceValue);
    if (mode == 1) {
        check.verdict = Verdict::Warning;
        // TRANSLATORS: %1 is an interface.
        check.detail = Format(Tr("strict (1): a reply is dropped unless the route back to its "
                                 "address leaves by %1"),
                              interfaceName);
    } else if (mode == 2 && !defaultRoute) {
        check.verdict = Verdict::Warning;
        check.detail = Tr("loose (2) without a default route: a reply from an address outside "
                          "the subnets of the interfaces (a factory address) is dropped");
    } else {
        check.detail =
            mode == 0 ? Tr("off (0)") : Tr("loose (2); the default route covers every address");
        return check;
    }
    // sysctl's names use "." between their parts, so the dot of a VLAN interface's name
    // (eth0.100) is written as "/".
    std::string sysctlName = interfaceName;
    std::ranges::replace(sysctlName, '.', '/');
    // TRANSLATORS: %1 is a command.
    check.advice = Format(Tr("%1, or add an address or route for the devices' subnet"),
                          "sudo sysctl -w net.ipv4.conf.all.rp_filter=0 net.ipv4.conf." +
                              sysctlName + ".rp_filter=0");
    return check;
}

DoctorCheck ReceiveBufferCheck(std::int32_t asked, std::int32_t granted, std::size_t sockets) {
    // TRANSLATORS: the title of a check.
    DoctorCheck check{"receive buffer", Tr("receive buffer"), Verdict::Ok, {}, {}};
    // The sockets of a group each hold a buffer of that size. Each count below has one
    // English form: sockets are counted from two on, and a size stays "bytes" as it always
    // has, while a language whose words change with the number still gets its forms.
    const auto onEach = [sockets](const std::string& size) {
        // TRANSLATORS: %1 tells the size of a receive buffer; %2 counts the sockets.
        return sockets > 1 ? Format(TrN("%1, on each of %2 sockets that share the port",
                                        "%1, on each of %2 sockets that share the port", sockets),
                                    size, sockets)
                           : size;
    };
    if (asked <= 0) {
        const std::string pattern =
            TrN("the system's default, %1 bytes", "the system's default, %1 bytes",
                static_cast<std::uint64_t>(granted));
        check.detail = onEach(Format(pattern, granted));
        return check;
    }
    const std::string pattern =
        // TRANSLATORS: %1 counts the bytes asked for, %2 those granted.
        TrN("asked for %1 bytes, granted %2 (as the system counts it, twice what it holds for "
            "data)",
            "asked for %1 bytes, granted %2 (as the system counts it, twice what it holds for "
            "data)",
            static_cast<std::uint64_t>(asked));
    check.detail = onEach(Format(pattern, asked, granted));
    // The system counts what it grants double; a full grant is twice the ask, and the
    // sockets of a group hold their shares together.
    const std::int64_t held = std::int64_t{granted} * static_cast<std::int64_t>(sockets);
    if (held < 2 * std::int64_t{asked}) {
        check.verdict = Verdict::Warning;
        // TRANSLATORS: %1 is a size in bytes, %2 a file.
        check.advice = Format(Tr("replies of many devices at once may be dropped: raise "
                                 "net.core.rmem_max to %1 (the package's %2 does), or run as root"),
                              asked, "/usr/lib/sysctl.d/60-tcpipset.conf");
    }
    return check;
}

FirewallFinding ReadFirewall(const FirewallTexts& texts,
                             const std::vector<std::string>& interfaceNames, int replyPort) {
    // TRANSLATORS: the title of a check.
    FirewallFinding finding{{"firewall", Tr("firewall"), Verdict::Ok, {}, {}}, {}};
    DoctorCheck& check = finding.check;
    if (!texts.AnyRead()) {
        check.verdict = Verdict::Warning;
        check.detail = texts.nftInstalled
                           ? Tr("cannot read the input rules (they need root)")
                           : Format(Tr("cannot tell whether replies from UDP port %1 get in: nft "
                                       "is not installed, and neither iptables-nft-save nor "
                                       "iptables-legacy-save could be read"),
                                    replyPort);
        check.advice = texts.nftInstalled
                           // TRANSLATORS: %1 is a command.
                           ? Format(Tr("run %1 to see them"), "sudo tcpipctl doctor")
                           // TRANSLATORS: %1 and %2 are commands.
                           : Format(Tr("run %1; if it still cannot tell, %2, and run it again"),
                                    "sudo tcpipctl doctor", "sudo apt install nftables");
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
        // TRANSLATORS: %1 tells which input chains drop the replies, and how.
        check.detail = Format(Tr("%1: the devices' replies come from addresses the workstation "
                                 "never sent to, so they count as new traffic"),
                              Joined(clauses, "; "));
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
            // TRANSLATORS: %1 tells how the replies get in through the input chains.
            check.detail = Format(Tr("%1 (nft is not installed: only the tables that "
                                     "iptables-nft-save and iptables-legacy-save show were read)"),
                                  check.detail);
        }
    }
    return finding;
}

} // namespace tcpipset
