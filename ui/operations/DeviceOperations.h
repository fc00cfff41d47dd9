#pragma once

#include "ui/operations/MainView.h"
#include "ui/operations/QueryAnswers.h"
#include "ui/operations/ReplyInterfaces.h"
#include "ui/operations/UnlistedReplies.h"
#include "ui/operations/WriteRecord.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tcpipset {

class ReplyReceiver;
class TIdUDPClient;
struct ReplyTexts;

// The four operations of the main window and the selection that links them. Each runs
// to its end inside the handler that started it; failures they do not handle escape
// as exceptions for the caller's error report.
class DeviceOperations {
public:
    DeviceOperations(MainView& view, TIdUDPClient& client) : view_(view), client_(client) {}

    // Broadcasts permitted, then the discovery.
    void FormCreate();
    void DiscoverDevices();
    void Memo1DblClick();
    void QuerySelectedDevice();
    void SetTcpIpAddress();
    void RestartDevice();

    // True while an operation runs; a double click or button press meanwhile is ignored.
    bool Busy() const { return busy_; }
    // True once a receive loop has been ended by a sender that never stopped.
    bool ReceiveCutShort() const { return receiveCutShort_; }
    const std::string& SelectedDeviceMac() const { return selectedDeviceMac_; }
    // Selects a device by its MAC line without a list to click in, as the command line does.
    void SelectDevice(std::string macLine) { selectedDeviceMac_ = std::move(macLine); }
    // Keeps every limited broadcast to the interfaces of these names, as the command line's
    // --interface does; empty (the window's way): every interface that can carry one.
    void LimitInterfaces(std::vector<std::string> names) { interfaceLimit_ = std::move(names); }

    // What the query sent before a set or restart found. The command line runs no discovery,
    // so it learns only this way whether the MAC it was given names exactly one device.
    enum class ProbeOutcome {
        NotRun,
        NoAnswer,
        Unreadable,
        OneDevice,
        SeveralDevices,
        OtherDevice // one device answered, with another MAC than the one named
    };
    // Before a set or restart, once its values have passed every check, the selected line
    // is queried as the query does; the request is sent only when exactly one device
    // answered. The command line's way: the window relies on its discovery and query.
    void ProbeBeforeSending(bool probe) { probeBeforeSending_ = probe; }
    ProbeOutcome Probe() const { return probeOutcome_; }
    // The devices that answered the last query or probe.
    const QueryAnswers& Answers() const { return answers_; }
    // The datagrams of the last discovery that added no line, by why.
    const UnlistedReplies& Unlisted() const { return unlisted_; }
    // True when the last query, set or restart ended at a reply the walk could not read.
    bool ReplyUnreadable() const { return replyUnreadable_; }
    // What the device reported in its reply to the last set, when that was read to its end.
    using ReplyValues = AddressValues;
    const std::optional<ReplyValues>& SetReply() const { return setReply_; }
    // Where every set and restart that is sent is recorded, with how it ended; none (the
    // default) records nothing. Not owned: it must outlive every operation run after this.
    void SetWriteLog(WriteLog* log) { writeLog_ = log; }

private:
    void RunQuery();
    // Where a request for the selected line may leave, worked out once per operation and
    // used for every check and for the send; empty: within the limit, wherever a limited
    // broadcast can leave. Nullopt, after an error dialog, when the interfaces that the
    // line's replies came in on are all gone.
    std::optional<std::vector<std::string>> AimAtSelectedDevice();
    // Sends the query of the selected line and reads the replies as the query does, noting
    // each device that answers; with showValues each reply walked to its end fills the
    // fields. False when a walk aborted.
    bool SendQueryAndRead(const std::vector<std::string>& aim, bool showValues);
    // Empties what waits on the endpoint and keeps the next send to the aimed interfaces.
    void PrepareSend(const std::vector<std::string>& aim);
    // The probe of the command line: the interfaces where the one device answered (the aim
    // when that is not known), or nullopt, after an error dialog where one fits, when the
    // request must not be sent.
    std::optional<std::vector<std::string>> ProbeForOneDevice(const std::vector<std::string>& aim);
    // The reply's address with its finished mask and gateway texts.
    static ReplyValues FinishedValues(const std::string& replyAddress, const ReplyTexts& texts);
    void ShowReplyValues(const ReplyValues& values);
    bool AnyFieldEmpty() const;
    void EmptyFields();
    // A set or restart would reach another device too: another listed line with the same
    // last six digits where the request goes, or more than one device answering the line's
    // last query. Refused with an error dialog.
    bool RefusedForSharedSelector(const std::vector<std::string>& aim);
    // Whether a receive loop goes on after a datagram: not once replies have never stopped
    // (which ends it as an aborted walk would) nor once the window has been closed.
    bool KeepsReceiving(const ReplyReceiver& receiver);
    // The record of a write about to leave on the aim, without its outcome.
    WriteRecord StartRecord(WriteKind kind, const std::vector<std::string>& aim,
                            AddressValues requested) const;
    // Runs the send, and receive, of a write: a failure is recorded before it escapes, as
    // the request may have left.
    void SendRecorded(WriteRecord& record, const std::function<void()>& send);
    // Records how the write ended; what the device holds from now on is known only from a
    // set's reply.
    void EndWrite(WriteRecord& record, WriteOutcome outcome, std::string error = {});

    MainView& view_;
    TIdUDPClient& client_;
    std::string selectedDeviceMac_;
    std::vector<std::string> interfaceLimit_;
    ReplyInterfaces replyInterfaces_;
    QueryAnswers answers_;
    ProbeOutcome probeOutcome_ = ProbeOutcome::NotRun;
    std::optional<ReplyValues> setReply_;
    // What the device of a line last reported of itself: in its reply to the line's last
    // query, when one device answered, or to a set since. A write's old values.
    struct Reported {
        std::string line;
        AddressValues values;
    };
    std::optional<Reported> lastReported_;
    WriteLog* writeLog_ = nullptr;
    UnlistedReplies unlisted_;
    bool replyUnreadable_ = false;
    bool probeBeforeSending_ = false;
    bool busy_ = false;
    bool receiveCutShort_ = false;
};

} // namespace tcpipset
