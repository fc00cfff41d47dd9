#include "ui/operations/DeviceOperations.h"

#include "protocol/AddressValidation.h"
#include "protocol/ParseInteger.h"
#include "protocol/ReplyWalk.h"
#include "protocol/Requests.h"
#include "transport/IdInterfaces.h"
#include "transport/IdUDPClient.h"
#include "ui/operations/Messages.h"
#include "ui/operations/ProcessUser.h"
#include "ui/operations/ReplyReceiver.h"
#include "ui/operations/WaitCursor.h"

#include <algorithm>

namespace tcpipset {

namespace {

// Marks an operation as running for its whole extent, so that a double click or a
// button press handled during one of its waits does not start a second one on the
// same endpoint.
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
};

std::string AsText(const Bytes& bytes) {
    return {bytes.begin(), bytes.end()};
}

int CharacterCount(const std::string& utf8) {
    return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
    }));
}

constexpr AddressField AllFields[] = {AddressField::Edit1, AddressField::Edit2,
                                      AddressField::Edit3};

// Each part of the gateway is stored as one byte, so a part above 255 would reach the
// device as another address; the host rules are not applied, since a device may hold a
// gateway that they reject.
bool GatewayPartsFitBytes(const std::string& gatewayText) {
    const auto values = AddressTextToValues(gatewayText);
    return std::all_of(values.begin(), values.end(),
                       [](std::int32_t value) { return value >= 0 && value <= 255; });
}

// Compared as four numbers: a device reports 255.255.255.0 for an entered 255.255.255.000,
// and holds what was asked.
bool SameAddress(const std::string& reported, const std::string& requested) {
    try {
        return AddressTextToValues(reported) == AddressTextToValues(requested);
    } catch (const EConvertError&) {
        return false;
    }
}

bool Holds(const AddressValues& reported, const AddressValues& requested) {
    return SameAddress(reported.address, requested.address) &&
           SameAddress(reported.mask, requested.mask) &&
           SameAddress(reported.gateway, requested.gateway);
}

} // namespace

void DeviceOperations::FormCreate() {
    client_.SetBroadcastEnabled(true);
    DiscoverDevices();
}

void DeviceOperations::DiscoverDevices() {
    if (busy_) {
        return;
    }
    BusyScope busy(busy_);
    ReplyReceiver receiver(client_, DiscoveryReplyBufferSize, DiscoveryBytesPerReceive);
    WaitCursor cursor(view_);
    view_.ClearMacList();
    replyInterfaces_.Clear();
    client_.SetBroadcastInterfaces(interfaceLimit_);
    client_.DiscardPendingDatagrams();
    const std::uint64_t droppedBefore = client_.DroppedDatagrams();
    client_.SendText(AsText(BuildDiscoveryRequest()));
    unlisted_ = {};
    ReplyTexts texts;
    do {
        receiver.Receive();
        if (receiver.HoldsReply()) {
            // One device's odd reply, or a stray datagram, must not hide the devices that
            // answer after it: it adds no line, and the discovery reads on.
            if (WalkReplyItems(receiver.Buffer(), ReplyUse::MacAddresses, texts) ==
                WalkOutcome::Abort) {
                unlisted_.Count(UnlistedReplies::Kind::Unreadable, receiver.PeerAddress(),
                                texts.MacText);
            } else if (!texts.MacText.empty()) {
                view_.AppendMacLine(texts.MacText);
                view_.NoteListedReply(receiver.PeerAddress(), receiver.ArrivalInterface());
                replyInterfaces_.Note(texts.MacText, receiver.ArrivalInterface());
            } else {
                unlisted_.Count(UnlistedReplies::Kind::WithoutMac, receiver.PeerAddress());
            }
            texts.MacText.clear();
        } else if (receiver.Arrived()) {
            unlisted_.Count(receiver.Count() == 0 ? UnlistedReplies::Kind::Empty
                                                  : UnlistedReplies::Kind::FirstByteZero,
                            receiver.PeerAddress());
        }
        // Until nothing arrives: an empty datagram, or a long first one, ends no discovery.
    } while (receiver.Arrived() && KeepsReceiving(receiver));
    cursor.Restore();
    // A silent loss would leave devices out of the list without a word.
    if (const std::uint64_t lost = client_.DroppedDatagrams() - droppedBefore;
        lost != 0 && !view_.Closed()) {
        view_.ShowNotice(messages::RepliesLost(lost));
    }
}

