#include "tools/tcpipctl/FirewallRuleset.h"

#include "tools/tcpipctl/IptablesSaveRules.h"
#include "tools/tcpipctl/NftJsonRules.h"

#include <algorithm>

namespace tcpipset {

namespace {

// firewalld keeps its rules in a table of its own; ufw's chains are named ufw-..., in
// iptables-legacy or, through iptables-nft, in nftables' table ip filter.
FirewallManager ManagerOf(const RuleTable& table) {
    if (table.name == "firewalld") {
        return FirewallManager::Firewalld;
    }
    if (std::ranges::any_of(table.chains,
                            [](const auto& chain) { return chain.first.starts_with("ufw-"); })) {
        return FirewallManager::Ufw;
    }
    return table.family == "iptables" ? FirewallManager::IptablesLegacy : FirewallManager::Nftables;
}

InputChainVerdict Judge(const RuleTable& table, const std::string& chain,
                        const std::vector<std::string>& interfaceNames) {
    InputChainVerdict verdict;
    verdict.family = table.family;
    verdict.table = table.name;
    verdict.chain = chain;
    verdict.manager = ManagerOf(table);
    verdict.dropPolicy = table.chains.at(chain).dropPolicy;
    std::vector<ChainFate> fates;
    if (interfaceNames.empty()) {
        fates.push_back(FollowReply(table, chain, nullptr));
    }
    for (const std::string& name : interfaceNames) {
        fates.push_back(FollowReply(table, chain, &name));
        if (fates.back().fate == ReplyFate::Dropped) {
            verdict.droppingInterfaces.push_back(name);
        }
    }
    const ChainFate& worst = *std::ranges::max_element(
        fates, {}, [](const ChainFate& fate) { return Severity(fate.fate); });
    verdict.fate = worst.fate;
    verdict.decidedIn = worst.chain;
    verdict.undecided = worst.matter;
    return verdict;
}

void JudgeTable(const RuleTable& table, const std::vector<std::string>& interfaceNames,
                std::vector<InputChainVerdict>& verdicts) {
    for (const std::string& chain : table.inputChains) {
        verdicts.push_back(Judge(table, chain, interfaceNames));
    }
}

} // namespace

std::string InputChainVerdict::Name() const {
    std::string name = family;
    for (const std::string* piece : {&table, &chain}) {
        if (!piece->empty()) {
            name += " " + *piece;
        }
    }
    return name;
}

std::vector<InputChainVerdict> JudgeInputChains(const std::string& nftJson,
                                                const std::string& iptablesNftSave,
                                                const std::string& iptablesLegacySave,
                                                const std::vector<std::string>& interfaceNames) {
    std::vector<InputChainVerdict> verdicts;
    if (const auto tables = ReadNftJson(nftJson)) {
        for (const RuleTable& table : *tables) {
            // nft's JSON leaves out the options of iptables' own matches (ufw's rules on
            // Debian 12); iptables-nft-save writes them out.
            auto saved = table.family == "ip" && table.iptablesCompat
                             ? ReadIptablesSave(iptablesNftSave, table.name)
                             : std::nullopt;
            if (saved) {
                saved->family = table.family;
            }
            JudgeTable(saved ? *saved : table, interfaceNames, verdicts);
        }
    } else {
        InputChainVerdict unreadable;
        unreadable.family = "nftables";
        unreadable.fate = ReplyFate::CannotTell;
        unreadable.undecided = "the output of nft -j list ruleset is not JSON";
        verdicts.push_back(std::move(unreadable));
    }
    if (const auto legacy = ReadIptablesSave(iptablesLegacySave)) {
        JudgeTable(*legacy, interfaceNames, verdicts);
    }
    return verdicts;
}

} // namespace tcpipset
