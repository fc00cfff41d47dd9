#include "ui/window/TfrmMain.h"

#include "i18n/Translate.h"
#include "protocol/AddressValidation.h"
#include "ui/window/AddressEdit.h"
#include "ui/window/AppIcon.h"
#include "ui/window/ApplicationCursor.h"
#include "ui/window/DesignFonts.h"
#include "ui/window/ErrorReport.h"
#include "ui/window/FocusButton.h"
#include "ui/window/MacListMemo.h"
#include "ui/window/MessageDialogs.h"
#include "ui/window/TooltipTiming.h"

#include <QCloseEvent>
#include <QLabel>
#include <algorithm>

namespace tcpipset {

using i18n::Tr;

namespace {

constexpr int ClientWidth = 291;
constexpr int ClientHeight = 365;
constexpr int WindowLeft = 313;
constexpr int WindowTop = 128;

QLabel* MakeLabel(QWidget* parent, const std::string& text, QRect geometry, const QFont& font) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

TAddressEdit* MakeEdit(QWidget* parent, QRect geometry) {
    auto* edit = new TAddressEdit(parent);
    edit->setGeometry(geometry);
    edit->setFont(DesignFont(DesignFace::MsGothic, 13));
    edit->setReadOnly(true);
    return edit;
}

TFocusButton* MakeButton(QWidget* parent, const std::string& caption, QRect geometry,
                         int pixelHeight) {
    auto* button = new TFocusButton(QString::fromStdString(caption), parent);
    button->setGeometry(geometry);
    button->setFont(DesignFont(DesignFace::MsGothic, pixelHeight, true));
    return button;
}

} // namespace

TfrmMain::TfrmMain(const EndpointSettings& endpoint)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    LoadComponents(endpoint);
    CreateControls();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::LoadComponents(const EndpointSettings& endpoint) {
    IdUDPClient1.BeginLoading();
    IdUDPClient1.SetBufferSize(576);
    IdUDPClient1.SetHost(endpoint.host);
    IdUDPClient1.SetPort(endpoint.port);
    IdUDPClient1.SetReceiveTimeout(endpoint.receiveTimeout);
    if (endpoint.receiveBuffer) {
        IdUDPClient1.SetReceiveBufferRequest(*endpoint.receiveBuffer);
    }
    IdUDPClient1.EndLoading();

    IdAntiFreeze1.BeginLoading();
    IdAntiFreeze1.SetIdleTimeOut(100);
    IdAntiFreeze1.EndLoading();
}

void TfrmMain::CreateControls() {
    setWindowTitle(QString::fromStdString(Tr("TCP/IP Settings Utility")));
    setWindowIcon(ApplicationIcon());
    setFont(DesignFont(DesignFace::MsSansSerif, 11));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFixedSize(ClientWidth, ClientHeight);
    move(WindowLeft, WindowTop);

    const QFont gothic16 = DesignFont(DesignFace::MsGothic, 16);
    const QFont gothic12 = DesignFont(DesignFace::MsGothic, 12);

    Button1 = MakeButton(this, Tr("Set IP"), {24, 312, 65, 25}, 13);
    SetTimedTooltip(*Button1, Tr("Sets the IP address of the print server."));
    Label1 = MakeLabel(this, Tr("MAC address"), {48, 32, 88, 16}, gothic16);
    Edit1 = MakeEdit(this, {152, 176, 113, 21});
    Edit1->SetUpperCase();
    Edit2 = MakeEdit(this, {152, 216, 113, 21});
    Edit3 = MakeEdit(this, {152, 256, 113, 21});
    Button2 = MakeButton(this, Tr("Exit"), {112, 312, 65, 25}, 13);
    Button3 = MakeButton(this, Tr("Restart"), {200, 312, 65, 25}, 11);
    SetTimedTooltip(*Button3, Tr("Resets the print server."));
    Label2 = MakeLabel(this, Tr("IP address"), {24, 176, 60, 12}, gothic12);
    Label3 = MakeLabel(this, Tr("Subnet mask"), {24, 216, 96, 12}, gothic12);
    Label4 = MakeLabel(this, Tr("Gateway address"), {24, 256, 120, 12}, gothic12);
    Memo1 = new TMacListMemo(this);
    Memo1->setGeometry(48, 56, 185, 89);
    Memo1->setFont(DesignFont(DesignFace::MsGothic, 19));
    SetTimedTooltip(*Memo1, Tr("Move the cursor to a MAC address and double-click it to select "
                               "the device."));
    Label5 = MakeLabel(this, "Version1.0.0.3", {216, 0, 68, 13}, font());
    // A label is as wide as its text; where the installed face is wider than the design
    // face, it grows to the right rather than cutting off the version.
    Label5->resize(std::max(68, Label5->sizeHint().width()), 13);

    setTabOrder(Button1, Memo1);
    setTabOrder(Memo1, Edit1);
    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, Button2);
    setTabOrder(Button2, Button3);
    Button1->setFocus(Qt::OtherFocusReason);