void DeviceOperations::Memo1DblClick() {
    if (busy_) {
        return;
    }
    BusyScope busy(busy_);
    const int line = view_.LineOfSelection();
    view_.SetSelectionStart(view_.LineIndex(line));
    view_.SetSelectionLength(CharacterCount(view_.LineText(line)));
    if (view_.SelectedText().empty()) {
        view_.ShowNotice(messages::NoMacSelected());
        return;
    }
    for (const auto field : AllFields) {
        view_.SetFieldReadOnly(field, false);
    }
    selectedDeviceMac_ = view_.LineText(view_.LineOfSelection());
    RunQuery();
}

void DeviceOperations::QuerySelectedDevice() {
    if (busy_) {
        return;
    }
    BusyScope busy(busy_);
    RunQuery();
}

void DeviceOperations::RunQuery() {
    replyUnreadable_ = false;
    EmptyFields();
    if (const auto aim = AimAtSelectedDevice()) {
        SendQueryAndRead(*aim, true);
    }
}

bool DeviceOperations::SendQueryAndRead(const std::vector<std::string>& aim, bool showValues) {
    const Bytes request = BuildQueryRequest(selectedDeviceMac_);
    client_.SetBroadcastEnabled(true);
    ReplyReceiver receiver(client_, DeviceReplyBufferSize, DeviceBytesPerReceive);
    WaitCursor cursor(view_);
    answers_.Start(selectedDeviceMac_);
    lastReported_.reset();
    PrepareSend(aim);
    client_.SendText(AsText(request));
    ReplyTexts texts;
    do {
        receiver.Receive();
        if (receiver.HoldsReply()) {
            const std::string replyAddress = receiver.PeerAddress();
            // The same steps read the MAC items; the walk below decides what is used.
            ReplyTexts macTexts;
            WalkReplyItems(receiver.Buffer(), ReplyUse::MacAddresses, macTexts);
            QueryAnswers::Device& answering =
                answers_.Note(replyAddress, macTexts.MacText, receiver.ArrivalInterface());
            texts.MaskText.clear();
            texts.GatewayText.clear();
            if (WalkReplyItems(receiver.Buffer(), ReplyUse::Settings, texts) ==
                WalkOutcome::Abort) {
                replyUnreadable_ = true;
                return false;
            }
            const ReplyValues values = FinishedValues(replyAddress, texts);
            answering.mask = values.mask;
            answering.gateway = values.gateway;
            answering.read = true;
            if (showValues) {
                ShowReplyValues(values);
            }
        }
        // An empty datagram, or a long one, is an arrival all the same: a twin may answer
        // after it.
    } while (receiver.Arrived() && KeepsReceiving(receiver));
    if (const auto& devices = answers_.Devices(); devices.size() == 1 && devices.front().read) {
        const QueryAnswers::Device& device = devices.front();
        lastReported_ = {selectedDeviceMac_, {device.address, device.mask, device.gateway}};
    }
    return true;
}

void DeviceOperations::PrepareSend(const std::vector<std::string>& aim) {
    client_.SetBroadcastInterfaces(aim);
    client_.DiscardPendingDatagrams();
}

std::optional<std::vector<std::string>>
DeviceOperations::ProbeForOneDevice(const std::vector<std::string>& aim) {
    const bool readable = SendQueryAndRead(aim, false);
    const auto& devices = answers_.Devices();
    const bool otherMac = std::ranges::any_of(devices, [this](const QueryAnswers::Device& device) {
        return !device.mac.empty() && device.mac != selectedDeviceMac_;
    });
    if (answers_.Several(selectedDeviceMac_)) {
        probeOutcome_ = ProbeOutcome::SeveralDevices;
        view_.ShowError(messages::SelectorShared());
    } else if (!readable) {
        // As an aborted walk ends any operation: silently.
        probeOutcome_ = ProbeOutcome::Unreadable;
    } else if (devices.empty() || otherMac) {
        // A device that says it holds another MAC is not the one named.
        probeOutcome_ = devices.empty() ? ProbeOutcome::NoAnswer : ProbeOutcome::OtherDevice;
        view_.ShowError(messages::Timeout());
    } else {
        probeOutcome_ = ProbeOutcome::OneDevice;
    }
    if (probeOutcome_ != ProbeOutcome::OneDevice) {
        return std::nullopt;
    }
    // The request then leaves only where the device answered, when that is known.
    std::vector<std::string> answeredOn;
    for (const auto& device : devices) {
        answeredOn.insert(answeredOn.end(), device.interfaces.begin(), device.interfaces.end());
    }
    if (answeredOn.empty() || client_.Host() != LimitedBroadcastAddress) {
        return aim;
    }
    return answeredOn;
}

