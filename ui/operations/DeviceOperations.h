#pragma once

#include "ui/operations/MainView.h"
#include "ui/operations/ReplyInterfaces.h"

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

private:
    void RunQuery();
    void ShowReplyValues(const std::string& replyAddress, const ReplyTexts& texts);
    bool AnyFieldEmpty() const;
    void EmptyFields();
    // A request for the selected line leaves only on the interfaces its replies came in
    // on; on every interface (within the limit) when none of them is known or left.
    void AimAtSelectedDevice();
    // The interfaces that a request for the selected line leaves on; empty: every one.
    std::vector<std::string> InterfacesOfSelectedDevice() const;
    // A set or restart would reach another device too: refused with an error dialog.
    bool RefusedForSharedSelector();
    // Whether a receive loop goes on after a datagram: not once replies have never stopped
    // (which ends it as an aborted walk would) nor once the window has been closed.
    bool KeepsReceiving(const ReplyReceiver& receiver);

    MainView& view_;
    TIdUDPClient& client_;
    std::string selectedDeviceMac_;
    std::vector<std::string> interfaceLimit_;
    ReplyInterfaces replyInterfaces_;
    bool busy_ = false;
    bool receiveCutShort_ = false;
};

} // namespace tcpipset
