// The window with its operations against a print server on the loopback interface.

#include "tests/operations/LoopbackDevice.h"
#include "tests/ui/WindowFixture.h"
#include "ui/operations/Messages.h"
#include "ui/window/AddressEdit.h"
#include "ui/window/ApplicationCursor.h"
#include "ui/window/ErrorReport.h"
#include "ui/window/FocusButton.h"
#include "ui/window/MacListMemo.h"
#include "ui/window/MessageDialogs.h"

#include <QTimer>
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tcpipset {
namespace {

using testing::Datagram;
using testing::DeviceReply;
using testing::LoopbackDevice;
using testing::ScriptedReply;

struct Shown {
    DialogKind kind;
    std::string text;
    bool operator==(const Shown&) const = default;
};

void PrintTo(const Shown& shown, std::ostream* os) {
    *os << "{" << static_cast<int>(shown.kind) << ", " << shown.text << "}";
}

// Dialogs and error reports are recorded instead of shown; confirmations get Yes.
class WindowOperationsTest : public testing::WindowTest {
protected:
    void SetUp() override {
        testing::WindowTest::SetUp();
        previousDialogs = SetDialogSink([this](DialogKind kind, const std::string& text) {
            dialogs.push_back({kind, text});
            return DialogResult::Yes;
        });
        previousReports =
            SetErrorReportSink([this](const std::string& text) { reports.push_back(text); });
    }
    void TearDown() override {
        SetDialogSink(previousDialogs);
        SetErrorReportSink(previousReports);
        EXPECT_EQ(ApplicationCursor(), crDefault);
    }

    void OpenWith(LoopbackDevice::Script script) {
        device = std::make_unique<LoopbackDevice>(std::move(script));
        Open({"127.0.0.1", device->Port(), 200, std::nullopt});
    }

    void DoubleClickLine(int line, Qt::MouseButton button = Qt::LeftButton) {
        TMacListMemo& memo = *window->Memo1;
        QTextCursor caret(memo.document());
        caret.setPosition(
            std::min(memo.LineIndex(line) + 2, memo.document()->characterCount() - 1));
        const QPoint point = memo.cursorRect(caret).center();
        QTest::mouseDClick(memo.viewport(), button, Qt::NoModifier, point);
    }

    std::vector<Shown> dialogs;
    std::vector<std::string> reports;
    DialogSink previousDialogs;
    ErrorReportSink previousReports;
    std::unique_ptr<LoopbackDevice> device;
};

const Datagram first =
    DeviceReply({255, 255, 255, 0}, {192, 168, 0, 1}, {0x00, 0x80, 0x92, 0x1A, 0x2B, 0x3C});
const Datagram second =
    DeviceReply({255, 255, 0, 0}, {10, 0, 0, 1}, {0x00, 0x80, 0x92, 0x0A, 0x0B, 0x0C});

TEST_F(WindowOperationsTest, DiscoveryListsEveryDeviceThenDoubleClickQueriesOne) {
    OpenWith([](const Datagram& request) -> std::vector<ScriptedReply> {
        if (std::string(request.begin(), request.end()) == "PTN000000J") {
            return {{first}, {second}};
        }
        return {{first}};
    });
    window->FormCreate();
    EXPECT_EQ(window->Memo1->toPlainText(), QStringLiteral("0080921A2B3C\n0080920A0B0C\n"));

    DoubleClickLine(1);
    EXPECT_EQ(window->Operations().SelectedDeviceMac(), "0080920A0B0C");
    EXPECT_EQ(window->Memo1->SelectedText(), QStringLiteral("0080920A0B0C"));
    EXPECT_EQ(window->Edit1->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(window->Edit2->text(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(window->Edit3->text(), QStringLiteral("192.168.0.1"));
    EXPECT_FALSE(window->Edit1->isReadOnly());
    EXPECT_TRUE(dialogs.empty());
}

TEST_F(WindowOperationsTest, DoubleClickOnTheEmptyLineOnlyTellsSo) {
    OpenWith([](const Datagram&) { return std::vector<ScriptedReply>{}; });
    DoubleClickLine(0);
    EXPECT_EQ(dialogs, (std::vector<Shown>{{DialogKind::Notice, messages::NoMacSelected()}}));
    EXPECT_TRUE(window->Edit1->isReadOnly());
    EXPECT_TRUE(device->Requests().empty());
}

TEST_F(WindowOperationsTest, DoubleClickOfAnotherButtonNeitherQueriesNorTouchesTheFields) {
    OpenWith([](const Datagram&) { return std::vector<ScriptedReply>{{first}}; });
    window->ClearMacList();
    window->AppendMacLine("0080921A2B3C"); // the caret stays on this line
    window->AppendMacLine("0080920A0B0C");
    window->SetFieldText(AddressField::Edit1, "192.168.1.20");
    for (Qt::MouseButton button : {Qt::MiddleButton, Qt::RightButton}) {
        DoubleClickLine(1, button);
    }
    EXPECT_TRUE(device->Requests().empty());
    EXPECT_TRUE(dialogs.empty());
    EXPECT_EQ(window->Edit1->text(), QStringLiteral("192.168.1.20"));
    EXPECT_TRUE(window->Edit1->isReadOnly());
}

TEST_F(WindowOperationsTest, EnterAndSpaceAtStartPressButton1) {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    EXPECT_EQ(dialogs, (std::vector<Shown>{{DialogKind::Error, messages::SetFieldEmpty()},
                                           {DialogKind::Error, messages::SetFieldEmpty()}}));
}

TEST_F(WindowOperationsTest, EscapingErrorIsReportedAndTheWindowGoesOn) {
    for (auto field : {AddressField::Edit1, AddressField::Edit2, AddressField::Edit3}) {
        window->SetFieldReadOnly(field, false);
    }
    window->SetFieldText(AddressField::Edit1, "192.168.1.20");
    window->SetFieldText(AddressField::Edit2, "255.255.255.0");
    window->SetFieldText(AddressField::Edit3, "192.168.1"); // cannot be converted
    QTest::mouseClick(window->Button3, Qt::LeftButton);

    EXPECT_EQ(reports, std::vector<std::string>{"'' は整数ではありません."});
    EXPECT_EQ(window->Edit3->text(), QStringLiteral("192.168.1"));
    EXPECT_FALSE(window->Operations().Busy());
    QTest::mouseClick(window->Button1, Qt::LeftButton); // still answers
    EXPECT_EQ(dialogs.back().kind, DialogKind::Error);
}

TEST_F(WindowOperationsTest, CloseDuringAWaitEndsAfterTheWaitWithoutFurtherDialogs) {
    OpenWith([](const Datagram&) { return std::vector<ScriptedReply>{}; }); // never answers
    for (auto field : {AddressField::Edit1, AddressField::Edit2, AddressField::Edit3}) {
        window->SetFieldReadOnly(field, false);
    }
    window->SetFieldText(AddressField::Edit1, "192.168.1.20");
    window->SetFieldText(AddressField::Edit2, "255.255.255.0");
    window->SetFieldText(AddressField::Edit3, "192.168.1.1");
    QTimer::singleShot(50, window->Button2, [this] { window->Button2->click(); });

    QTest::mouseClick(window->Button1, Qt::LeftButton);

    // The close came in the middle of the receive; the time-out that followed told nobody.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(dialogs, (std::vector<Shown>{{DialogKind::Confirmation, messages::ConfirmSet()}}));
    EXPECT_EQ(device->Requests().size(), 1U);
    EXPECT_FALSE(window->Operations().Busy());
}

} // namespace
} // namespace tcpipset