bool DeviceOperations::KeepsReceiving(const ReplyReceiver& receiver) {
    if (receiver.Unending()) {
        receiveCutShort_ = true;
        return false;
    }
    return !view_.Closed();
}

std::optional<std::vector<std::string>> DeviceOperations::AimAtSelectedDevice() {
    if (client_.Host() != LimitedBroadcastAddress) {
        // Any other destination is routed as the system routes it; no interface is chosen.
        return interfaceLimit_;
    }
    const auto seen = replyInterfaces_.Of(selectedDeviceMac_, client_.UsableBroadcastInterfaces(),
                                          interfaceLimit_);
    if (!seen) {
        // Elsewhere the request would reach only devices that were never seen, one of
        // which may well hold the same last six digits.
        view_.ShowError(messages::InterfaceGone());
        return std::nullopt;
    }
    return seen->empty() ? interfaceLimit_ : *seen;
}

bool DeviceOperations::RefusedForSharedSelector(const std::vector<std::string>& aim) {
    // Every device whose MAC ends in the same six digits takes a set or restart, so one
    // device's settings would be written into another.
    if (!replyInterfaces_.SharesSelector(selectedDeviceMac_, aim) &&
        !answers_.Several(selectedDeviceMac_)) {
        return false;
    }
    view_.ShowError(messages::SelectorShared());
    return true;
}

DeviceOperations::ReplyValues DeviceOperations::FinishedValues(const std::string& replyAddress,
                                                               const ReplyTexts& texts) {
    return {replyAddress, FinishAddressText(texts.MaskText), FinishAddressText(texts.GatewayText)};
}

void DeviceOperations::ShowReplyValues(const ReplyValues& values) {
    view_.SetFieldText(AddressField::Edit1, values.address);
    view_.SetFieldText(AddressField::Edit2, values.mask);
    view_.SetFieldText(AddressField::Edit3, values.gateway);
}

void DeviceOperations::EmptyFields() {
    for (const auto field : AllFields) {
        view_.SetFieldText(field, "");
    }
}

WriteRecord DeviceOperations::StartRecord(WriteKind kind, const std::vector<std::string>& aim,
                                          AddressValues requested) const {
    WriteRecord record;
    record.kind = kind;
    record.mac = selectedDeviceMac_;
    if (client_.Host() == LimitedBroadcastAddress) {
        // No aim: every interface that can carry it, or, without any, where it is routed.
        record.interfaces = aim.empty() ? client_.UsableBroadcastInterfaces() : aim;
    }
    if (lastReported_ && lastReported_->line == selectedDeviceMac_) {
        record.old = lastReported_->values;
    }
    record.requested = std::move(requested);
    return record;
}

void DeviceOperations::SendRecorded(WriteRecord& record, const std::function<void()>& send) {
    try {
        send();
    } catch (const std::exception& error) {
        EndWrite(record, WriteOutcome::Error, error.what());
        throw;
    }
}

void DeviceOperations::EndWrite(WriteRecord& record, WriteOutcome outcome, std::string error) {
    lastReported_.reset();
    if (record.reply) {
        lastReported_ = {record.mac, *record.reply};
    }
    if (writeLog_ == nullptr) {
        return;
    }
    record.outcome = outcome;
    record.error = std::move(error);
    record.user = RealUserName();
    record.sudoUser = SudoUserName();
    writeLog_->Record(record);
}

bool DeviceOperations::AnyFieldEmpty() const {
    return std::any_of(std::begin(AllFields), std::end(AllFields),
                       [this](AddressField field) { return view_.FieldText(field).empty(); });
}

