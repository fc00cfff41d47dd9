#include "tools/tcpipctl/Doctor.h"

#include "tools/tcpipctl/ConsoleView.h"
#include "tools/tcpipctl/DoctorChecks.h"
#include "tools/tcpipctl/Output.h"
#include "transport/IdExceptions.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "transport/SocketStack.h"
#include "ui/operations/DeviceOperations.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/wait.h>

namespace tcpipset {

namespace {

// Addresses of the repliers shown on a discovery line; the rest are counted.
constexpr std::size_t AddressesShown = 5;

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

// The output of a shell command line, and whether it ended with status 0.
std::pair<std::string, bool> CommandOutput(const char* line) {
    std::FILE* pipe = ::popen(line, "r");
    if (pipe == nullptr) {
        return {{}, false};
    }
    std::string text;
    std::array<char, 4096> chunk{};
    for (std::size_t n; (n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        text.append(chunk.data(), n);
    }
    const int status = ::pclose(pipe);
    return {text, status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

FirewallFinding SystemFirewallCheck(const std::vector<std::string>& interfaceNames) {
    const auto [nft, nftRead] = CommandOutput("nft -j list ruleset 2>/dev/null");
    // iptables' legacy back end filters beside nftables, and nft does not show its rules.
    const auto [legacy, legacyRead] = CommandOutput(
        "command -v iptables-legacy-save >/dev/null && iptables-legacy-save 2>/dev/null");
    return ReadFirewall(nft, legacy, nftRead || legacyRead, interfaceNames);
}

std::vector<std::string> InterfaceNames(const TIdInterfaceList& interfaces) {
    std::vector<std::string> names;
    for (const auto& entry : interfaces) {
        names.push_back(entry.name);
    }
    return names;
}

DoctorCheck InterfacesCheck(const TIdInterfaceList& usable, const TIdStack& stack) {
    DoctorCheck check{"interfaces", Verdict::Ok, {}, {}};
    for (const auto& entry : usable) {
        check.detail += (check.detail.empty() ? "" : ", ") + entry.name + " " +
                        stack.AddressToText(*entry.address) + "/" +
                        std::to_string(entry.prefixLength) + " brd " +
                        stack.AddressToText(entry.broadcastAddress);
    }
    if (usable.empty()) {
        check.verdict = Verdict::Problem;
        check.detail = "no interface that is up, can broadcast and holds an IPv4 address";
        check.advice = "connect the workstation to the printers' network and give it an address";
    }
    return check;
}

struct InterfaceDiscovery {
    std::string name;
    std::vector<std::string> addresses; // one per reply, in order of arrival
    std::uint64_t dropped = 0;
    std::string failure;
};

InterfaceDiscovery DiscoverOn(const Command& command, const std::string& name, std::ostream& err) {
    InterfaceDiscovery found{name, {}, 0, {}};
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
        found.dropped = client.DroppedDatagrams();
    } catch (const Exception& error) {
        found.failure = error.Message();
    }
    return found;
}

std::string AddressList(std::vector<std::string> addresses) {
    std::vector<std::string> distinct;
    for (auto& address : addresses) {
        if (std::ranges::find(distinct, address) == distinct.end()) {
            distinct.push_back(std::move(address));
        }
    }
    std::string text;
    for (std::size_t i = 0; i < std::min(distinct.size(), AddressesShown); ++i) {
        text += (i == 0 ? "" : ", ") + distinct[i];
    }
    if (distinct.size() > AddressesShown) {
        text += " and " + std::to_string(distinct.size() - AddressesShown) + " more";
    }
    return text;
}

std::vector<DoctorCheck> DiscoveryChecks(const std::vector<InterfaceDiscovery>& results) {
    const bool anyReply = std::ranges::any_of(
        results, [](const InterfaceDiscovery& r) { return !r.addresses.empty(); });
    std::vector<DoctorCheck> checks;
    for (const auto& result : results) {
        DoctorCheck check{"discovery on " + result.name, Verdict::Ok, {}, {}};
        const std::size_t replies = result.addresses.size();
        if (!result.failure.empty()) {
            check.verdict = Verdict::Problem;
            check.detail = OneLine(result.failure);
        } else if (replies == 0) {
            check.detail = "no reply";
            if (!anyReply) {
                check.verdict = Verdict::Problem;
                check.advice = "with print servers on this segment, the lines above tell what "
                               "may keep their replies out; a device that is off does not answer";
            }
        } else {
            check.detail = std::to_string(replies) + (replies == 1 ? " reply" : " replies") +
                           " from " + AddressList(result.addresses);
        }
        if (result.failure.empty()) {
            check.detail += result.dropped == 0
                                ? ", none dropped"
                                : ", " + std::to_string(result.dropped) + " datagrams dropped";
        }
        if (result.dropped != 0) {
            check.verdict = std::max(check.verdict, Verdict::Warning);
            check.advice = "more replies came at once than could be kept: see the receive "
                           "buffer above";
        }
        checks.push_back(std::move(check));
    }
    return checks;
}

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
            list.push_back({{"check", check.name},
                            {"verdict", VerdictWord(check.verdict)},
                            {"detail", check.detail},
                            {"advice", check.advice}});
        }
        out << JsonText({{"checks", list}, {"verdict", VerdictWord(worst)}}) << '\n';
    } else {
        for (const auto& check : checks) {
            std::string word = VerdictWord(check.verdict);
            word.resize(9, ' ');
            out << word << check.name << ": " << check.detail << '\n';
            if (!check.advice.empty()) {
                out << "         what to do: " << check.advice << '\n';
            }
        }
        out << "verdict: " << VerdictWord(worst);
        if (worst != Verdict::Ok) {
            out << " (" << problems << (problems == 1 ? " problem, " : " problems, ") << warnings
                << (warnings == 1 ? " warning)" : " warnings)");
        }
        out << '\n';
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
        const TIdInterfaceList usable =
            BroadcastInterfaces(stack.ListInterfaces(), command.interfaces);
        checks.push_back(InterfacesCheck(usable, stack));
        const std::string routed = DefaultRouteInterface(ReadFile("/proc/net/route"));
        checks.push_back({"default route",
                          Verdict::Ok,
                          routed.empty() ? "none; the requests leave on each interface all the same"
                                         : "on " + routed,
                          {}});
        const int allRpFilter = ReadNumber("/proc/sys/net/ipv4/conf/all/rp_filter");
        for (const auto& entry : usable) {
            checks.push_back(
                RpFilterCheck(entry.name, allRpFilter,
                              ReadNumber("/proc/sys/net/ipv4/conf/" + entry.name + "/rp_filter"),
                              !routed.empty()));
        }
        checks.push_back(ReceiveBufferCheck(probe.ReceiveBufferRequest(),
                                            probe.ReceiveBufferGranted(),
                                            probe.ReceiveSocketCount()));
        probe.SetActive(false); // frees a port given with --local-port for the discoveries
        const std::vector<std::string> interfaceNames = InterfaceNames(usable);
        const FirewallFinding firewall = SystemFirewallCheck(interfaceNames);
        checks.push_back(firewall.check);
        std::vector<InterfaceDiscovery> results;
        for (const auto& entry : usable) {
            results.push_back(DiscoverOn(command, entry.name, err));
        }
        for (auto& check : DiscoveryChecks(results)) {
            checks.push_back(std::move(check));
        }
    } catch (const Exception& error) {
        checks.push_back({"socket", Verdict::Problem, OneLine(error.Message()), {}});
    }
    return Report(checks, command.json, out);
}

} // namespace tcpipset
