#pragma once

#include "ui/operations/MainView.h"

#include <string>
#include <utility>

namespace tcpipset {

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
    const std::string& SelectedDeviceMac() const { return selectedDeviceMac_; }
    // Selects a device by its MAC line without a list to click in, as the command line does.
    void SelectDevice(std::string macLine) { selectedDeviceMac_ = std::move(macLine); }

private:
    void RunQuery();
    void ShowReplyValues(const std::string& replyAddress, const ReplyTexts& texts);
    bool AnyFieldEmpty() const;
    void EmptyFields();

    MainView& view_;
    TIdUDPClient& client_;
    std::string selectedDeviceMac_;
    bool busy_ = false;
};

} // namespace tcpipset
