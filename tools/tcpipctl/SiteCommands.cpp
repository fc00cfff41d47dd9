#include "tools/tcpipctl/SiteCommands.h"

#include "tools/tcpipctl/AddressOptions.h"
#include "tools/tcpipctl/ConsoleView.h"
#include "tools/tcpipctl/Output.h"
#include "tools/tcpipctl/apply/AddressProbe.h"
#include "tools/tcpipctl/apply/Inventory.h"
#include "tools/tcpipctl/apply/InventoryWriter.h"
#include "tools/tcpipctl/apply/Plan.h"
#include "tools/tcpipctl/apply/PlanReport.h"
#include "transport/IdExceptions.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "transport/SocketStack.h"
#include "ui/operations/DeviceOperations.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace tcpipset {

namespace {

// Blocks Ctrl-C (and a polite kill) while devices are written: a signal never cuts a
// write short, and the loop asks between devices whether one came.
class DeferredInterrupt {
public:
    DeferredInterrupt() {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        sigprocmask(SIG_BLOCK, &signals_, &previous_);
    }
    DeferredInterrupt(const DeferredInterrupt&) = delete;
    DeferredInterrupt& operator=(const DeferredInterrupt&) = delete;
    ~DeferredInterrupt() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

    // Takes a signal that came, so that it does not end the program once unblocked.
    bool Interrupted() {
        const timespec none{};
        interrupted_ = interrupted_ || sigtimedwait(&signals_, nullptr, &none) > 0;
        return interrupted_;
    }

private:
    sigset_t signals_{};
    sigset_t previous_{};
    bool interrupted_ = false;
};

// A command for one device, as tcpipctl query, set or restart would run it, kept to the
// interface that the device answered on.
Command DeviceCommand(const Command& site, Verb verb, const std::string& mac,
                      const std::string& interfaceName) {
    Command one = site;
    one.verb = verb;
    one.mac = mac;
    one.json = verb == Verb::Query;
    one.yes = true;
    if (site.broadcast == LimitedBroadcastAddress && !interfaceName.empty()) {
        one.interfaces = {interfaceName};
    }
    return one;
}

// The first line of what a command wrote to standard error, without the program's name.
std::string Reason(const std::string& err) {
    std::string line = err.substr(0, err.find('\n'));
    constexpr std::string_view Prefix = "tcpipctl: ";
    if (line.starts_with(Prefix)) {
        line.erase(0, Prefix.size());
    }
    return line;
}

std::optional<DeviceValues> QueryDevice(const Command& site, const std::string& mac,
                                        const std::string& interfaceName) {
    std::istringstream none;
    std::ostringstream out;
    std::ostringstream err;
    if (RunCommand(DeviceCommand(site, Verb::Query, mac, interfaceName), none, out, err) !=
        ExitSuccess) {
        return std::nullopt;
    }
    const auto answer = nlohmann::json::parse(out.str(), nullptr, false);
    if (!answer.is_object()) {
        return std::nullopt;
    }
    return DeviceValues{answer.value("address", ""), answer.value("mask", ""),
                        answer.value("gateway", "")};
}

// Discovers until every wanted MAC has been seen or the rounds are used up; every device
// seen in any round is kept once per interface.
std::vector<SeenDevice> DiscoverRounds(const Command& site, const std::set<std::string>& wanted,
                                       std::size_t& rounds, std::ostream& err) {
    std::vector<SeenDevice> seen;
    const auto seenMac = [&seen](const std::string& mac) {
        return std::ranges::any_of(seen, [&](const SeenDevice& d) { return d.mac == mac; });
    };
    for (rounds = 1; rounds <= static_cast<std::size_t>(site.rounds); ++rounds) {
        std::istringstream none;
        ConsoleView view(true, none, err);
        TIdUDPClient client;
        ApplyToClient(site, client);
        DeviceOperations operations(view, client);
        operations.LimitInterfaces(site.interfaces);
        operations.FormCreate();
        const std::size_t before = seen.size();
        for (const auto& device : view.Listed()) {
            const bool known = std::ranges::any_of(seen, [&](const SeenDevice& d) {
                return d.mac == device.mac && d.interfaceName == device.interfaceName;
            });
            if (!known) {
                seen.push_back({device.mac, device.address, device.interfaceName});
            }
        }
        // With a list of devices to find, the rounds end when all are seen; without one,
        // when a round brings no device that the others missed.
        const bool done = wanted.empty() ? seen.size() == before && rounds > 1
                                         : std::ranges::all_of(wanted, seenMac);
        if (done || rounds == static_cast<std::size_t>(site.rounds)) {
            break;
        }
    }
    rounds = std::min(rounds, static_cast<std::size_t>(site.rounds));
    return seen;
}

std::optional<std::string> ReadWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Checks that nothing else holds the addresses that devices move to; the rows of those
// that could not be checked say so.
ProbeResults ProbeMoves(const std::vector<PlannedRow>& plan) {
    std::vector<AddressProbe> probes;
    for (const auto& planned : plan) {
        if (MovesAddress(planned) && !planned.interfaceName.empty()) {
            probes.push_back({planned.after.ip, planned.interfaceName});
        }
    }
    const std::string arping = probes.empty() ? std::string() : FindArping();
    if (!probes.empty() && arping.empty()) {
        ProbeResults none;
        for (const auto& probe : probes) {
            none.unchecked[probe.address] =
                "iputils' arping (Debian package iputils-arping) is missing";
        }
        return none;
    }
    return probes.empty() ? ProbeResults{} : ProbeAddresses(arping, probes);
}

// The workstation's own addresses, each with its interface.
std::map<std::string, std::string> WorkstationAddresses() {
    const TIdUDPClient keepsTheStack;
    TIdStack& stack = RequireSocketStack("getifaddrs");
    std::map<std::string, std::string> own;
    for (const auto& entry : stack.ListInterfaces()) {
        if (entry.address) {
            own.emplace(stack.AddressToText(*entry.address), entry.name);
        }
    }
    return own;
}

// Writes one change: the set, confirmed by the device's reply, and with --restart the
// restart and a query until the device answers from its new address.
void ApplyChange(const Command& site, PlannedRow& planned) {
    std::istringstream none;
    std::ostringstream out;
    std::ostringstream err;
    Command set = DeviceCommand(site, Verb::Set, planned.row.mac, planned.interfaceName);
    set.ip = planned.after.ip;
    set.mask = planned.after.mask;
    set.gateway = planned.after.gateway;
    if (RunCommand(set, none, out, err) != ExitSuccess) {
        planned.status = RowStatus::Failed;
        planned.reason = err.str().empty() ? "set: not updated" : "set: " + Reason(err.str());
        return;
    }
    if (site.restartAfterApply) {
        Command restart = set;
        restart.verb = Verb::Restart;
        restart.waitSeconds = site.settleSeconds;
        std::ostringstream restartOut;
        std::ostringstream restartErr;
        if (RunCommand(restart, none, restartOut, restartErr) != ExitSuccess) {
            planned.status = RowStatus::Failed;
            planned.reason = "restart: " + Reason(restartErr.str());
            return;
        }
        const auto now = QueryDevice(site, planned.row.mac, planned.interfaceName);
        if (!now || !SameDottedQuad(now->ip, planned.after.ip)) {
            planned.status = RowStatus::Failed;
            planned.reason = "restarted, but it does not answer from " + planned.after.ip;
            return;
        }
    }
    planned.status = RowStatus::Changed;
}

int Report(const Command& command, const std::vector<PlannedRow>& plan, std::ostream& out) {
    if (command.json) {
        out << JsonText(PlanJson(plan)) << '\n';
    } else {
        out << PlanText(plan, command.diff, command.check);
    }
    return PlanStatus(plan);
}

} // namespace

