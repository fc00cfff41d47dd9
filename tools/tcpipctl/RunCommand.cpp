#include "i18n/Translate.h"
#include "protocol/AddressValidation.h"
#include "protocol/ParseInteger.h"
#include "protocol/Requests.h"
#include "tools/tcpipctl/AddressOptions.h"
#include "tools/tcpipctl/Command.h"
#include "tools/tcpipctl/ConsoleView.h"
#include "tools/tcpipctl/NamedDevice.h"
#include "tools/tcpipctl/Output.h"
#include "tools/tcpipctl/SiteCommands.h"
#include "tools/tcpipctl/doctor/Doctor.h"
#include "transport/IdExceptions.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "transport/SocketStack.h"
#include "ui/operations/DeviceOperations.h"
#include "ui/operations/Messages.h"
#include "ui/operations/ReplyReceiver.h"
#include "ui/operations/SyslogWriteLog.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

namespace tcpipset {

namespace {

using json = nlohmann::ordered_json;
using i18n::Format;
using i18n::Tr;
using i18n::TrN;

// The program's name before each of its own messages, as a script's log reads them.
constexpr const char* Prefix = "tcpipctl: ";

// Where the window shows nothing: a reply to a query, set or restart that could not be read.
std::string UnreadableReply() {
    return Prefix + Tr("the device's reply could not be read");
}
// The window says nothing when its question is cancelled; the command line ends with it.
std::string Cancelled() {
    return Tr("Cancelled.");
}
std::string NothingAnswered() {
    return Prefix + Tr("no device answered; tcpipctl doctor (as root) tells what may keep replies "
                       "out");
}

// Passes every record on to the system log, and keeps the outcome of the last: the command
// decides on it, not on the words of the dialog that follows, which are the reader's.
class OutcomeLog final : public WriteLog {
public:
    explicit OutcomeLog(WriteLog& next) : next_(next) {}
    void Record(const WriteRecord& record) override {
        last_ = record.outcome;
        next_.Record(record);
    }
    std::optional<WriteOutcome> Last() const { return last_; }

private:
    WriteLog& next_;
    std::optional<WriteOutcome> last_;
};

// The text of a socket error without its number line.
std::string SocketErrorReason(const EIdSocketError& error) {
    const std::string message = error.Message();
    const auto lineBreak = message.find('\n');
    return lineBreak == std::string::npos ? message : message.substr(lineBreak + 1);
}

class Reporter {
public:
    Reporter(const Command& command, std::ostream& out, std::ostream& err)
        : json_(command.json), out_(out), err_(err) {}

    int Error(const std::string& message, int status) {
        return ReportError(message, status, json_, out_, err_);
    }
    // For an error after a result has been written: on standard error only.
    int ErrorAfterResult(const std::string& message, int status) {
        return ReportError(message, status, false, out_, err_);
    }
    bool Json() const { return json_; }
    std::ostream& Out() { return out_; }

private:
    bool json_;
    std::ostream& out_;
    std::ostream& err_;
};

std::string Field(const ConsoleView& view, AddressField field) {
    return view.FieldText(field);
}

json FieldsAsJson(const ConsoleView& view) {
    return {{"address", Field(view, AddressField::Edit1)},
            {"mask", Field(view, AddressField::Edit2)},
            {"gateway", Field(view, AddressField::Edit3)}};
}

// A dialog that the operation showed ends the command with its message; the outcome
// of a set is not an error and is reported by the caller.
int StatusOfMessage(const std::string& text) {
    if (text == messages::InvalidAddress() || text == messages::SetFieldEmpty() ||
        text == messages::RestartFieldEmpty()) {
        return ExitUsage;
    }
    return ExitNoResult;
}

// The window's fields swallow every key but a digit or "." as it is typed, so no other
// character ever reaches the validation or a device; the command line cannot swallow
// what was given, and refuses it. A backspace would have removed a character instead.
bool TypeableInField(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c != '\b' && FilterAddressKey(static_cast<unsigned char>(c)) != 0;
    });
}

