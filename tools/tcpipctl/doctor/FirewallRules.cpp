#include "tools/tcpipctl/doctor/FirewallRules.h"

#include "i18n/Translate.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdint>
#include <optional>
#include <set>
#include <utility>

namespace tcpipset {

namespace {

// nftables refuses loops and nests jumps 16 deep; iptables refuses loops too. Rules read
// from elsewhere may not keep to that, and a walk that splits at every rule it cannot judge
// must end all the same.
constexpr std::size_t DepthLimit = 64;
constexpr std::size_t StepLimit = 200000;

class ReplyWalk {
public:
    ReplyWalk(const RuleTable& table, const std::string* interfaceName)
        : table_(table), interfaceName_(interfaceName) {}

    ChainFate FromBaseChain(const std::string& name) {
        const auto chain = table_.chains.find(name);
        if (chain == table_.chains.end()) {
            return {ReplyFate::CannotTell, name, i18n::Tr("a chain that is not listed")};
        }
        base_ = &chain->second;
        return Run({{&chain->first, &chain->second, 0}});
    }

private:
    struct Frame {
        const std::string* name;
        const RuleChain* chain;
        std::size_t next;
    };
    using Frames = std::vector<Frame>;

    ChainFate Policy() const {
        return {base_->dropPolicy ? ReplyFate::Dropped : ReplyFate::Accepted, {}, {}};
    }

    using Key = std::vector<std::pair<const RuleChain*, std::size_t>>;

    // A rule passed by that may have acted, followed the way it acts once the way it does
    // not is known: that way, which the acting one often joins again, is remembered then.
    struct Fork {
        std::optional<ChainFate> acted; // when acting decides at once
        Frames acting;                  // otherwise, where acting leads
        Judgement judgement;
        std::string chain;
        std::string matter;
        Key rest; // where the walk went on without it
    };

    static Key KeyOf(const Frames& frames) {
        Key key;
        key.reserve(frames.size());
        for (const Frame& frame : frames) {
            key.emplace_back(frame.chain, frame.next);
        }
        return key;
    }

    ChainFate TooMany(const Frames& frames) const {
        return {ReplyFate::CannotTell, frames.empty() ? std::string() : *frames.back().name,
                i18n::Tr("more rules than can be followed")};
    }

    // Runs the rules from the top frame on, returning from chains as they end. A rule that
    // may or may not act is followed both ways, the way it does not in this loop, so that a
    // long run of such rules does not nest.
    ChainFate Run(Frames frames) {
        std::vector<Fork> forks;
        ChainFate fate = Policy();
        while (!frames.empty()) {
            if (++steps_ > StepLimit) {
                fate = TooMany(frames);
                break;
            }
            Frame& top = frames.back();
            if (top.next == top.chain->rules.size()) {
                frames.pop_back();
                continue;
            }
            const Rule& rule = top.chain->rules[top.next++];
            const std::string& chainName = *top.name;
            std::string matter;
            const Judgement judgement = Judge(rule, matter);
            if (judgement == Judgement::DoesNotMatch || rule.action == Action::None) {
                continue;
            }
            if (judgement == Judgement::Matches) {
                if (auto decided = Apply(rule, chainName, frames)) {
                    fate = *decided;
                    break;
                }
                continue;
            }
            Frames acting = frames;
            std::optional<ChainFate> acted = Apply(rule, chainName, acting);
            forks.push_back(
                {std::move(acted), std::move(acting), judgement, chainName, matter, KeyOf(frames)});
            if (const auto known = memo_.find(forks.back().rest); known != memo_.end()) {
                fate = known->second;
                break;
            }
        }
        for (auto fork = forks.rbegin(); fork != forks.rend(); ++fork) {
            memo_.emplace(std::move(fork->rest), fate);
            const ChainFate ifActing =
                fork->acted ? *fork->acted : Remembered(std::move(fork->acting));
            fate = Joined(*fork, ifActing, fate);
        }
        return fate;
    }

    static ChainFate Joined(const Fork& fork, const ChainFate& ifActing, const ChainFate& ifNot) {
        if (fork.judgement == Judgement::DependsOnInterface) {
            // On one interface or another: the worse counts.
            return Severity(ifActing.fate) > Severity(ifNot.fate) ? ifActing : ifNot;
        }
        if (ifActing.fate == ifNot.fate) {
            return ifNot;
        }
        return {ReplyFate::CannotTell, fork.chain, fork.matter};
    }

    // Where the walk forks, the same rest is often reached again along another way.
    ChainFate Remembered(Frames frames) {
        const Key key = KeyOf(frames);
        if (const auto known = memo_.find(key); known != memo_.end()) {
            return known->second;
        }
        if (nesting_ >= DepthLimit) {
            return TooMany(frames);
        }
        ++nesting_;
        ChainFate fate = Run(std::move(frames));
        --nesting_;
        memo_.emplace(key, fate);
        return fate;
    }

