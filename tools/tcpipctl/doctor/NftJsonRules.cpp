#include "tools/tcpipctl/doctor/NftJsonRules.h"

#include "i18n/Translate.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

namespace tcpipset {

namespace {

// What a rule looks at that cannot be judged is told in the reader's language; the parts
// of a rule that nft itself writes ("meta mark", "ct state") stay as nft writes them.
using i18n::Format;
using i18n::Tr;
using nlohmann::json;

constexpr int UdpProtocolNumber = 17;

std::string Text(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

// How one element of a match's right-hand side judges the reply's value.
using ElementJudge = std::function<Judgement(const json&)>;

// The elements a match compares with: one value, a list of flags or an anonymous set.
std::vector<json> Elements(const json& right) {
    const json& list = right.is_object() && right.contains("set") ? right["set"] : right;
    if (list.is_array()) {
        return {list.begin(), list.end()};
    }
    return {list};
}

Condition Among(const std::string& op, const json& right, const ElementJudge& judge,
                const std::string& matter) {
    bool negated = false;
    if (op == "!=") {
        negated = true;
    } else if (op != "==" && op != "in") {
        return CannotJudge(matter + " " + op);
    }
    Judgement found = Judgement::DoesNotMatch;
    for (const json& element : Elements(right)) {
        const Judgement one = judge(element);
        if (one == Judgement::Matches) {
            found = one;
            break;
        }
        if (one == Judgement::CannotTell) {
            found = one;
        }
    }
    if (found == Judgement::CannotTell) {
        return CannotJudge(matter);
    }
    return Surely((found == Judgement::Matches) != negated);
}

ElementJudge NamedValue(std::set<std::string> names, std::optional<int> number) {
    return [names = std::move(names), number](const json& element) {
        if (element.is_string()) {
            return names.contains(element.get<std::string>()) ? Judgement::Matches
                                                              : Judgement::DoesNotMatch;
        }
        if (element.is_number_integer()) {
            return number && element.get<int>() == *number ? Judgement::Matches
                                                           : Judgement::DoesNotMatch;
        }
        return Judgement::CannotTell;
    };
}

// A port, a range of ports, judged by the test of the lowest and highest port it holds.
ElementJudge PortElement(const std::function<Judgement(int, int)>& judge) {
    return [judge](const json& element) {
        if (element.is_number_integer()) {
            return judge(element.get<int>(), element.get<int>());
        }
        if (element.is_object() && element.contains("range") && element["range"].size() == 2 &&
            element["range"][0].is_number_integer() && element["range"][1].is_number_integer()) {
            return judge(element["range"][0].get<int>(), element["range"][1].get<int>());
        }
        return Judgement::CannotTell;
    };
}

Judgement DestinationElement(const json& element) {
    if (element.is_string()) {
        return DestinationIn(element.get<std::string>(), 32);
    }
    if (element.is_object() && element.contains("prefix")) {
        return DestinationIn(Text(element["prefix"].value("addr", json())),
                             element["prefix"].value("len", 0));
    }
    return Judgement::CannotTell;
}

// The protocols of the payload fields a match looks at (nft adds the test of the protocol).
void PayloadProtocols(const json& expression, std::vector<std::string>& protocols) {
    if (expression.is_object()) {
        if (expression.contains("payload") && expression["payload"].contains("protocol")) {
            protocols.push_back(Text(expression["payload"]["protocol"]));
        }
        for (const auto& [key, value] : expression.items()) {
            PayloadProtocols(value, protocols);
        }
    } else if (expression.is_array()) {
        for (const json& value : expression) {
            PayloadProtocols(value, protocols);
        }
    }
}

Condition InterfaceMatch(const std::string& key, const std::string& op, const json& right) {
    Condition condition{Judgement::DependsOnInterface, {}, {}, op == "!="};
    if (op != "==" && op != "in" && op != "!=") {
        return CannotJudge(key + " " + op);
    }
    for (const json& element : Elements(right)) {
        if (!element.is_string() || element.get<std::string>().starts_with('@')) {
            return CannotJudge(key + " " + Text(right));
        }
        condition.interfaces.push_back(element.get<std::string>());
    }
    return condition;
}

Condition MetaMatch(const std::string& key, const std::string& op, const json& right) {
    if (key == "iifname" || key == "iif") {
        return InterfaceMatch(key, op, right);
    }
    if (key == "l4proto") {
        return Among(op, right, NamedValue({"udp"}, UdpProtocolNumber), "meta l4proto");
    }
    if (key == "nfproto") {
        return Among(op, right, NamedValue({"ipv4"}, 2), "meta nfproto");
    }
    if (key == "protocol") {
        return Among(op, right, NamedValue({"ip"}, 0x0800), "meta protocol");
    }
    if (key == "pkttype") {
        return Among(op, right, NamedValue({"host", "unicast"}, 0), "meta pkttype");
    }
    if (key == "mark") {
        return CannotJudge(Tr("the packet mark"));
    }
    return CannotJudge("meta " + key);
}

Condition ConntrackMatch(const std::string& key, const std::string& op, const json& right) {
    if (key == "state") {
        return Among(op, right, NamedValue({"new"}, std::nullopt), "ct state");
    }
    if (key == "status") {
        // A new flow of the workstation's own: not expected, no reply seen, not confirmed
        // before the input hook, no address translation.
        return Among(
            op, right, [](const json&) { return Judgement::DoesNotMatch; }, "ct status");
    }
    if (key == "direction") {
        return Among(op, right, NamedValue({"original"}, 0), "ct direction");
    }
    if (key == "mark") {
        return CannotJudge(Tr("the conntrack mark"));
    }
    return CannotJudge("ct " + key);
}

Condition PayloadMatch(const std::string& protocol, const std::string& field, const std::string& op,
                       const json& right, int replyPort) {
    const std::string matter = protocol + " " + field;
    if (protocol == "udp" || protocol == "th") {
        if (field == "sport") {
            return Among(op, right, PortElement([replyPort](int low, int high) {
                             return SourcePortIn(replyPort, low, high);
                         }),
                         matter);
        }
        if (field == "dport") {
            return Among(op, right, PortElement(EphemeralPortIn), matter);
        }
    } else if (protocol == "ip") {
        if (field == "protocol") {
            return Among(op, right, NamedValue({"udp"}, UdpProtocolNumber), matter);
        }
        if (field == "daddr") {
            return Among(op, right, DestinationElement, matter);
        }
        if (field == "version") {
            return Among(op, right, NamedValue({}, 4), matter);
        }
    }
    return CannotJudge(matter);
}

Condition FibMatch(const json& fib, const std::string& op, const json& right) {
    const json flags = fib.value("flags", json::array());
    if (fib.value("result", "") == "type" && flags == json::array({"daddr"})) {
        // The address the reply goes to is the workstation's own.
        return Among(op, right, NamedValue({"local"}, std::nullopt), "fib daddr type");
    }
    return CannotJudge(Tr("a fib lookup"));
}

Condition JudgeMatch(const json& match, int replyPort) {
    const std::string op = match.value("op", "==");
    const json left = match.value("left", json());
    const json right = match.value("right", json());
    if (right.is_string() && right.get<std::string>().starts_with('@')) {
        // TRANSLATORS: what a rule looks at; %1 is the set's name as nft writes it.
        return CannotJudge(Format(Tr("the named set %1"), right.get<std::string>()));
    }
    std::vector<std::string> protocols;
    PayloadProtocols(left, protocols);
    for (const std::string& protocol : protocols) {
        if (protocol == "ether" || protocol == "vlan") {
            // TRANSLATORS: what a rule looks at; %1 is "ether" or "vlan".
            return CannotJudge(Format(Tr("%1 header"), protocol));
        }
        if (protocol != "udp" && protocol != "th" && protocol != "ip") {
            return Surely(false); // tcp, icmp, ip6, sctp...: another protocol
        }
    }
    if (left.contains("meta")) {
        return MetaMatch(Text(left["meta"].value("key", json())), op, right);
    }
    if (left.contains("ct")) {
        return ConntrackMatch(Text(left["ct"].value("key", json())), op, right);
    }
    if (left.contains("payload") && left["payload"].contains("field")) {
        return PayloadMatch(Text(left["payload"]["protocol"]), Text(left["payload"]["field"]), op,
                            right, replyPort);
    }
    if (left.contains("fib")) {
        return FibMatch(left["fib"], op, right);
    }
    return CannotJudge(left.is_object() && !left.empty() ? left.begin().key() : Tr("a match"));
}

// Statements that only count, log or change what later rules see.
const std::set<std::string> PassingStatements = {
    "counter", "log", "mangle", "notrack", "ct helper",      "ct timeout",
    "flow",    "dup", "last",   "secmark", "ct expectation", "continue"};

// The verdict of a statement, or nullopt when it is none.
std::optional<Rule> Verdict(const json& statement) {
    Rule rule;
    if (statement.contains("accept") || statement.contains("snat") || statement.contains("dnat") ||
        statement.contains("masquerade") || statement.contains("redirect")) {
        rule.action = Action::Accept;
    } else if (statement.contains("drop") || statement.contains("reject")) {
        rule.action = Action::Drop;
    } else if (statement.contains("return")) {
        rule.action = Action::Return;
    } else if (statement.contains("jump") || statement.contains("goto")) {
        const bool jump = statement.contains("jump");
        rule.action = jump ? Action::Jump : Action::Goto;
        rule.target = Text(statement[jump ? "jump" : "goto"].value("target", json()));
    } else if (statement.contains("queue")) {
        rule.action = Action::CannotTell;
        rule.target = Tr("a queue to a program");
    } else {
        return std::nullopt;
    }
    return rule;
}

// The rules one nft rule stands for: a verdict map becomes one rule per element.
std::vector<Rule> ReadRule(const json& expressions, int replyPort) {
    std::vector<Condition> conditions;
    for (const json& statement : expressions) {
        if (!statement.is_object() || statement.empty()) {
            continue;
        }
        const std::string kind = statement.begin().key();
        const json& body = statement.begin().value();
        if (auto verdict = Verdict(statement)) {
            verdict->conditions = std::move(conditions);
            return {std::move(*verdict)};
        }
        if (kind == "match") {
            conditions.push_back(JudgeMatch(body, replyPort));
        } else if (kind == "vmap") {
            std::vector<Rule> rules;
            const json data = body.value("data", json());
            if (!data.is_object() || !data.contains("set")) {
                const std::string pattern =
                    // TRANSLATORS: what a rule does; %1 is the map as nft writes it.
                    Tr("the verdict map %1");
                rules.push_back({conditions, Action::CannotTell, Format(pattern, Text(data))});
                return rules;
            }
            for (const json& element : data["set"]) {
                auto verdict = element.is_array() && element.size() == 2 ? Verdict(element[1])
                                                                         : std::optional<Rule>();
                if (!verdict) {
                    continue;
                }
                verdict->conditions = conditions;
                verdict->conditions.push_back(JudgeMatch(
                    {{"op", "=="}, {"left", body.value("key", json())}, {"right", element[0]}},
                    replyPort));
                rules.push_back(std::move(*verdict));
            }
            return rules;
        } else if (kind == "xt") {
            const std::string name = Text(body.value("name", json()));
            if (body.value("type", "") == "target") {
                if (name == "REJECT") {
                    return {{std::move(conditions), Action::Drop, {}}};
                }
                if (!IptablesTargetPasses(name)) {
                    return {{std::move(conditions), Action::CannotTell,
                             Format(Tr("an iptables target (%1)"), name)}};
                }
            } else if (body.value("type", "") == "match") {
                // iptables-nft keeps what it cannot say in nftables' terms as iptables' own
                // match, whose options nft's JSON leaves out.
                const std::string pattern =
                    // TRANSLATORS: what a rule looks at; %1 is the name of the match.
                    Tr("an iptables match (%1) whose options nft's JSON leaves out");
                conditions.push_back(CannotJudge(Format(pattern, name)));
            }
        } else if (kind == "limit" || kind == "meter" || kind == "quota" || kind == "ct count") {
            conditions.push_back(CannotJudge(Tr("a rate limit or quota")));
        } else if (kind == "set") {
            if (body.contains("stmt")) {
                conditions.push_back(CannotJudge(Tr("a rate limit kept in a set")));
            }
        } else if (!PassingStatements.contains(kind)) {
            conditions.push_back(CannotJudge(kind));
        }
    }
    return {{std::move(conditions), Action::None, {}}};
}

std::string TableKey(const json& object) {
    return Text(object.value("family", json())) + " " + Text(object.value("table", json()));
}

std::vector<RuleTable> ReadTables(const json& document, int replyPort) {
    std::vector<RuleTable> tables;
    const auto tableOf = [&](const json& object) -> RuleTable* {
        const auto found = std::ranges::find_if(tables, [&](const RuleTable& table) {
            return table.family + " " + table.name == TableKey(object);
        });
        return found == tables.end() ? nullptr : &*found;
    };
    for (const json& entry : document["nftables"]) {
        if (entry.contains("table")) {
            const json& table = entry["table"];
            const std::string family = Text(table.value("family", json()));
            if (family == "ip" || family == "inet") {
                tables.push_back({family, Text(table.value("name", json())), {}, {}});
            }
        } else if (entry.contains("chain")) {
            const json& chain = entry["chain"];
            if (RuleTable* table = tableOf(chain)) {
                const std::string name = Text(chain.value("name", json()));
                table->chains[name].dropPolicy = chain.value("policy", "") == "drop";
                if (chain.value("hook", "") == "input") {
                    table->inputChains.push_back(name);
                }
            }
        } else if (entry.contains("rule")) {
            const json& rule = entry["rule"];
            if (RuleTable* table = tableOf(rule)) {
                auto& rules = table->chains[Text(rule.value("chain", json()))].rules;
                const json expressions = rule.value("expr", json::array());
                table->iptablesCompat =
                    table->iptablesCompat ||
                    std::ranges::any_of(expressions, [](const json& statement) {
                        return statement.is_object() && statement.contains("xt");
                    });
                for (Rule& one : ReadRule(expressions, replyPort)) {
                    rules.push_back(std::move(one));
                }
            }
        }
    }
    return tables;
}

} // namespace

std::optional<std::vector<RuleTable>> ReadNftJson(const std::string& text, int replyPort) {
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        return std::vector<RuleTable>{};
    }
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.contains("nftables") ||
        !document["nftables"].is_array()) {
        return std::nullopt;
    }
    try {
        return ReadTables(document, replyPort);
    } catch (const json::exception&) {
        return std::nullopt; // JSON, but not laid out as nft lays it out
    }
}

} // namespace tcpipset