// The listed lines with the reply's source address and interface, in columns as wide as
// their widest entry.
void WriteLongListing(const std::vector<ConsoleView::ListedDevice>& listed, std::ostream& out) {
    std::size_t macWidth = 0;
    std::size_t addressWidth = 0;
    for (const auto& device : listed) {
        macWidth = std::max(macWidth, device.mac.size());
        addressWidth = std::max(addressWidth, device.address.size());
    }
    for (const auto& device : listed) {
        const std::string interfaceName = device.interfaceName.empty() ? "-" : device.interfaceName;
        out << device.mac << std::string(macWidth - device.mac.size() + 2, ' ') << device.address
            << std::string(addressWidth - device.address.size() + 2, ' ') << interfaceName << '\n';
    }
}

// The listed lines that share their last six digits with another listed line, by those
// digits: a set or restart of one of them reaches them all.
std::map<std::string, std::vector<std::string>>
SharedSelectorGroups(const std::vector<ConsoleView::ListedDevice>& listed) {
    std::map<std::string, std::vector<std::string>> groups;
    for (const auto& device : listed) {
        auto& lines = groups[DeviceSelectorOf(device.mac)];
        if (std::ranges::find(lines, device.mac) == lines.end()) {
            lines.push_back(device.mac);
        }
    }
    std::erase_if(groups, [](const auto& group) { return group.second.size() < 2; });
    return groups;
}

void WarnOfSharedSelectors(const std::map<std::string, std::vector<std::string>>& groups,
                           std::ostream& err) {
    for (const auto& [selector, lines] : groups) {
        std::string devices;
        for (const auto& line : lines) {
            devices += (devices.empty() ? "" : ", ") + line;
        }
        err << Prefix
            // TRANSLATORS: %1 is a list of MAC addresses, %2 the six hex digits they end in.
            << Format(Tr("%1 share their last six digits %2: a set or restart of one would reach "
                         "them all"),
                      devices, selector)
            << '\n';
    }
}

int Discover(const Command& command, ConsoleView& view, DeviceOperations& operations,
             Reporter& report, std::ostream& err) {
    operations.FormCreate();
    for (const auto& line : operations.Unlisted().Descriptions()) {
        err << "tcpipctl: " << line << '\n';
    }
    if (view.Listed().empty()) {
        // Still a list, an empty one, so that a script that counts the devices can.
        if (report.Json()) {
            report.Out() << "[]\n";
        }
        return ReportError(NothingAnswered(), ExitNoResult, false, report.Out(), err);
    }
    const auto shared = SharedSelectorGroups(view.Listed());
    WarnOfSharedSelectors(shared, err);
    if (report.Json()) {
        json devices = json::array();
        for (const auto& device : view.Listed()) {
            json object{{"mac", device.mac},
                        {"address", device.address},
                        {"interface", device.interfaceName}};
            if (const auto group = shared.find(DeviceSelectorOf(device.mac));
                group != shared.end()) {
                json others = json::array();
                for (const auto& line : group->second) {
                    if (line != device.mac) {
                        others.push_back(line);
                    }
                }
                object["selector_shared_with"] = others;
            }
            devices.push_back(std::move(object));
        }
        report.Out() << JsonText(devices) << '\n';
    } else if (command.longListing) {
        WriteLongListing(view.Listed(), report.Out());
    } else {
        for (const auto& device : view.Listed()) {
            report.Out() << device.mac << '\n';
        }
    }
    return ExitSuccess;
}

// Every --interface must name an interface that can carry a limited broadcast now; the
// limit means nothing for any other destination.
std::string InterfaceProblem(const Command& command) {
    if (command.interfaces.empty()) {
        return {};
    }
    if (command.broadcast != LimitedBroadcastAddress) {
        return Prefix + Format(Tr("--interface limits only the limited broadcast %1"),
                               LimitedBroadcastAddress);
    }
    const TIdInterfaceList all = RequireSocketStack("getifaddrs").ListInterfaces();
    for (const auto& name : command.interfaces) {
        const std::string refusal = BroadcastRefusal(all, name);
        if (refusal == NoSuchInterface) {
            return Prefix + Format(Tr("--interface %1: no such interface"), name);
        }
        if (!refusal.empty()) {
            return Prefix +
                   // TRANSLATORS: %2 tells why the interface cannot send a broadcast.
                   Format(Tr("--interface %1: cannot carry a broadcast (%2)"), name, refusal);
        }
    }
    return {};
}