void DeviceOperations::SetTcpIpAddress() {
    if (busy_) {
        return;
    }
    BusyScope busy(busy_);
    probeOutcome_ = ProbeOutcome::NotRun;
    replyUnreadable_ = false;
    setReply_.reset();
    ReplyTexts texts;
    if (AnyFieldEmpty()) {
        view_.ShowError(messages::SetFieldEmpty());
        return;
    }
    auto aim = AimAtSelectedDevice();
    if (!aim || RefusedForSharedSelector(*aim)) {
        return;
    }
    if (view_.ShowConfirmation(messages::ConfirmSet()) == DialogResult::Cancel) {
        return;
    }
    const std::string ip = view_.FieldText(AddressField::Edit1);
    const std::string mask = view_.FieldText(AddressField::Edit2);
    const std::string gateway = view_.FieldText(AddressField::Edit3);
    if (!ValidateAddress(ip, AddressKind::IpAddress) ||
        !ValidateAddress(mask, AddressKind::SubnetMask) ||
        !ValidateAddress(gateway, AddressKind::GatewayAddress)) {
        view_.ShowError(messages::InvalidAddress());
        return;
    }
    const Bytes request = BuildSetRequest(selectedDeviceMac_, ip, mask, gateway);
    if (probeBeforeSending_ && !(aim = ProbeForOneDevice(*aim))) {
        return;
    }
    client_.SetBroadcastEnabled(true);
    ReplyReceiver receiver(client_, DeviceReplyBufferSize, DeviceBytesPerReceive);
    WriteRecord record = StartRecord(WriteKind::Set, *aim, {ip, mask, gateway});
    {
        WaitCursor cursor(view_);
        PrepareSend(*aim);
        SendRecorded(record, [&] {
            client_.SendBytes(request, static_cast<std::int32_t>(request.size()));
            receiver.Receive();
        });
        if (receiver.HoldsReply()) {
            if (WalkReplyItems(receiver.Buffer(), ReplyUse::Settings, texts) ==
                WalkOutcome::Abort) {
                replyUnreadable_ = true;
                EndWrite(record, WriteOutcome::UnreadableReply);
                return;
            }
            setReply_ = FinishedValues(receiver.PeerAddress(), texts);
            ShowReplyValues(*setReply_);
        }
    }
    // Recorded before any dialog, which waits for the operator.
    if (receiver.PeerAddress().empty()) {
        EndWrite(record, WriteOutcome::NoReply);
        view_.ShowError(messages::Timeout());
        EmptyFields();
        return;
    }
    record.reply = setReply_;
    EndWrite(record, setReply_ && Holds(*setReply_, record.requested) ? WriteOutcome::Updated
                                                                      : WriteOutcome::NotUpdated);
    // A reply confirms the new address only when it comes from that address.
    const bool updated = setReply_ && ip == setReply_->address && mask == setReply_->mask &&
                         gateway == setReply_->gateway;
    if (updated) {
        view_.ShowNotice(messages::Updated());
    } else {
        view_.ShowError(messages::NotUpdated());
    }
}

void DeviceOperations::RestartDevice() {
    if (busy_) {
        return;
    }
    BusyScope busy(busy_);
    probeOutcome_ = ProbeOutcome::NotRun;
    replyUnreadable_ = false;
    if (AnyFieldEmpty()) {
        view_.ShowError(messages::RestartFieldEmpty());
        return;
    }
    const std::string ip = view_.FieldText(AddressField::Edit1);
    const std::string mask = view_.FieldText(AddressField::Edit2);
    const std::string gateway = view_.FieldText(AddressField::Edit3);
    auto aim = AimAtSelectedDevice();
    if (!aim || RefusedForSharedSelector(*aim)) {
        return;
    }
    if (view_.ShowConfirmation(messages::ConfirmRestart(ip)) == DialogResult::Cancel) {
        return;
    }
    if (!ValidateAddress(ip, AddressKind::IpAddress) ||
        !ValidateAddress(mask, AddressKind::SubnetMask) || !GatewayPartsFitBytes(gateway)) {
        view_.ShowError(messages::InvalidAddress());
        return;
    }
    const Bytes request = BuildRestartRequest(selectedDeviceMac_, ip, mask, gateway);
    if (probeBeforeSending_ && !(aim = ProbeForOneDevice(*aim))) {
        return;
    }
    client_.SetBroadcastEnabled(true);
    ReplyReceiver receiver(client_, DeviceReplyBufferSize, DeviceBytesPerReceive);
    WriteRecord record = StartRecord(WriteKind::Restart, *aim, {ip, mask, gateway});
    {
        WaitCursor cursor(view_);
        PrepareSend(*aim);
        SendRecorded(
            record, [&] { client_.SendBytes(request, static_cast<std::int32_t>(request.size())); });
    }
    EndWrite(record, WriteOutcome::Sent);
    EmptyFields();
    // Whatever the device answers is dropped unread, until it stays silent for one
    // receive time-out.
    do {
        receiver.Receive();
    } while (receiver.Arrived() && KeepsReceiving(receiver));
}

} // namespace tcpipset
