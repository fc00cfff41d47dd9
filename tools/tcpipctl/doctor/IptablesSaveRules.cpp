#include "tools/tcpipctl/doctor/IptablesSaveRules.h"

#include "i18n/Translate.h"

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <functional>
#include <set>
#include <sstream>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Tr;

struct Token {
    std::string text;
    bool quoted = false;
};

// iptables-save quotes a value with spaces ("[UFW BLOCK] ") and escapes within it.
std::vector<Token> Tokens(const std::string& line) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < line.size();) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        Token token;
        for (; i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r'; ++i) {
            if (line[i] != '"') {
                token.text += line[i];
                continue;
            }
            token.quoted = true;
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    ++i;
                }
                token.text += line[i];
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream stream(text);
    for (std::string piece; std::getline(stream, piece, separator);) {
        parts.push_back(piece);
    }
    return parts;
}

bool Listed(const std::string& list, const std::string& wanted) {
    const auto parts = Split(list, ',');
    return std::ranges::find(parts, wanted) != parts.end();
}

// A list of ports and ranges ("67", "5000:5010", "22,80,1000:2000"), each judged.
Judgement Ports(const std::string& list, const std::function<Judgement(int, int)>& judge) {
    Judgement found = Judgement::DoesNotMatch;
    for (const std::string& piece : Split(list, ',')) {
        const auto colon = piece.find(':');
        Judgement one = Judgement::CannotTell;
        try {
            const int low = colon == 0 ? 0 : std::stoi(piece.substr(0, colon));
            const int high = colon == std::string::npos  ? low
                             : colon + 1 == piece.size() ? 65535
                                                         : std::stoi(piece.substr(colon + 1));
            one = judge(low, high);
        } catch (const std::exception&) {
            // a service name: cannot tell
        }
        if (one == Judgement::Matches) {
            return one;
        }
        if (one == Judgement::CannotTell) {
            found = one;
        }
    }
    return found;
}

Condition FromJudgement(Judgement judgement, const std::string& matter) {
    return judgement == Judgement::CannotTell ? CannotJudge(matter)
                                              : Surely(judgement == Judgement::Matches);
}

Condition Negated(Condition condition) {
    if (condition.judgement == Judgement::DependsOnInterface) {
        condition.negated = !condition.negated;
    } else if (condition.judgement != Judgement::CannotTell) {
        condition.judgement = condition.judgement == Judgement::Matches ? Judgement::DoesNotMatch
                                                                        : Judgement::Matches;
    }
    return condition;
}

// The matches of iptables' own modules that are judged here; the options of any other
// module cannot be judged.
const std::set<std::string> JudgedModules = {"udp",   "tcp",      "comment",  "conntrack",
                                             "state", "addrtype", "multiport"};

Condition Option(const std::string& option, const std::vector<std::string>& values, int replyPort) {
    const std::string value = values.empty() ? std::string() : values.front();
    const auto sourcePortIn = [replyPort](int low, int high) {
        return SourcePortIn(replyPort, low, high);
    };
    if (option == "--sport" || option == "--source-port" || option == "--sports" ||
        option == "--source-ports") {
        return FromJudgement(Ports(value, sourcePortIn), Tr("a source port"));
    }
    if (option == "--dport" || option == "--destination-port" || option == "--dports" ||
        option == "--destination-ports") {
        return FromJudgement(Ports(value, EphemeralPortIn), Tr("a destination port"));
    }
    if (option == "--ports") {
        const Judgement source = Ports(value, sourcePortIn);
        return FromJudgement(source == Judgement::Matches ? source : Ports(value, EphemeralPortIn),
                             Tr("a port"));
    }
    if (option == "--ctstate" || option == "--state") {
        return Surely(Listed(value, "NEW"));
    }
    if (option == "--ctstatus") {
        return Surely(Listed(value, "NONE"));
    }
    if (option == "--dst-type") {
        // The address the reply goes to is the workstation's own.
        return Surely(Listed(value, "LOCAL"));
    }
    if (option == "--comment" || option == "--limit-iface-in") {
        return Surely(true);
    }
    // TRANSLATORS: what a rule looks at; %1 is the option as iptables-save writes it.
    return CannotJudge(Format(Tr("iptables option %1"), option));
}