void WriteValues(const std::string& address, const std::string& mask, const std::string& gateway,
                 Reporter& report) {
    if (report.Json()) {
        report.Out() << JsonText({{"address", address}, {"mask", mask}, {"gateway", gateway}})
                     << '\n';
    } else {
        report.Out() << address << '\n' << mask << '\n' << gateway << '\n';
    }
}

// The window's time-out, with the device and how long it was waited for; without the
// program's name.
std::string QueryTimedOut(const Command& command) {
    // TRANSLATORS: %1 is the MAC address, %2 the time-out in milliseconds, %3 the window's
    // message "The request timed out.".
    return Format(Tr("no device answered the query for %1 within %2 ms (%3)"), command.mac,
                  command.timeoutMs, messages::Timeout());
}
std::string SetTimedOut(const Command& command) {
    // TRANSLATORS: %1 is the MAC address, %2 the time-out in milliseconds, %3 the window's
    // message "The request timed out.".
    return Format(Tr("no device answered the set for %1 within %2 ms (%3)"), command.mac,
                  command.timeoutMs, messages::Timeout());
}

// No device answered for the MAC; devices that said they hold another are named. Without
// the program's name.
std::string NoAnswerFor(const Command& command, const NamedDevice& named) {
    if (named.others.empty()) {
        return QueryTimedOut(command);
    }
    // TRANSLATORS: %1 is the MAC address asked for, %2 a list of "MAC at ADDRESS".
    return Format(Tr("no device answered for %1; %2 answered to its last six digits"), command.mac,
                  DeviceList(named.others));
}

// Without the program's name.
std::string SeveralAnswerFor(const std::string& mac,
                             const std::vector<const QueryAnswers::Device*>& devices) {
    // TRANSLATORS: %1 is a count, %2 the six hex digits, %3 the MAC address, %4 a list of
    // "MAC at ADDRESS".
    return Format(TrN("%1 device answers to the last six digits %2 of %3: %4",
                      "%1 devices answer to the last six digits %2 of %3: %4", devices.size()),
                  devices.size(), DeviceSelectorOf(mac), mac, DeviceList(devices));
}

// Queries the named device. The window shows the values of the last reply, whoever sent
// it; the command line takes only the answer of the device it names, and reports the error
// and sets status when there is not exactly one.
const QueryAnswers::Device* QueryNamedDevice(const Command& command, DeviceOperations& operations,
                                             Reporter& report, int& status) {
    operations.QuerySelectedDevice();
    const NamedDevice named = SortAnswers(command.mac, operations.Answers().Devices());
    if (operations.ReplyUnreadable()) {
        status = report.Error(UnreadableReply(), ExitNoResult);
    } else if (named.answering.size() > 1) {
        status = report.Error(Prefix + SeveralAnswerFor(command.mac, named.answering), ExitUsage);
    } else if (named.answering.empty()) {
        status = report.Error(Prefix + NoAnswerFor(command, named), ExitNoResult);
    } else {
        return named.answering.front();
    }
    return nullptr;
}

int Query(const Command& command, DeviceOperations& operations, Reporter& report) {
    int status = ExitSuccess;
    const QueryAnswers::Device* device = QueryNamedDevice(command, operations, report, status);
    if (device != nullptr) {
        WriteValues(device->address, device->mask, device->gateway, report);
    }
    return status;
}

