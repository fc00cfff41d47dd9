#include "tests/i18n/Language.h"
#include "tests/ui/ModalDriver.h"
#include "ui/window/Application.h"
#include "ui/window/ErrorReport.h"
#include "ui/window/MessageDialogs.h"
#include "ui/window/TMessageForm.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>

namespace tcpipset {
namespace {

using testing::KeyTarget;
using testing::ModalDriver;

// How the operator closes a dialog.
enum class Closing { Enter, Space, Escape, CloseBox, TabThenEnter, LetterY };

void Close(QWidget& modal, Closing how) {
    switch (how) {
    case Closing::Enter:
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Return);
        break;
    case Closing::Space:
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Space);
        break;
    case Closing::Escape:
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Escape);
        break;
    case Closing::CloseBox:
        modal.close();
        break;
    case Closing::TabThenEnter:
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Tab);
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Return);
        break;
    case Closing::LetterY:
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Y, Qt::NoModifier);
        break;
    }
}

// What the operator saw before closing it.
struct Seen {
    QString caption;
    QStringList buttons;
    QString focused;
    bool hasIcon = false;
};

Seen Look(QWidget& modal) {
    Seen seen;
    seen.caption = modal.windowTitle();
    for (auto* button : modal.findChildren<QPushButton*>()) {
        seen.buttons << button->text();
    }
    if (auto* focus = qobject_cast<QPushButton*>(modal.focusWidget())) {
        seen.focused = focus->text();
    }
    for (auto* label : modal.findChildren<QLabel*>()) {
        seen.hasIcon = seen.hasIcon || !label->pixmap().isNull();
    }
    return seen;
}

class DialogTest : public ::testing::Test {
protected:
    void TearDown() override {
        // Every dialog is gone once the call that showed it has returned.
        EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevelsBefore);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    }
    qsizetype topLevelsBefore = QApplication::topLevelWidgets().size();
};

