#pragma once

#include <map>
#include <string>
#include <vector>

namespace tcpipset {

// The input rules of one table, reduced to what they do to a print server's reply: an IPv4
// UDP datagram from the devices' port (5001) to the workstation's own address and an ephemeral
// port, which conntrack sees as new. Everything about it is known but the interface it
// comes in on, so each match is judged once, when the rules are read, except an interface
// match, which is judged for each interface.

enum class Judgement { Matches, DoesNotMatch, CannotTell, DependsOnInterface };

struct Condition {
    Judgement judgement = Judgement::CannotTell;
    // CannotTell: what the rule looks at, as the user is told ("the named set @printers").
    std::string matter;
    // DependsOnInterface: the names matched, a trailing unescaped * standing for any rest.
    std::vector<std::string> interfaces;
    bool negated = false;
};

enum class Action { None, Accept, Drop, Jump, Goto, Return, CannotTell };

struct Rule {
    std::vector<Condition> conditions; // all must hold; those that always do are left out
    Action action = Action::None;
    std::string target; // Jump and Goto: the chain; CannotTell: what the action is
};

struct RuleChain {
    std::vector<Rule> rules;
    bool dropPolicy = false; // base chains only
};

struct RuleTable {
    std::string family; // "ip" or "inet" for nftables, "iptables" for iptables-legacy
    std::string name;
    std::map<std::string, RuleChain> chains;
    std::vector<std::string> inputChains; // its base chains on the input hook
    // nftables: a rule holds an iptables match or target whose options nft's JSON leaves
    // out, as iptables-nft writes them.
    bool iptablesCompat = false;
};

enum class ReplyFate { Accepted, Dropped, CannotTell };

struct ChainFate {
    ReplyFate fate = ReplyFate::CannotTell;
    // The chain of the rule that decided (or, for CannotTell, of the rule that could not be
    // judged); empty when the base chain's policy decided.
    std::string chain;
    std::string matter; // CannotTell: what could not be judged
};

// Dropped counts worse than CannotTell, and CannotTell worse than Accepted.
int Severity(ReplyFate fate);

// What is known of the reply, for the readers of rules. The devices answer from the port
// the requests went to: 5001 unless --port says otherwise.
constexpr int DefaultReplyPort = 5001;
Condition Surely(bool matches);
Condition CannotJudge(std::string matter);
// Whether a source port range [low, high] holds the reply's port replyPort, and whether a
// destination port range holds the workstation's ephemeral port (surely when it spans 1024
// to 65535).
Judgement SourcePortIn(int replyPort, int low, int high);
Judgement EphemeralPortIn(int low, int high);
// Whether the reply's destination, the workstation's own unicast address, could lie in
// address/prefixLength (IPv4 text).
Judgement DestinationIn(const std::string& address, int prefixLength);
// Whether an iptables target lets the rules go on (LOG, MARK...).
bool IptablesTargetPasses(const std::string& target);

// Whether interfaceName matches one pattern of an interface condition.
bool InterfaceMatches(const std::string& pattern, const std::string& interfaceName);

// What the input base chain inputChain of table does to the reply arriving on
// interfaceName; nullptr: on an interface not known, where an interface match other than
// lo may go either way and the worse outcome counts.
ChainFate FollowReply(const RuleTable& table, const std::string& inputChain,
                      const std::string* interfaceName);

} // namespace tcpipset
