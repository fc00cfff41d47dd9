#include "tools/tcpipctl/doctor/Doctor.h"

#include "i18n/Translate.h"
#include "tools/tcpipctl/ConsoleView.h"
#include "tools/tcpipctl/Output.h"
#include "tools/tcpipctl/doctor/DiscoveryCheck.h"
#include "tools/tcpipctl/doctor/DoctorChecks.h"
#include "tools/tcpipctl/doctor/RouteTable.h"
#include "tools/tcpipctl/doctor/WireCapture.h"
#include "transport/IdExceptions.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "transport/SocketStack.h"
#include "ui/operations/DeviceOperations.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <sys/wait.h>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Socket errors break their line as a message box does; a check is one line.
std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    text.erase(
        std::unique(text.begin(), text.end(), [](char a, char b) { return a == ' ' && b == '\n'; }),
        text.end());
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

int ReadNumber(const std::string& path) {
    std::ifstream file(path);
    int value = 0;
    file >> value;
    return value;
}

// The output of a shell command line when it ended with status 0; nothing otherwise.
std::optional<std::string> CommandOutput(const char* line) {
    std::FILE* pipe = ::popen(line, "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string text;
    std::array<char, 4096> chunk{};
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        text.append(chunk.data(), n);
    }
    const int status = ::pclose(pipe);
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return text;
}

FirewallFinding SystemFirewallCheck(const std::vector<std::string>& interfaceNames, int replyPort) {
    FirewallTexts texts;
    // A missing nft prints nothing, as an empty ruleset does: tell the two apart.
    texts.nftInstalled = CommandOutput("command -v nft >/dev/null").has_value();
    if (texts.nftInstalled) {
        texts.nftJson = CommandOutput("nft -j list ruleset 2>/dev/null");
    }
    // The options of iptables-nft's own matches, which nft's JSON leaves out.
    texts.iptablesNftSave =
        CommandOutput("command -v iptables-nft-save >/dev/null && iptables-nft-save 2>/dev/null");
    // iptables' legacy back end filters beside nftables, and nft does not show its rules.
    texts.iptablesLegacySave = CommandOutput(
        "command -v iptables-legacy-save >/dev/null && iptables-legacy-save 2>/dev/null");
    return ReadFirewall(texts, interfaceNames, replyPort);
}

// The workstation's subnets, and its addresses on the interface named.
std::vector<Subnet> Subnets(const TIdInterfaceList& all) {
    std::vector<Subnet> subnets;
    for (const auto& entry : all) {
        if (entry.address && !entry.loopback) {
            subnets.push_back({*entry.address, entry.prefixLength});
        }
    }
    return subnets;
}

std::vector<TIdIPv4Bytes> AddressesOn(const TIdInterfaceList& all, const std::string& name) {
    std::vector<TIdIPv4Bytes> addresses;
    for (const auto& entry : all) {
        if (entry.address && entry.name == name) {
            addresses.push_back(*entry.address);
        }
    }
    return addresses;
}

std::vector<std::string> InterfaceNames(const TIdInterfaceList& interfaces) {
    std::vector<std::string> names;
    for (const auto& entry : interfaces) {
        names.push_back(entry.name);
    }
    return names;
}

DoctorCheck InterfacesCheck(const TIdInterfaceList& usable, const TIdStack& stack) {
    // TRANSLATORS: the title of a check.
    DoctorCheck check{"interfaces", Tr("interfaces"), Verdict::Ok, {}, {}};
    for (const auto& entry : usable) {
        check.detail += (check.detail.empty() ? "" : ", ") + entry.name + " " +
                        stack.AddressToText(*entry.address) + "/" +
                        std::to_string(entry.prefixLength) + " brd " +
                        stack.AddressToText(entry.broadcastAddress);
    }
    if (usable.empty()) {
        check.verdict = Verdict::Problem;
        check.detail = Tr("no interface that is up, can broadcast and holds an IPv4 address");
        check.advice =
            Tr("connect the workstation to the printers' network and give it an address");
    }
    return check;
}

InterfaceDiscovery DiscoverOn(const Command& command, const std::string& name,
                              std::vector<TIdIPv4Bytes> ownAddresses, std::ostream& err) {
    InterfaceDiscovery found;
    found.name = name;
    found.ownAddresses = std::move(ownAddresses);
    // Opened before the request leaves, so that no reply passes unseen.
    WireCapture capture = WireCapture::Replies(name, command.port);
    WireCapture arp = WireCapture::Arp(name);
    try {
        std::istringstream noAnswers;
        ConsoleView view(true, noAnswers, err);
        TIdUDPClient client;
        ApplyToClient(command, client);
        DeviceOperations operations(view, client);
        operations.LimitInterfaces({name});
        operations.FormCreate();
        for (const auto& device : view.Listed()) {
            found.addresses.push_back(device.address);
        }
        found.unreadable = static_cast<std::size_t>(operations.Unlisted().Total());
        found.unlisted = operations.Unlisted().Descriptions();
        found.dropped = client.DroppedDatagrams();
        if (capture.Capturing()) {
            found.wire.emplace();
            for (const auto& datagram : capture.CollectDatagrams(client.LocalPort())) {
                found.wire->push_back(datagram.source);
            }
            found.wireMissed = capture.Missed();
        }
        if (arp.Capturing()) {
            found.arp = arp.CollectArp();
        }
    } catch (const Exception& error) {
        found.failure = OneLine(error.Message());
    }
    found.wireFailure = capture.Failure();
    return found;
}

