#pragma once

#include "tools/tcpipctl/doctor/FirewallRules.h"

#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// Who keeps the rules, and so how the user is best told to change them.
enum class FirewallManager { Nftables, Firewalld, Ufw, IptablesLegacy };

// What one input base chain does to a print server's reply: an IPv4 UDP datagram from
// source port 5001 to an ephemeral port of the workstation, new to conntrack.
struct InputChainVerdict {
    std::string family; // "ip", "inet", or "iptables" for the rules of iptables-legacy
    std::string table;
    std::string chain;
    FirewallManager manager = FirewallManager::Nftables;
    bool dropPolicy = false;
    ReplyFate fate = ReplyFate::Accepted;
    // Accepted or Dropped: the chain of the rule that decided, empty for the policy.
    // CannotTell: the chain of the rule that could not be judged.
    std::string decidedIn;
    std::string undecided; // CannotTell: what that rule looks at
    // Dropped, when interfaces were named: those it drops the reply on.
    std::vector<std::string> droppingInterfaces;

    // "inet filter input", "iptables filter INPUT"
    std::string Name() const;
};

// What the programs that show the input rules printed; nothing for a program that is
// missing or was refused (they need root).
struct FirewallTexts {
    std::optional<std::string> nftJson;            // nft -j list ruleset
    std::optional<std::string> iptablesNftSave;    // iptables-nft-save
    std::optional<std::string> iptablesLegacySave; // iptables-legacy-save
    // False when there is no nft program at all: its tables are then seen only as far as
    // iptables-nft-save shows them.
    bool nftInstalled = true;

    bool AnyRead() const { return nftJson || iptablesNftSave || iptablesLegacySave; }
};

// Every base chain on the input hook of families ip and inet in `nft -j list ruleset`,
// then INPUT of the filter table in iptables-legacy-save's text. A table of family ip
// whose rules hold iptables matches or targets, and that iptables-nft-save's text lists
// too, is judged from that text instead, its INPUT named as nft names it; without nft,
// iptables-nft-save's filter table is judged as that table. Each judges on its own (an
// accept in one does not spare the reply another), for each interface of interfaceNames;
// with none named, on any interface. A text that cannot be read, or nftables' tables when
// nothing shows them, give one verdict that cannot tell, named after the program. The
// reply comes from port replyPort.
std::vector<InputChainVerdict> JudgeInputChains(const FirewallTexts& texts,
                                                const std::vector<std::string>& interfaceNames,
                                                int replyPort = DefaultReplyPort);

} // namespace tcpipset
