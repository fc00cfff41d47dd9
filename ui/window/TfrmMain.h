#pragma once

#include "transport/IdAntiFreeze.h"
#include "transport/IdUDPClient.h"
#include "ui/operations/DeviceOperations.h"
#include "ui/operations/MainView.h"
#include "ui/window/QtPumpDispatcher.h"

#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>

class QLabel;

namespace tcpipset {

class TAddressEdit;
class TFocusButton;
class TMacListMemo;

// Where IdUDPClient1 sends and how long it waits. The shipped program always uses the
// defaults; tests of the window pass a loopback peer.
struct EndpointSettings {
    std::string host = "255.255.255.255";
    std::int32_t port = 5001;
    std::int32_t receiveTimeout = 1000;
    // The receive buffer to ask for; none: the endpoint's own request.
    std::optional<std::int32_t> receiveBuffer;
};

// The one window: the MAC list, the three address fields, three buttons and the version
// label, and the UDP endpoint and idle pump that its operations use.
class TfrmMain : public QWidget, public MainView {
    // Declared first: the pump among the components holds on to it.
    QtPumpDispatcher dispatcher_;

public:
    explicit TfrmMain(const EndpointSettings& endpoint = {});
    ~TfrmMain() override;

    // Handlers. Each lets its errors escape; the connections report them.
    void FormCreate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Memo1DblClick();
    void Edit1KeyPress(char32_t& key);
    void Edit2KeyPress(char32_t& key);
    void Edit3KeyPress(char32_t& key);

    DeviceOperations& Operations() { return operations_; }

    // MainView
    std::string FieldText(AddressField field) const override;
    void SetFieldText(AddressField field, const std::string& text) override;
    void SetFieldReadOnly(AddressField field, bool readOnly) override;
    void ClearMacList() override;
    void AppendMacLine(const std::string& line) override;
    int LineOfSelection() const override;
    int LineIndex(int line) const override;
    std::string LineText(int line) const override;
    void SetSelectionStart(int start) override;
    void SetSelectionLength(int length) override;
    std::string SelectedText() const override;
    DialogResult ShowConfirmation(const std::string& text) override;
    void ShowError(const std::string& text) override;
    void ShowNotice(const std::string& text) override;
    void SetCursor(int cursor) override;
    bool Closed() const override { return closed_; }

    // The components, in the order of the window's resource. The controls belong to the
    // window as their Qt parent.
    TFocusButton* Button1 = nullptr;
    TIdUDPClient IdUDPClient1;
    QLabel* Label1 = nullptr;
    TAddressEdit* Edit1 = nullptr;
    TAddressEdit* Edit2 = nullptr;
    TAddressEdit* Edit3 = nullptr;
    TFocusButton* Button2 = nullptr;
    TFocusButton* Button3 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    TMacListMemo* Memo1 = nullptr;
    TIdAntiFreeze IdAntiFreeze1{dispatcher_};
    QLabel* Label5 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void LoadComponents(const EndpointSettings& endpoint);
    TAddressEdit& Field(AddressField field) const;

    // Set once the window is closed: an operation still waiting then ends without asking
    // or telling the operator anything more.
    bool closed_ = false;
    DeviceOperations operations_{*this, IdUDPClient1};
};

} // namespace tcpipset