Rule ReadRule(const std::vector<Token>& tokens, std::size_t first,
              const std::set<std::string>& chains, int replyPort) {
    Rule rule;
    bool negated = false;
    bool judgedModule = true;
    const auto isValue = [&](std::size_t i) {
        return i < tokens.size() &&
               (tokens[i].quoted || (!tokens[i].text.starts_with('-') && tokens[i].text != "!"));
    };
    for (std::size_t i = first; i < tokens.size(); ++i) {
        const std::string& word = tokens[i].text;
        if (word == "!" && !tokens[i].quoted) {
            negated = true;
            continue;
        }
        std::vector<std::string> values;
        while (isValue(i + 1)) {
            values.push_back(tokens[++i].text);
        }
        const std::string value = values.empty() ? std::string() : values.front();
        Condition condition = Surely(true);
        if (word == "-p" || word == "--protocol") {
            condition = Surely(value == "udp" || value == "17" || value == "all" || value == "0");
        } else if (word == "-s" || word == "--source") {
            condition = CannotJudge(Tr("a source address"));
        } else if (word == "-d" || word == "--destination") {
            const auto slash = value.find('/');
            const int prefix = slash == std::string::npos ? 32 : std::atoi(&value[slash + 1]);
            condition =
                FromJudgement(DestinationIn(value.substr(0, slash), prefix), Tr("a destination"));
        } else if (word == "-i" || word == "--in-interface") {
            std::string pattern = value;
            if (pattern.ends_with('+')) {
                pattern.back() = '*';
            }
            condition = {Judgement::DependsOnInterface, {}, {pattern}, false};
        } else if (word == "-f" || word == "--fragment") {
            condition = Surely(false); // a reply comes whole
        } else if (word == "-m" || word == "--match") {
            judgedModule = JudgedModules.contains(value);
            if (!judgedModule) {
                // TRANSLATORS: what a rule looks at; %1 is the name of the match.
                condition = CannotJudge(Format(Tr("an iptables match (%1)"), value));
            }
        } else if (word == "-j" || word == "--jump" || word == "-g" || word == "--goto") {
            const bool jump = word == "-j" || word == "--jump";
            if (value == "ACCEPT") {
                rule.action = Action::Accept;
            } else if (value == "DROP" || value == "REJECT") {
                rule.action = Action::Drop;
            } else if (value == "RETURN") {
                rule.action = Action::Return;
            } else if (chains.contains(value)) {
                rule.action = jump ? Action::Jump : Action::Goto;
                rule.target = value;
            } else if (!IptablesTargetPasses(value)) {
                rule.action = Action::CannotTell;
                rule.target = value.ends_with("QUEUE")
                                  ? Tr("a queue to a program")
                                  // TRANSLATORS: what a rule does; %1 is the name of the target.
                                  : Format(Tr("an iptables target (%1)"), value);
            }
            break; // the target's own options follow
        } else if (word.starts_with("--") && !judgedModule) {
            continue; // an option of a module that cannot be judged, told once
        } else {
            condition = word.starts_with("--")
                            ? Option(word, values, replyPort)
                            : CannotJudge(Format(Tr("iptables option %1"), word));
        }
        if (condition.judgement != Judgement::Matches || condition.negated) {
            rule.conditions.push_back(negated ? Negated(std::move(condition))
                                              : std::move(condition));
        } else if (negated) {
            rule.conditions.push_back(Surely(false));
        }
        negated = false;
    }
    return rule;
}

} // namespace

std::optional<RuleTable> ReadIptablesSave(const std::string& text, const std::string& tableName,
                                          int replyPort) {
    std::vector<std::vector<Token>> lines;
    std::istringstream stream(text);
    bool inTable = false;
    bool sawTable = false;
    for (std::string line; std::getline(stream, line);) {
        if (line.starts_with('*')) {
            const auto tokens = Tokens(line);
            inTable = tokens.size() == 1 && tokens[0].text == "*" + tableName;
            sawTable = sawTable || inTable;
        } else if (inTable && !line.starts_with('#')) {
            lines.push_back(Tokens(line));
        }
    }
    if (!sawTable) {
        return std::nullopt;
    }
    RuleTable table{"iptables", tableName, {}, {}};
    std::set<std::string> chains;
    for (const auto& tokens : lines) {
        if (!tokens.empty() && tokens[0].text.starts_with(':')) {
            const std::string name = tokens[0].text.substr(1);
            chains.insert(name);
            table.chains[name].dropPolicy = tokens.size() > 1 && tokens[1].text == "DROP";
            if (name == "INPUT") {
                table.inputChains.push_back(name);
            }
        }
    }
    for (const auto& tokens : lines) {
        if (tokens.size() >= 2 && (tokens[0].text == "-A" || tokens[0].text == "--append")) {
            table.chains[tokens[1].text].rules.push_back(ReadRule(tokens, 2, chains, replyPort));
        }
    }
    return table;
}

} // namespace tcpipset