int RunExport(const Command& command, std::ostream& out, std::ostream& err) {
    try {
        std::size_t rounds = 0;
        const auto seen = DiscoverRounds(command, {}, rounds, err);
        std::vector<InventoryRow> rows;
        std::size_t unanswered = 0;
        for (const auto& device : seen) {
            const auto values = QueryDevice(command, device.mac, device.interfaceName);
            if (!values) {
                ++unanswered;
                continue;
            }
            rows.push_back({0,
                            device.mac,
                            values->ip,
                            values->mask,
                            values->gateway,
                            device.interfaceName,
                            {}});
        }
        const bool json = command.json || command.format == "json";
        out << (json ? InventoryJson(rows) : InventoryCsv(rows));
        if (unanswered != 0) {
            err << "tcpipctl: " << unanswered
                << " devices were listed but did not answer their query; they are not in the "
                   "inventory\n";
        }
        if (seen.empty()) {
            return ReportError("tcpipctl: no device answered", ExitNoResult, false, out, err);
        }
        return unanswered == 0 ? ExitSuccess : ExitNoResult;
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, false, out, err);
    }
}

int RunApply(const Command& command, std::ostream& out, std::ostream& err) {
    const auto text = ReadWhole(command.inventoryFile);
    if (!text) {
        return ReportError("tcpipctl: " + command.inventoryFile + ": cannot be read", ExitUsage,
                           command.json, out, err);
    }
    const Inventory inventory = ReadInventory(*text);
    if (!inventory.problems.empty()) {
        for (const auto& problem : inventory.problems) {
            err << ProblemText(command.inventoryFile, problem) << '\n';
        }
        const std::size_t count = inventory.problems.size();
        return ReportError("tcpipctl: " + command.inventoryFile + ": " + std::to_string(count) +
                               (count == 1 ? " problem" : " problems") + "; nothing was sent",
                           ExitUsage, command.json, out, err);
    }
    // As set warns of them and goes on.
    for (const auto& row : inventory.rows) {
        if (!row.warning.empty()) {
            err << ProblemText(command.inventoryFile, {row.line, "warning: " + row.warning})
                << '\n';
        }
    }
    try {
        std::set<std::string> wanted;
        for (const auto& row : inventory.rows) {
            wanted.insert(row.mac);
        }
        SiteFindings findings;
        findings.seen = DiscoverRounds(command, wanted, findings.rounds, err);
        for (const auto& planned : SeenRows(inventory.rows, findings.seen, findings.rounds)) {
            if (planned.status == RowStatus::Change) {
                findings.queried[planned.row.mac] =
                    QueryDevice(command, planned.row.mac, planned.interfaceName);
            }
        }
        ProbeResults probed = ProbeMoves(MakePlan(inventory.rows, findings));
        findings.addressHolders = std::move(probed.holders);
        findings.uncheckedAddresses = std::move(probed.unchecked);
        findings.workstationAddresses = WorkstationAddresses();
        std::vector<PlannedRow> plan = MakePlan(inventory.rows, findings);
        if (!command.check) {
            DeferredInterrupt interrupt;
            for (auto& planned : plan) {
                if (planned.status != RowStatus::Change) {
                    continue;
                }
                if (interrupt.Interrupted()) {
                    planned.status = RowStatus::Failed;
                    planned.reason = "not written: interrupted";
                    continue;
                }
                ApplyChange(command, planned);
            }
        }
        return Report(command, plan, out);
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, command.json, out, err);
    }
}

} // namespace tcpipset