// A set or restart goes out only when exactly one device answered the query sent before
// it, and that device is the one named; otherwise the command ends here, with nothing sent.
std::optional<int> ProbeRefusal(const Command& command, const DeviceOperations& operations,
                                Reporter& report) {
    const NamedDevice named = SortAnswers(command.mac, operations.Answers().Devices());
    switch (operations.Probe()) {
    case DeviceOperations::ProbeOutcome::SeveralDevices: {
        std::vector<const QueryAnswers::Device*> all = named.answering;
        all.insert(all.end(), named.others.begin(), named.others.end());
        return report.Error(
            // TRANSLATORS: %1 says which devices answer to the same digits.
            Prefix + Format(Tr("%1; nothing was sent (--interface may keep the request to one of "
                               "them)"),
                            SeveralAnswerFor(command.mac, all)),
            ExitUsage);
    }
    case DeviceOperations::ProbeOutcome::NoAnswer:
        return report.Error(
            Prefix +
                Format(Tr("no device answered the query for %1; nothing was sent"), command.mac),
            ExitNoResult);
    case DeviceOperations::ProbeOutcome::OtherDevice:
        return report.Error(
            // TRANSLATORS: %1 says which device did not answer, or which others did.
            Prefix + Format(Tr("%1; nothing was sent"), NoAnswerFor(command, named)), ExitNoResult);
    case DeviceOperations::ProbeOutcome::Unreadable:
        return report.Error(UnreadableReply(), ExitNoResult);
    case DeviceOperations::ProbeOutcome::NotRun:
    case DeviceOperations::ProbeOutcome::OneDevice:
        break;
    }
    return std::nullopt;
}

int Set(const Command& command, ConsoleView& view, DeviceOperations& operations,
        const OutcomeLog& written, Reporter& report) {
    operations.SetTcpIpAddress();
    if (view.Cancelled()) {
        return report.Error(Cancelled(), ExitNoResult);
    }
    if (const auto refused = ProbeRefusal(command, operations, report)) {
        return *refused;
    }
    if (operations.ReplyUnreadable() || view.Dialogs().empty()) {
        return report.Error(UnreadableReply(), ExitNoResult);
    }
    // A set that was sent ended as its record says; one that was not, with the dialog
    // that stopped it.
    const auto outcome = written.Last();
    if (outcome == WriteOutcome::NoReply) {
        return report.Error(Prefix + SetTimedOut(command), ExitNoResult);
    }
    if (outcome != WriteOutcome::Updated && outcome != WriteOutcome::NotUpdated) {
        const std::string& message = view.Dialogs().back().text;
        return report.Error(message, StatusOfMessage(message));
    }
    // The window compares texts; the command line compares what the device holds.
    const auto& reply = operations.SetReply();
    const auto holdsAsked = [&](const std::string& address, const std::string& mask,
                                const std::string& gateway) {
        return SameDottedQuad(command.ip, address) && SameDottedQuad(command.mask, mask) &&
               SameDottedQuad(command.gateway, gateway);
    };
    bool updated = reply && holdsAsked(reply->address, reply->mask, reply->gateway);
    json held = FieldsAsJson(view);
    if (!updated) {
        // A device may take the new values and answer the set from its old address, or
        // not at all as it should: before "not updated", a second look at what it holds.
        operations.QuerySelectedDevice();
        const NamedDevice named = SortAnswers(command.mac, operations.Answers().Devices());
        if (named.answering.size() == 1 && named.answering.front()->read) {
            const QueryAnswers::Device& now = *named.answering.front();
            updated = holdsAsked(now.address, now.mask, now.gateway);
            held = {{"address", now.address}, {"mask", now.mask}, {"gateway", now.gateway}};
        }
    }
    if (report.Json()) {
        json result{{"updated", updated}};
        result.update(held);
        report.Out() << JsonText(result) << '\n';
    } else {
        report.Out() << (updated ? messages::Updated() : messages::NotUpdated()) << '\n';
        if (!updated) {
            // TRANSLATORS: %1 is the MAC address; %2, %3 and %4 the IP address, subnet mask
            // and gateway that the device holds.
            report.Out() << Format(Tr("%1 holds %2 %3 %4"), command.mac,
                                   held["address"].get<std::string>(),
                                   held["mask"].get<std::string>(),
                                   held["gateway"].get<std::string>())
                         << '\n';
        }
    }
    return updated ? ExitSuccess : ExitNoResult;
}

