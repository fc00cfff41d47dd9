#include "tools/tcpipctl/SiteCommands.h"

#include "protocol/Exception.h"
#include "tools/tcpipctl/Output.h"
#include "tools/tcpipctl/apply/AddressProbe.h"
#include "tools/tcpipctl/apply/Inventory.h"
#include "tools/tcpipctl/apply/InventoryWriter.h"
#include "tools/tcpipctl/apply/Plan.h"
#include "tools/tcpipctl/apply/PlanReport.h"
#include "tools/tcpipctl/site/SiteEngine.h"
#include "tools/tcpipctl/site/SocketTransport.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "transport/SocketStack.h"
#include "ui/operations/SyslogWriteLog.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <map>

namespace tcpipset {

namespace {

// Blocks Ctrl-C (and a polite kill) while devices are written: a signal never cuts a
// write short, and the engine asks before it starts each device whether one came.
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
    // A signal that came meanwhile is taken, not left pending to end the program at once.
    ~DeferredInterrupt() {
        Interrupted();
        sigprocmask(SIG_SETMASK, &previous_, nullptr);
    }

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

SocketSettings SettingsOf(const Command& command) {
    return {command.broadcast, command.port, command.receiveBuffer, command.localPort};
}

EngineOptions OptionsOf(const Command& command) {
    EngineOptions options;
    options.parallel = static_cast<std::size_t>(command.parallel);
    options.retries = command.retries;
    options.timeout = std::chrono::milliseconds(command.timeoutMs);
    options.limitedBroadcast = command.broadcast == LimitedBroadcastAddress;
    options.interfaceLimit = command.interfaces;
    return options;
}

void SayWhenSerial(const SiteEngine& engine, const Command& command, std::ostream& err) {
    if (engine.Serial() && command.localPort != 0) {
        err << "tcpipctl: --local-port " << command.localPort
            << ": one socket serves every request, so the devices are asked one at a time\n";
    }
}

// What the survey lost, as discover says it, and an estimate of what it may have missed.
// True when something was lost for certain.
bool WarnOfLoss(const SurveyResult& survey, const SiteEngine& engine,
                const SiteTransport& transport, bool mayMiss, std::ostream& err) {
    for (const auto& line : survey.unlisted.Descriptions()) {
        err << "tcpipctl: " << line << '\n';
    }
    if (engine.CutShort() != 0) {
        err << "tcpipctl: datagrams kept arriving without a pause; stopped listening after "
            << SiteEngine::ArrivalLimit << " datagrams\n";
    }
    const std::uint64_t dropped = transport.Dropped();
    if (dropped != 0) {
        err << "tcpipctl: " << dropped << (dropped == 1 ? " datagram" : " datagrams")
            << " dropped: more arrived at once than could be kept\n";
    }
    if (survey.missedSome != 0) {
        err << "tcpipctl: replies are being lost: " << survey.missedSome << " of "
            << survey.devices.size() << " devices missed at least one of " << survey.rounds
            << (survey.rounds == 1 ? " round" : " rounds");
        if (mayMiss) {
            err << "; a device may be missing: run with --rounds "
                << std::min(2 * std::max(survey.rounds, 3), 100);
        }
        err << '\n';
    }
    return survey.unlisted.Total() != 0 || engine.CutShort() != 0 || dropped != 0;
}

// A listed device that export leaves out, and why where its query tells.
std::string Unanswered(const SurveyedDevice& device) {
    std::string text = device.mac + " at " + device.address;
    if (!device.query) {
        return text;
    }
    switch (device.query->kind) {
    case QueryVerdict::Kind::Unreadable:
        return text + " (its reply could not be read)";
    case QueryVerdict::Kind::Several:
        return text + " (several devices answer to its last six digits)";
    case QueryVerdict::Kind::OtherDevice:
        return text + " (another device answered its query)";
    case QueryVerdict::Kind::NoAnswer:
    case QueryVerdict::Kind::Answered:
        break;
    }
    return text;
}

std::vector<SeenDevice> SeenOf(const SurveyResult& survey) {
    std::vector<SeenDevice> seen;
    for (const auto& device : survey.devices) {
        seen.push_back({device.mac, device.address, device.interfaceName});
    }
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

// This host's interfaces, listed once: their names, which the rows of a file exported
// elsewhere must name, and their addresses, which the workstation itself holds.
struct HostInterfaces {
    std::vector<std::string> names;
    std::map<std::string, std::string> addresses; // each with its interface
};

HostInterfaces ListHostInterfaces() {
    const TIdUDPClient keepsTheStack;
    TIdStack& stack = RequireSocketStack("getifaddrs");
    HostInterfaces host;
    for (const auto& entry : stack.ListInterfaces()) {
        if (std::ranges::find(host.names, entry.name) == host.names.end()) {
            host.names.push_back(entry.name);
        }
        if (entry.address) {
            host.addresses.emplace(stack.AddressToText(*entry.address), entry.name);
        }
    }
    return host;
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
        SocketTransport transport(SettingsOf(command));
        SiteEngine engine(transport, OptionsOf(command));
        SayWhenSerial(engine, command, err);
        const SurveyResult survey = engine.Survey({command.rounds, {}, true});
        std::vector<InventoryRow> rows;
        std::vector<std::string> unanswered;
        for (const auto& device : survey.devices) {
            if (!device.query || device.query->kind != QueryVerdict::Kind::Answered) {
                unanswered.push_back(Unanswered(device));
                continue;
            }
            const AddressValues& values = device.query->values;
            rows.push_back({0,
                            device.mac,
                            values.address,
                            values.mask,
                            values.gateway,
                            device.interfaceName,
                            {}});
        }
        const bool json = command.json || command.format == "json";
        out << (json ? InventoryJson(rows) : InventoryCsv(rows));
        if (!unanswered.empty()) {
            const bool one = unanswered.size() == 1;
            err << "tcpipctl: " << unanswered.size()
                << (one ? " device was listed but did not answer "
                        : " devices were listed but "
                          "did not answer ")
                << (command.retries + 1) << (command.retries == 0 ? " query" : " queries")
                << (one ? "; it is not in the inventory: " : "; they are not in the inventory: ");
            for (std::size_t i = 0; i < unanswered.size(); ++i) {
                err << (i == 0 ? "" : ", ") << unanswered[i];
            }
            err << '\n';
        }
        const bool lost = WarnOfLoss(survey, engine, transport, true, err);
        if (survey.devices.empty()) {
            return ReportError("tcpipctl: no device answered", ExitNoResult, false, out, err);
        }
        return unanswered.empty() && !lost ? ExitSuccess : ExitNoResult;
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
    HostInterfaces host;
    try {
        host = ListHostInterfaces();
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, command.json, out, err);
    }
    const Inventory inventory = ReadInventory(*text, &host.names);
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
        std::map<std::string, std::string> wanted;
        for (const auto& row : inventory.rows) {
            wanted[row.mac] = row.interfaceName;
        }
        SocketTransport transport(SettingsOf(command));
        SiteEngine engine(transport, OptionsOf(command));
        SayWhenSerial(engine, command, err);
        const SurveyResult survey = engine.Survey({command.rounds, wanted, true});
        SiteFindings findings;
        findings.seen = SeenOf(survey);
        findings.rounds = static_cast<std::size_t>(survey.rounds);
        bool anyMissing = false;
        for (const auto& [mac, query] : survey.wanted) {
            const bool listed = std::ranges::any_of(
                findings.seen, [&](const SeenDevice& device) { return device.mac == mac; });
            auto& answer = findings.queried[mac];
            if (query.kind != QueryVerdict::Kind::Answered) {
                anyMissing = anyMissing || !listed;
                continue;
            }
            answer = DeviceValues{query.values.address, query.values.mask, query.values.gateway};
            // Its query found it where the discoveries did not.
            if (!listed) {
                findings.seen.push_back(
                    {mac, query.values.address,
                     query.interfaces.empty() ? std::string{} : query.interfaces.front()});
            }
        }
        WarnOfLoss(survey, engine, transport, anyMissing, err);
        ProbeResults probed = ProbeMoves(MakePlan(inventory.rows, findings));
        findings.addressHolders = std::move(probed.holders);
        findings.uncheckedAddresses = std::move(probed.unchecked);
        findings.workstationAddresses = host.addresses;
        std::vector<PlannedRow> plan = MakePlan(inventory.rows, findings);
        // Held until the report is out: a Ctrl-C during the last write must not end the
        // program between that write and its report.
        std::optional<DeferredInterrupt> interrupt;
        if (!command.check) {
            std::vector<WriteOrder> orders;
            std::vector<PlannedRow*> ordered;
            for (auto& planned : plan) {
                if (planned.status == RowStatus::Change) {
                    orders.push_back({planned.row.mac,
                                      planned.interfaceName,
                                      {planned.after.ip, planned.after.mask, planned.after.gateway},
                                      command.restartAfterApply,
                                      std::chrono::seconds(command.settleSeconds),
                                      survey.wanted.at(planned.row.mac)});
                    ordered.push_back(&planned);
                }
            }
            // Every set and restart sent is recorded in the system log.
            SyslogWriteLog writeLog("tcpipctl");
            interrupt.emplace();
            const auto verdicts = engine.Write(orders, [&] { return interrupt->Interrupted(); });
            for (std::size_t i = 0; i < ordered.size(); ++i) {
                PlannedRow& planned = *ordered[i];
                planned.status = verdicts[i].changed   ? RowStatus::Changed
                                 : verdicts[i].refused ? RowStatus::Refused
                                                       : RowStatus::Failed;
                planned.reason = verdicts[i].reason;
                planned.took = verdicts[i].took;
            }
        }
        const int status = Report(command, plan, out);
        out << std::flush;
        if (interrupt && interrupt->Interrupted()) {
            err << "tcpipctl: interrupted: the writes under way were finished; no further "
                   "device was written\n";
            return std::max(status, ExitNoResult);
        }
        return status;
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, command.json, out, err);
    }
}

} // namespace tcpipset