struct ConfirmationCase {
    const char* name;
    Closing how;
    DialogResult expected;
    const char* language = languages::Japanese;
};
void PrintTo(const ConfirmationCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfirmationTest : public DialogTest,
                         public ::testing::WithParamInterface<ConfirmationCase> {};

TEST_P(ConfirmationTest, ResultOfEachWayOut) {
    languages::ScopedLanguage language(GetParam().language);
    const bool english = std::string(GetParam().language) == languages::English;
    Seen seen;
    ModalDriver driver([&](QWidget& modal) {
        seen = Look(modal);
        Close(modal, GetParam().how);
    });
    EXPECT_EQ(ShowConfirmation(nullptr, "TCP/IPアドレスを変更しますか。"), GetParam().expected);
    ASSERT_TRUE(driver.Acted());
    const QString yes = english ? QStringLiteral("&Yes") : QStringLiteral("はい(&Y)");
    EXPECT_EQ(seen.caption, english ? QStringLiteral("Warning") : QStringLiteral("警告"));
    EXPECT_EQ(seen.buttons, (QStringList{yes, english ? QStringLiteral("Cancel")
                                                      : QStringLiteral("キャンセル")}));
    EXPECT_EQ(seen.focused, yes);
    EXPECT_TRUE(seen.hasIcon);
}

INSTANTIATE_TEST_SUITE_P(
    WaysOut, ConfirmationTest,
    ::testing::Values(ConfirmationCase{"Enter", Closing::Enter, DialogResult::Yes},
                      ConfirmationCase{"Space", Closing::Space, DialogResult::Yes},
                      ConfirmationCase{"LetterY", Closing::LetterY, DialogResult::Yes},
                      ConfirmationCase{"Escape", Closing::Escape, DialogResult::Cancel},
                      ConfirmationCase{"CloseBox", Closing::CloseBox, DialogResult::Cancel},
                      ConfirmationCase{"TabThenEnter", Closing::TabThenEnter, DialogResult::Cancel},
                      // The English caption keeps Y as its letter.
                      ConfirmationCase{"LetterYInEnglish", Closing::LetterY, DialogResult::Yes,
                                       languages::English}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct MessageCase {
    const char* name;
    std::function<void(const std::string&)> show;
    QString caption;
    bool hasIcon;
    Closing how;
    const char* language = languages::Japanese;
};
void PrintTo(const MessageCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageTest : public DialogTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(MessageTest, OneOkButtonClosesEveryWay) {
    languages::ScopedLanguage language(GetParam().language);
    Seen seen;
    ModalDriver driver([&](QWidget& modal) {
        seen = Look(modal);
        Close(modal, GetParam().how);
    });
    GetParam().show("タイムアウトが発生しました。");
    ASSERT_TRUE(driver.Acted());
    EXPECT_EQ(seen.caption, GetParam().caption);
    EXPECT_EQ(seen.buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(seen.focused, QStringLiteral("OK"));
    EXPECT_EQ(seen.hasIcon, GetParam().hasIcon);
}

const auto showError = [](const std::string& text) { ShowError(nullptr, text); };
const auto showNotice = [](const std::string& text) { ShowNotice(nullptr, text); };

INSTANTIATE_TEST_SUITE_P(
    WaysOut, MessageTest,
    ::testing::Values(
        MessageCase{"ErrorEnter", showError, QStringLiteral("エラー"), true, Closing::Enter},
        MessageCase{"ErrorEscape", showError, QStringLiteral("エラー"), true, Closing::Escape},
        MessageCase{"ErrorCloseBox", showError, QStringLiteral("エラー"), true, Closing::CloseBox},
        MessageCase{"ErrorInEnglish", showError, QStringLiteral("Error"), true, Closing::Enter,
                    languages::English},
        MessageCase{"NoticeEnter", showNotice, QStringLiteral("ui_tests"), false, Closing::Enter},
        MessageCase{"NoticeEscape", showNotice, QStringLiteral("ui_tests"), false,
                    Closing::Escape}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(DialogTest, FormFollowsItsLayoutCentredOnTheScreen) {
    TMessageForm form(
        nullptr, QStringLiteral("警告"), QStyle::SP_MessageBoxWarning,
        QStringLiteral("192.168.0.10  IPアドレスのプリントサーバーをリセットしますか。"),
        {{"はい(&Y)", DialogResult::Yes}, {"キャンセル", DialogResult::Cancel}}, 0,
        DialogResult::Cancel);
    const MessageDialogLayout& layout = form.Layout();
    const DialogUnits units = DialogUnitsOf(form.font());

    EXPECT_EQ(form.size(), QSize(layout.client.width, layout.client.height));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    ASSERT_EQ(form.Buttons().size(), 2U);
    for (std::size_t i = 0; i < 2; ++i) {
        const LayoutRect& r = layout.buttons[i];
        EXPECT_EQ(form.Buttons()[i]->geometry(), QRect(r.left, r.top, r.width, r.height));
        EXPECT_EQ(r.height, units.Vertical(14));
        EXPECT_GE(r.width, units.Horizontal(50));
    }
    EXPECT_TRUE(form.Buttons()[0]->isDefault());
    EXPECT_EQ(layout.buttons[1].left - (layout.buttons[0].left + layout.buttons[0].width),
              units.Horizontal(4));
    // Centred: equal room left and right of the row, within a pixel.
    const int rightRoom = layout.client.width - (layout.buttons[1].left + layout.buttons[1].width);
    EXPECT_LE(std::abs(layout.buttons[0].left - rightRoom), 1);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(form.x() + form.width() / 2 - screen.center().x()), 1);
    EXPECT_LE(std::abs(form.y() + form.height() / 2 - screen.center().y()), 1);
}

struct ReportCase {
    const char* name;
    std::string message;
    QString shown;
};
void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class ErrorReportTest : public DialogTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ErrorReportTest, SystemBoxWithTitleAndFullStop) {
    QString caption;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    ModalDriver driver([&](QWidget& modal) {
        auto& box = dynamic_cast<QMessageBox&>(modal);
        caption = box.windowTitle();
        text = box.text();
        format = box.textFormat();
        icon = box.icon();
        buttons = static_cast<int>(box.buttons().size());
        QTest::keyClick(&KeyTarget(modal), Qt::Key_Return);
    });
    ShowErrorReport(GetParam().message);
    ASSERT_TRUE(driver.Acted());
    EXPECT_EQ(caption, ApplicationTitle());
    EXPECT_EQ(text, GetParam().shown);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorReportTest,
    ::testing::Values(ReportCase{"NotAnInteger", "'1.1' は整数ではありません",
                                 QStringLiteral("'1.1' は整数ではありません.")},
                      ReportCase{"MarkupAsTyped", "<b>1</b>.1.1.1",
                                 QStringLiteral("<b>1</b>.1.1.1.")}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ErrorReportSinkTest, ReportsAnyEscapingErrorWithoutThrowing) {
    std::vector<std::string> reports;
    const ErrorReportSink previous =
        SetErrorReportSink([&](const std::string& text) { reports.push_back(text); });
    RunReported([] { throw std::runtime_error("Socket Error # 10065\r\nNo route to host."); });
    RunReported([] { throw 42; });
    RunReported([] {});
    SetErrorReportSink(previous);
    ASSERT_EQ(reports.size(), 2U);
    EXPECT_EQ(reports[0], "Socket Error # 10065\r\nNo route to host.");
    EXPECT_EQ(reports[1], "Unknown error.");
}

} // namespace
} // namespace tcpipset