// After a restart: queries until the device answers for its MAC again, or the time is up;
// the answer that came.
std::optional<QueryAnswers::Device> AnswersAgain(const Command& command,
                                                 DeviceOperations& operations, int seconds) {
    using Clock = std::chrono::steady_clock;
    // Even with a short time-out a query leaves at most twice a second.
    constexpr auto QuerySpacing = std::chrono::milliseconds(500);
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (true) {
        const auto sent = Clock::now();
        operations.QuerySelectedDevice();
        const NamedDevice named = SortAnswers(command.mac, operations.Answers().Devices());
        if (!named.answering.empty()) {
            return *named.answering.front();
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_until(std::min(sent + QuerySpacing, deadline));
    }
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ",") + name;
    }
    return text;
}

int Restart(const Command& command, ConsoleView& view, DeviceOperations& operations,
            Reporter& report) {
    if (command.restartWithQueried) {
        // Restarted with what it holds: the values its query reports.
        int status = ExitSuccess;
        const QueryAnswers::Device* device = QueryNamedDevice(command, operations, report, status);
        if (device == nullptr) {
            return status;
        }
        if (device->mask.empty() || device->gateway.empty()) {
            return report.Error(Prefix + Format(Tr("%1 reported no subnet mask or gateway; give "
                                                   "--ip, --mask and --gateway"),
                                                command.mac),
                                ExitNoResult);
        }
        view.SetFields(device->address, device->mask, device->gateway);
    }
    // Read now: the restart empties the fields.
    json result{{"restarted", true},
                {"mac", command.mac},
                {"interface", ""},
                {"address", Field(view, AddressField::Edit1)},
                {"mask", Field(view, AddressField::Edit2)},
                {"gateway", Field(view, AddressField::Edit3)}};
    operations.RestartDevice();
    if (view.Cancelled()) {
        return report.Error(Cancelled(), ExitNoResult);
    }
    if (const auto refused = ProbeRefusal(command, operations, report)) {
        return *refused;
    }
    if (!view.Dialogs().empty()) {
        const std::string& message = view.Dialogs().back().text;
        return report.Error(message, StatusOfMessage(message));
    }
    const NamedDevice named = SortAnswers(command.mac, operations.Answers().Devices());
    if (!named.answering.empty()) {
        result["interface"] = Joined(named.answering.front()->interfaces);
    }
    const std::string on = result["interface"].get<std::string>();
    if (!report.Json()) {
        const std::string address = result["address"].get<std::string>();
        const std::string mask = result["mask"].get<std::string>();
        const std::string gateway = result["gateway"].get<std::string>();
        // TRANSLATORS: %1 is the MAC address; the address, subnet mask and gateway sent follow
        // it, and in the second form the interface the restart left on comes before them.
        report.Out() << (on.empty() ? Format(Tr("%1: restart sent (%2 %3 %4)"), command.mac,
                                             address, mask, gateway)
                                    : Format(Tr("%1: restart sent on %2 (%3 %4 %5)"), command.mac,
                                             on, address, mask, gateway))
                     << std::endl;
    }
    const auto started = std::chrono::steady_clock::now();
    const auto again = command.waitSeconds ? AnswersAgain(command, operations, *command.waitSeconds)
                                           : std::nullopt;
    const bool back = !command.waitSeconds || again.has_value();
    if (command.waitSeconds) {
        result["answered"] = back;
    }
    if (report.Json()) {
        report.Out() << JsonText(result) << '\n';
    } else if (again) {
        const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - started)
                                .count() /
                            100;
        const std::string interfaces = Joined(again->interfaces);
        const std::string seconds = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
        report.Out() << (interfaces.empty()
                             // TRANSLATORS: %1 is the MAC address, %2 the seconds since the restart
                             // (with a decimal point), %3 the address the answer came from, %4 the
                             // interfaces it came in on.
                             ? Format(Tr("%1: answered again after %2 s, from %3"), command.mac,
                                      seconds, again->address)
                             : Format(Tr("%1: answered again after %2 s, from %3 on %4"),
                                      command.mac, seconds, again->address, interfaces))
                     << '\n';
    }
    if (!back) {
        return report.ErrorAfterResult(
            Prefix + Format(Tr("%1 did not answer a query within %2 s of its restart"), command.mac,
                            *command.waitSeconds),
            ExitNoResult);
    }
    return ExitSuccess;
}

