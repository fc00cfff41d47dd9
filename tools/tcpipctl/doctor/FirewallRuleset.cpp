#include "tools/tcpipctl/doctor/FirewallRuleset.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/doctor/IptablesSaveRules.h"
#include "tools/tcpipctl/doctor/NftJsonRules.h"

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

InputChainVerdict Unjudged(std::string why) {
    InputChainVerdict unjudged;
    unjudged.family = "nftables";
    unjudged.fate = ReplyFate::CannotTell;
    unjudged.undecided = std::move(why);
    return unjudged;
}

// The tables of nftables as nft -j shows them, each of iptables-nft's judged from
// iptables-nft-save's text where that lists it.
void JudgeNftTables(const std::string& nftJson, const std::string& iptablesNftSave,
                    const std::vector<std::string>& interfaceNames, int replyPort,
                    std::vector<InputChainVerdict>& verdicts) {
    const auto tables = ReadNftJson(nftJson, replyPort);
    if (!tables) {
        const std::string pattern =
            // TRANSLATORS: %1 is a command.
            i18n::Tr("the output of %1 is not JSON");
        verdicts.push_back(Unjudged(i18n::Format(pattern, "nft -j list ruleset")));
        return;
    }
    for (const RuleTable& table : *tables) {
        // nft's JSON leaves out the options of iptables' own matches (ufw's rules on
        // Debian 12); iptables-nft-save writes them out.
        auto saved = table.family == "ip" && table.iptablesCompat
                         ? ReadIptablesSave(iptablesNftSave, table.name, replyPort)
                         : std::nullopt;
        if (saved) {
            saved->family = table.family;
        }
        JudgeTable(saved ? *saved : table, interfaceNames, verdicts);
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

std::vector<InputChainVerdict> JudgeInputChains(const FirewallTexts& texts,
                                                const std::vector<std::string>& interfaceNames,
                                                int replyPort) {
    std::vector<InputChainVerdict> verdicts;
    if (texts.nftJson) {
        JudgeNftTables(*texts.nftJson, texts.iptablesNftSave.value_or(""), interfaceNames,
                       replyPort, verdicts);
    } else if (texts.nftInstalled) {
        const std::string pattern =
            // TRANSLATORS: %1 is a command.
            i18n::Tr("%1 could not be read");
        verdicts.push_back(Unjudged(i18n::Format(pattern, "nft -j list ruleset")));
    } else if (texts.iptablesNftSave) {
        // Without nft, iptables-nft's own tables (ufw's on Debian 12) are still shown by
        // iptables-nft-save; it names them as nft would.
        if (auto saved = ReadIptablesSave(*texts.iptablesNftSave, "filter", replyPort)) {
            saved->family = "ip";
            JudgeTable(*saved, interfaceNames, verdicts);
        }
    } else {
        verdicts.push_back(
            Unjudged(i18n::Tr("nft is not installed and iptables-nft-save could not be read, so "
                              "nothing shows nftables' tables")));
    }
    if (texts.iptablesLegacySave) {
        if (const auto legacy = ReadIptablesSave(*texts.iptablesLegacySave, "filter", replyPort)) {
            JudgeTable(*legacy, interfaceNames, verdicts);
        }
    }
    return verdicts;
}

} // namespace tcpipset