    // The action of a rule that acts; a fate when it decides.
    std::optional<ChainFate> Apply(const Rule& rule, const std::string& chainName,
                                   Frames& frames) const {
        switch (rule.action) {
        case Action::None:
            return std::nullopt;
        case Action::Accept:
            return ChainFate{ReplyFate::Accepted, chainName, {}};
        case Action::Drop:
            return ChainFate{ReplyFate::Dropped, chainName, {}};
        case Action::CannotTell:
            return ChainFate{ReplyFate::CannotTell, chainName, rule.target};
        case Action::Return:
            frames.pop_back();
            return std::nullopt;
        case Action::Jump:
        case Action::Goto:
            break;
        }
        const auto target = table_.chains.find(rule.target);
        if (target == table_.chains.end()) {
            const std::string pattern =
                // TRANSLATORS: what could not be judged; %1 is a chain of the rules.
                i18n::Tr("a jump to chain \"%1\", which is not listed");
            return ChainFate{ReplyFate::CannotTell, chainName, i18n::Format(pattern, rule.target)};
        }
        if (rule.action == Action::Goto) {
            frames.back() = {&target->first, &target->second, 0};
        } else if (frames.size() >= DepthLimit) {
            return ChainFate{ReplyFate::CannotTell, chainName,
                             i18n::Tr("jumps nested deeper than can be followed")};
        } else {
            frames.push_back({&target->first, &target->second, 0});
        }
        return std::nullopt;
    }

    Judgement Judge(const Rule& rule, std::string& matter) const {
        Judgement judgement = Judgement::Matches;
        for (const Condition& condition : rule.conditions) {
            Judgement one = condition.judgement;
            if (one == Judgement::DependsOnInterface) {
                one = JudgeInterface(condition);
            }
            if (one == Judgement::DoesNotMatch) {
                return one;
            }
            if (one == Judgement::CannotTell && judgement != Judgement::CannotTell) {
                judgement = one;
                matter = condition.matter;
            } else if (one == Judgement::DependsOnInterface && judgement == Judgement::Matches) {
                judgement = one;
            }
        }
        return judgement;
    }

    Judgement JudgeInterface(const Condition& condition) const {
        const auto on = [&](const std::string& name) {
            return std::ranges::any_of(condition.interfaces, [&](const std::string& pattern) {
                return InterfaceMatches(pattern, name);
            });
        };
        bool matches = false;
        if (interfaceName_ != nullptr) {
            matches = on(*interfaceName_);
        } else if (std::ranges::all_of(condition.interfaces,
                                       [](const std::string& p) { return p == "lo"; })) {
            // Replies come in over a network interface, never over lo.
            matches = false;
        } else {
            return Judgement::DependsOnInterface;
        }
        return matches != condition.negated ? Judgement::Matches : Judgement::DoesNotMatch;
    }

    const RuleTable& table_;
    const std::string* interfaceName_;
    const RuleChain* base_ = nullptr;
    std::size_t steps_ = 0;
    std::size_t nesting_ = 0;
    std::map<Key, ChainFate> memo_;
};

} // namespace

int Severity(ReplyFate fate) {
    switch (fate) {
    case ReplyFate::Accepted:
        return 0;
    case ReplyFate::CannotTell:
        return 1;
    case ReplyFate::Dropped:
        break;
    }
    return 2;
}

Condition Surely(bool matches) {
    return {matches ? Judgement::Matches : Judgement::DoesNotMatch, {}, {}, false};
}

Condition CannotJudge(std::string matter) {
    return {Judgement::CannotTell, std::move(matter), {}, false};
}

Judgement SourcePortIn(int replyPort, int low, int high) {
    return low <= replyPort && replyPort <= high ? Judgement::Matches : Judgement::DoesNotMatch;
}

Judgement EphemeralPortIn(int low, int high) {
    // The workstation's port is one the system picks from ip_local_port_range (32768 to
    // 60999 by default), or one given with --local-port: never below 1024 unless the user
    // insists as root.
    constexpr int FirstUnprivilegedPort = 1024;
    constexpr int LastPort = 65535;
    if (high < FirstUnprivilegedPort) {
        return Judgement::DoesNotMatch;
    }
    return low <= FirstUnprivilegedPort && high >= LastPort ? Judgement::Matches
                                                            : Judgement::CannotTell;
}

Judgement DestinationIn(const std::string& address, int prefixLength) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        return Judgement::CannotTell;
    }
    // The replies go to the workstation's unicast address: never to a multicast address
    // or to the limited broadcast.
    const std::uint32_t value = ntohl(parsed.s_addr);
    const bool multicast = (value >> 28) == 0xE && prefixLength >= 4;
    const bool broadcast = value == 0xFFFFFFFF && prefixLength == 32;
    return multicast || broadcast ? Judgement::DoesNotMatch : Judgement::CannotTell;
}

bool IptablesTargetPasses(const std::string& target) {
    static const std::set<std::string> passing = {
        "LOG",         "NFLOG",  "ULOG",    "MARK", "CONNMARK", "SECMARK",
        "CONNSECMARK", "TCPMSS", "TOS",     "DSCP", "CLASSIFY", "AUDIT",
        "TRACE",       "CT",     "NOTRACK", "TTL",  "CHECKSUM"};
    return passing.contains(target);
}

bool InterfaceMatches(const std::string& pattern, const std::string& interfaceName) {
    if (pattern.ends_with('*') && !pattern.ends_with("\\*")) {
        return interfaceName.starts_with(pattern.substr(0, pattern.size() - 1));
    }
    std::string literal = pattern;
    if (literal.ends_with("\\*")) {
        literal.erase(literal.size() - 2, 1);
    }
    return literal == interfaceName;
}

ChainFate FollowReply(const RuleTable& table, const std::string& inputChain,
                      const std::string* interfaceName) {
    return ReplyWalk(table, interfaceName).FromBaseChain(inputChain);
}

} // namespace tcpipset
