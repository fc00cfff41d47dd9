#include "tools/tcpipctl/SiteCommands.h"

#include "i18n/Translate.h"
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

using i18n::Format;
using i18n::Tr;
using i18n::TrN;

// The program's name before each of its own messages.
constexpr const char* Prefix = "tcpipctl: ";

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
        err << Prefix
            << Format(Tr("--local-port %1: one socket serves every request, so the devices are "
                         "asked one at a time"),
                      command.localPort)
            << '\n';
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
        err << Prefix
            << Format(Tr("datagrams kept arriving without a pause; stopped listening after %1 "
                         "datagrams"),
                      SiteEngine::ArrivalLimit)
            << '\n';
    }
    const std::uint64_t dropped = transport.Dropped();
    if (dropped != 0) {
        err << Prefix
            << Format(TrN("%1 datagram dropped: more arrived at once than could be kept",
                          "%1 datagrams dropped: more arrived at once than could be kept", dropped),
                      dropped)
            << '\n';
    }
    if (survey.missedSome != 0) {
        const auto rounds = static_cast<std::uint64_t>(survey.rounds);
        // TRANSLATORS: %1 devices of the %2 found missed a reply in at least one of %3
        // discoveries.
        std::string lost = Format(TrN("replies are being lost: %1 of %2 devices missed at least "
                                      "one of %3 round",
                                      "replies are being lost: %1 of %2 devices missed at least "
                                      "one of %3 rounds",
                                      rounds),
                                  survey.missedSome, survey.devices.size(), survey.rounds);
        if (mayMiss) {
            lost = Format(Tr("%1; a device may be missing: run with --rounds %2"), lost,
                          std::min(2 * std::max(survey.rounds, 3), 100));
        }
        err << Prefix << lost << '\n';
    }
    return survey.unlisted.Total() != 0 || engine.CutShort() != 0 || dropped != 0;
}

// A listed device that export leaves out, and why where its query tells.
std::string Unanswered(const SurveyedDevice& device) {
    const std::string text = Format(Tr("%1 at %2"), device.mac, device.address);
    if (!device.query) {
        return text;
    }
    switch (device.query->kind) {
    case QueryVerdict::Kind::Unreadable:
        // TRANSLATORS: %1 is a device's MAC address and the address it answered from.
        return Format(Tr("%1 (its reply could not be read)"), text);
    case QueryVerdict::Kind::Several:
        return Format(Tr("%1 (several devices answer to its last six digits)"), text);
    case QueryVerdict::Kind::OtherDevice:
        return Format(Tr("%1 (another device answered its query)"), text);
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
                Tr("iputils' arping (Debian package iputils-arping) is missing");
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
            std::string list;
            for (const auto& device : unanswered) {
                list += (list.empty() ? "" : ", ") + device;
            }
            const auto tries = static_cast<std::uint64_t>(command.retries + 1);
            err << Prefix
                // TRANSLATORS: %1 counts the devices, %2 is "N queries", %3 lists the devices.
                << Format(TrN("%1 device was listed but did not answer %2; it is not in the "
                              "inventory: %3",
                              "%1 devices were listed but did not answer %2; they are not in the "
                              "inventory: %3",
                              unanswered.size()),
                          unanswered.size(), Format(TrN("%1 query", "%1 queries", tries), tries),
                          list)
                << '\n';
        }
        const bool lost = WarnOfLoss(survey, engine, transport, true, err);
        if (survey.devices.empty()) {
            return ReportError(Prefix + Tr("no device answered"), ExitNoResult, false, out, err);
        }
        return unanswered.empty() && !lost ? ExitSuccess : ExitNoResult;
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, false, out, err);
    }
}

int RunApply(const Command& command, std::ostream& out, std::ostream& err) {
    const auto text = ReadWhole(command.inventoryFile);
    if (!text) {
        return ReportError(Prefix + Format(Tr("%1: cannot be read"), command.inventoryFile),
                           ExitUsage, command.json, out, err);
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
        // TRANSLATORS: %1 is the inventory file, %2 the number of problems found in it.
        return ReportError(Prefix + Format(TrN("%1: %2 problem; nothing was sent",
                                               "%1: %2 problems; nothing was sent", count),
                                           command.inventoryFile, count),
                           ExitUsage, command.json, out, err);
    }
    // As set warns of them and goes on.
    for (const auto& row : inventory.rows) {
        if (!row.warning.empty()) {
            err << ProblemText(command.inventoryFile,
                               {row.line, Format(Tr("warning: %1"), row.warning)})
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
            err << Prefix
                << Tr("interrupted: the writes under way were finished; no further device was "
                      "written")
                << '\n';
            return std::max(status, ExitNoResult);
        }
        return status;
    } catch (const Exception& error) {
        return ReportError(error.Message(), ExitFailure, command.json, out, err);
    }
}

} // namespace tcpipset