    // No exception may reach Qt's event loop: every handler runs reported.
    connect(Button1, &QPushButton::clicked, this,
            [this] { RunReported([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this,
            [this] { RunReported([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { RunReported([this] { Button3Click(); }); });
    Memo1->SetDoubleClickHandler([this] { RunReported([this] { Memo1DblClick(); }); });
    Edit1->SetKeyPressHandler([this](char32_t& key) { RunReported([&] { Edit1KeyPress(key); }); });
    Edit2->SetKeyPressHandler([this](char32_t& key) { RunReported([&] { Edit2KeyPress(key); }); });
    Edit3->SetKeyPressHandler([this](char32_t& key) { RunReported([&] { Edit3KeyPress(key); }); });
}

void TfrmMain::FormCreate() {
    operations_.FormCreate();
}

void TfrmMain::Button1Click() {
    operations_.SetTcpIpAddress();
}

void TfrmMain::Button2Click() {
    close();
}

void TfrmMain::Button3Click() {
    operations_.RestartDevice();
}

void TfrmMain::Memo1DblClick() {
    operations_.Memo1DblClick();
}

void TfrmMain::Edit1KeyPress(char32_t& key) {
    key = FilterAddressKey(key);
}

void TfrmMain::Edit2KeyPress(char32_t& key) {
    key = FilterAddressKey(key);
}

void TfrmMain::Edit3KeyPress(char32_t& key) {
    key = FilterAddressKey(key);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // The window only hides here; it is destroyed after the event loop has ended, so an
    // operation still waiting below this event keeps every object it uses.
    closed_ = true;
    event->accept();
}

TAddressEdit& TfrmMain::Field(AddressField field) const {
    switch (field) {
    case AddressField::Edit1:
        return *Edit1;
    case AddressField::Edit2:
        return *Edit2;
    case AddressField::Edit3:
        break;
    }
    return *Edit3;
}

std::string TfrmMain::FieldText(AddressField field) const {
    return Field(field).text().toStdString();
}

void TfrmMain::SetFieldText(AddressField field, const std::string& text) {
    Field(field).setText(QString::fromStdString(text));
}

void TfrmMain::SetFieldReadOnly(AddressField field, bool readOnly) {
    Field(field).setReadOnly(readOnly);
}

void TfrmMain::ClearMacList() {
    Memo1->clear();
}

void TfrmMain::AppendMacLine(const std::string& line) {
    Memo1->AppendLine(QString::fromStdString(line));
}

int TfrmMain::LineOfSelection() const {
    return Memo1->LineOfSelection();
}

int TfrmMain::LineIndex(int line) const {
    return Memo1->LineIndex(line);
}

std::string TfrmMain::LineText(int line) const {
    return Memo1->LineText(line).toStdString();
}

void TfrmMain::SetSelectionStart(int start) {
    Memo1->SetSelectionStart(start);
}

void TfrmMain::SetSelectionLength(int length) {
    Memo1->SetSelectionLength(length);
}

std::string TfrmMain::SelectedText() const {
    return Memo1->SelectedText().toStdString();
}

// After the window has been closed, a dialog of an operation that was still waiting is
// answered at once with its cancel button, and the operation runs out unseen.
DialogResult TfrmMain::ShowConfirmation(const std::string& text) {
    return closed_ ? DialogResult::Cancel : tcpipset::ShowConfirmation(this, text);
}

void TfrmMain::ShowError(const std::string& text) {
    if (!closed_) {
        tcpipset::ShowError(this, text);
    }
}

void TfrmMain::ShowNotice(const std::string& text) {
    if (!closed_) {
        tcpipset::ShowNotice(this, text);
    }
}

void TfrmMain::SetCursor(int cursor) {
    SetApplicationCursor(cursor);
}

} // namespace tcpipset