// The verdict's word stays English in every language: the manual names these three, and
// scripts look for them at the start of a line as in --json.
const char* VerdictWord(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Warning:
        return "warning";
    case Verdict::Problem:
        break;
    }
    return "problem";
}

int Report(const std::vector<DoctorCheck>& checks, bool json, std::ostream& out) {
    Verdict worst = Verdict::Ok;
    int problems = 0;
    int warnings = 0;
    for (const auto& check : checks) {
        worst = std::max(worst, check.verdict);
        problems += check.verdict == Verdict::Problem ? 1 : 0;
        warnings += check.verdict == Verdict::Warning ? 1 : 0;
    }
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const auto& check : checks) {
            nlohmann::ordered_json entry = {{"check", check.name},
                                            {"verdict", VerdictWord(check.verdict)},
                                            {"detail", check.detail},
                                            {"advice", check.advice}};
            if (check.figures) {
                const DiscoveryFigures& figures = *check.figures;
                entry["interface"] = figures.interfaceName;
                entry["wire"] = figures.wire ? nlohmann::ordered_json(*figures.wire) : nullptr;
                entry["delivered"] = figures.delivered;
                entry["senders"] = figures.senders;
                entry["unanswered_arp"] = figures.unansweredArp;
            }
            list.push_back(std::move(entry));
        }
        out << JsonText({{"checks", list}, {"verdict", VerdictWord(worst)}}) << '\n';
    } else {
        for (const auto& check : checks) {
            std::string word = VerdictWord(check.verdict);
            word.resize(9, ' ');
            // TRANSLATORS: a line of tcpipctl doctor: %1 is the check's title, %2 what it found.
            out << word << Format(Tr("%1: %2"), check.title, check.detail) << '\n';
            if (!check.advice.empty()) {
                // TRANSLATORS: follows a check's line, under its title.
                out << "         " << Format(Tr("what to do: %1"), check.advice) << '\n';
            }
        }
        if (worst == Verdict::Ok) {
            // TRANSLATORS: the last line of tcpipctl doctor; %1 is the English word "ok".
            out << Format(Tr("verdict: %1"), VerdictWord(worst)) << '\n';
        } else {
            const auto problemCount = static_cast<std::uint64_t>(problems);
            const auto warningCount = static_cast<std::uint64_t>(warnings);
            // TRANSLATORS: the last line of tcpipctl doctor; %1 is the English word "warning"
            // or "problem", %2 counts the problems and %3 the warnings.
            out << Format(Tr("verdict: %1 (%2, %3)"), VerdictWord(worst),
                          Format(TrN("%1 problem", "%1 problems", problemCount), problemCount),
                          Format(TrN("%1 warning", "%1 warnings", warningCount), warningCount))
                << '\n';
        }
    }
    return worst == Verdict::Ok ? ExitSuccess : ExitNoResult;
}

} // namespace

int RunDoctor(const Command& command, std::ostream& out, std::ostream& err) {
    std::vector<DoctorCheck> checks;
    try {
        // Made first: the socket stack lives with it, and it tells the buffer granted.
        TIdUDPClient probe;
        ApplyToClient(command, probe);
        probe.SetActive(true);
        TIdStack& stack = RequireSocketStack("getifaddrs");
        const TIdInterfaceList all = stack.ListInterfaces();
        const TIdInterfaceList usable = BroadcastInterfaces(all, command.interfaces);
        checks.push_back(InterfacesCheck(usable, stack));
        const std::string routes = ReadFile("/proc/net/route");
        const std::string routed = DefaultRouteInterface(routes);
        checks.push_back({"default route",
                          // TRANSLATORS: the title of a check.
                          Tr("default route"),
                          Verdict::Ok,
                          routed.empty()
                              ? Tr("none; the requests leave on each interface all the same")
                              // TRANSLATORS: where the default route leaves; %1 is an interface.
                              : Format(Tr("on %1"), routed),
                          {}});
        DeliveryCauses causes;
        causes.procNetRoute = routes;
        causes.subnets = Subnets(all);
        causes.replyPort = command.port;
        const int allRpFilter = ReadNumber("/proc/sys/net/ipv4/conf/all/rp_filter");
        for (const auto& entry : usable) {
            const int own = ReadNumber("/proc/sys/net/ipv4/conf/" + entry.name + "/rp_filter");
            causes.rpFilter[entry.name] = std::max(allRpFilter, own);
            checks.push_back(RpFilterCheck(entry.name, allRpFilter, own, !routed.empty()));
        }
        checks.push_back(ReceiveBufferCheck(probe.ReceiveBufferRequest(),
                                            probe.ReceiveBufferGranted(),
                                            probe.ReceiveSocketCount()));
        probe.SetActive(false); // frees a port given with --local-port for the discoveries
        const std::vector<std::string> interfaceNames = InterfaceNames(usable);
        const FirewallFinding firewall = SystemFirewallCheck(interfaceNames, command.port);
        checks.push_back(firewall.check);
        causes.droppingChains = firewall.droppingChains;
        std::vector<InterfaceDiscovery> results;
        for (const auto& entry : usable) {
            results.push_back(DiscoverOn(command, entry.name, AddressesOn(all, entry.name), err));
        }
        for (auto& check : DiscoveryChecks(results, causes)) {
            checks.push_back(std::move(check));
        }
    } catch (const Exception& error) {
        // TRANSLATORS: the title of a check.
        checks.push_back({"socket", Tr("socket"), Verdict::Problem, OneLine(error.Message()), {}});
    }
    return Report(checks, command.json, out);
}

} // namespace tcpipset