int RunVerb(const Command& command, ConsoleView& view, DeviceOperations& operations,
            const OutcomeLog& written, Reporter& report, std::ostream& err) {
    switch (command.verb) {
    case Verb::Discover:
        return Discover(command, view, operations, report, err);
    case Verb::Query:
        return Query(command, operations, report);
    case Verb::Set:
        return Set(command, view, operations, written, report);
    case Verb::Restart:
    case Verb::Doctor:
    case Verb::Export:
    case Verb::Apply:
        break;
    }
    return Restart(command, view, operations, report);
}

// The window says nothing of replies it could not take; a script should know.
void WarnOfLostReplies(const DeviceOperations& operations, const TIdUDPClient& client,
                       std::ostream& err) {
    if (operations.ReceiveCutShort()) {
        err << Prefix
            << Format(Tr("datagrams kept arriving without a pause; stopped listening after %1 s or "
                         "%2 datagrams"),
                      ReplyReceiver::ArrivalTimeLimit.count(), ReplyReceiver::ArrivalCountLimit)
            << '\n';
    }
    if (const auto dropped = client.DroppedDatagrams(); dropped != 0) {
        err << Prefix
            << Format(TrN("%1 datagram dropped: more arrived at once than could be kept",
                          "%1 datagrams dropped: more arrived at once than could be kept", dropped),
                      dropped)
            << '\n';
    }
}

} // namespace

void ApplyToClient(const Command& command, TIdUDPClient& client) {
    client.SetBufferSize(576);
    client.SetHost(command.broadcast);
    client.SetPort(command.port);
    client.SetReceiveTimeout(command.timeoutMs);
    if (command.receiveBuffer >= 0) {
        client.SetReceiveBufferRequest(command.receiveBuffer);
    }
    client.SetBoundPort(command.localPort);
}

int RunCommand(const Command& command, std::istream& in, std::ostream& out, std::ostream& err) {
    Reporter report(command, out, err);
    if (!TypeableInField(command.ip) || !TypeableInField(command.mask) ||
        !TypeableInField(command.gateway)) {
        return report.Error(messages::InvalidAddress(), ExitUsage);
    }
    ConsoleView view(command.yes, in, err);
    view.NameDevice(command.mac);
    view.SetFields(command.ip, command.mask, command.gateway);
    try {
        TIdUDPClient client;
        ApplyToClient(command, client);
        if (const std::string problem = InterfaceProblem(command); !problem.empty()) {
            return report.Error(problem, ExitUsage);
        }
        if (command.verb == Verb::Doctor) {
            return RunDoctor(command, out, err);
        }
        if (command.verb == Verb::Export) {
            return RunExport(command, out, err);
        }
        if (command.verb == Verb::Apply) {
            return RunApply(command, out, err);
        }
        if (command.localPort != 0) {
            // Bound now, so that a port in use is told as such before anything is sent.
            try {
                client.SetActive(true);
            } catch (const EIdSocketError& error) {
                // TRANSLATORS: %1 is the port number, %2 the system's reason.
                return report.Error(Prefix + Format(Tr("--local-port %1: %2"), command.localPort,
                                                    SocketErrorReason(error)),
                                    ExitFailure);
            }
        }
        // Every set and restart sent is recorded in the system log, as the window's are.
        SyslogWriteLog syslog("tcpipctl");
        OutcomeLog writeLog(syslog);
        DeviceOperations operations(view, client);
        operations.SetWriteLog(&writeLog);
        operations.SelectDevice(command.mac);
        operations.LimitInterfaces(command.interfaces);
        operations.ProbeBeforeSending(true);
        const int status = RunVerb(command, view, operations, writeLog, report, err);
        WarnOfLostReplies(operations, client, err);
        return status;
    } catch (const EConvertError& error) {
        return report.Error(error.Message(), ExitUsage);
    } catch (const Exception& error) {
        return report.Error(error.Message(), ExitFailure);
    } catch (const std::exception& error) {
        return report.Error(error.what(), ExitFailure);
    }
}

} // namespace tcpipset
