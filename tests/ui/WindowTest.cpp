#include "tests/i18n/Language.h"
#include "tests/ui/WindowFixture.h"
#include "ui/window/AddressEdit.h"
#include "ui/window/ApplicationCursor.h"
#include "ui/window/FocusButton.h"
#include "ui/window/MacListMemo.h"
#include "ui/window/TooltipTiming.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QLabel>
#include <QStyle>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <utility>

namespace tcpipset {
namespace {

using testing::WindowTest;

TEST_F(WindowTest, FixedSizeAtItsDesignedPlace) {
    EXPECT_EQ(window->windowTitle(), QStringLiteral("TCP/IP設定ユーティリティ"));
    EXPECT_EQ(window->size(), QSize(291, 365));
    EXPECT_EQ(window->pos(), QPoint(313, 128));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(window->palette().color(window->backgroundRole()),
              QApplication::palette().color(QPalette::Button));
    EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_F(WindowTest, IconIs32By32In16Colours) {
    const QImage image = window->windowIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(image.size(), QSize(32, 32));
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            colours.insert(image.pixel(x, y));
        }
    }
    EXPECT_LE(colours.size(), 16U);
}

struct ControlCase {
    const char* name;
    QRect geometry;
    QString family;
    int pixelSize;
    bool bold;
    QString text;
    const char* language = languages::Japanese;
};
void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.name;
}

QWidget* Control(TfrmMain& w, const std::string& name) {
    const std::map<std::string, QWidget*> controls{
        {"Label5", w.Label5},   {"Label1", w.Label1},   {"Memo1", w.Memo1},
        {"Label2", w.Label2},   {"Edit1", w.Edit1},     {"Label3", w.Label3},
        {"Edit2", w.Edit2},     {"Label4", w.Label4},   {"Edit3", w.Edit3},
        {"Button1", w.Button1}, {"Button2", w.Button2}, {"Button3", w.Button3}};
    return controls.at(name);
}

QString TextOf(QWidget* control) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    return qobject_cast<QPlainTextEdit*>(control)->toPlainText();
}

class WindowControlTest : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(WindowControlTest, PlaceFontAndText) {
    const ControlCase& c = GetParam();
    if (std::string(c.language) != languages::Japanese) {
        languages::ScopedLanguage language(c.language);
        Open({"127.0.0.1", 9, 200, std::nullopt});
    }
    const std::string row = c.name;
    QWidget* control = Control(*window, row.substr(0, row.find("InEnglish")));
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->geometry(), c.geometry);
    EXPECT_EQ(control->font().pixelSize(), c.pixelSize);
    EXPECT_EQ(control->font().bold(), c.bold);
    EXPECT_EQ(QFontInfo(control->font()).family(), c.family);
    EXPECT_EQ(TextOf(control), c.text);
    // The layout is fixed: a caption in any language must fit its control.
    EXPECT_LE(control->fontMetrics().horizontalAdvance(c.text), control->width()) << c.language;
}

const QString gothic = QStringLiteral("IPAGothic");

INSTANTIATE_TEST_SUITE_P(
    Controls, WindowControlTest,
    ::testing::Values(
        ControlCase{"Label1", {48, 32, 88, 16}, gothic, 16, false, "MACアドレス"},
        ControlCase{"Memo1", {48, 56, 185, 89}, gothic, 19, false, ""},
        ControlCase{"Label2", {24, 176, 60, 12}, gothic, 12, false, "IPアドレス"},
        ControlCase{"Edit1", {152, 176, 113, 21}, gothic, 13, false, ""},
        ControlCase{"Label3", {24, 216, 96, 12}, gothic, 12, false, "サブネットマスク"},
        ControlCase{"Edit2", {152, 216, 113, 21}, gothic, 13, false, ""},
        ControlCase{"Label4", {24, 256, 120, 12}, gothic, 12, false, "ゲートウエイアドレス"},
        ControlCase{"Edit3", {152, 256, 113, 21}, gothic, 13, false, ""},
        ControlCase{"Button1", {24, 312, 65, 25}, gothic, 13, true, "IP設定"},
        ControlCase{"Button2", {112, 312, 65, 25}, gothic, 13, true, "終了"},
        ControlCase{"Button3", {200, 312, 65, 25}, gothic, 11, true, "リスタート"},
        ControlCase{"Label1InEnglish",
                    {48, 32, 88, 16},
                    gothic,
                    16,
                    false,
                    "MAC address",
                    languages::English},
        ControlCase{"Label2InEnglish",
                    {24, 176, 60, 12},
                    gothic,
                    12,
                    false,
                    "IP address",
                    languages::English},
        ControlCase{"Label4InEnglish",
                    {24, 256, 120, 12},
                    gothic,
                    12,
                    false,
                    "Gateway address",
                    languages::English},
        ControlCase{
            "Button1InEnglish", {24, 312, 65, 25}, gothic, 13, true, "Set IP", languages::English}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(WindowTest, VersionLabelAtTopRightShowsAllItsText) {
    QLabel& label = *window->Label5;
    EXPECT_EQ(label.text(), QStringLiteral("Version1.0.0.3"));
    EXPECT_EQ(label.pos(), QPoint(216, 0));
    EXPECT_EQ(label.height(), 13);
    EXPECT_EQ(label.font().pixelSize(), 11);
    EXPECT_FALSE(label.font().bold());
    EXPECT_TRUE(QFontInfo(label.font()).family().startsWith(QStringLiteral("DejaVu Sans")));
    EXPECT_GE(label.width(), 68);
    EXPECT_GE(label.width(), label.fontMetrics().horizontalAdvance(label.text()));
    EXPECT_LE(label.geometry().right(), window->width() - 1);
}

TEST_F(WindowTest, TabOrderFromButton1AtStart) {
    EXPECT_EQ(QApplication::focusWidget(), window->Button1);
    const std::vector<QWidget*> expected = {window->Memo1,  window->Edit1,   window->Edit2,
                                            window->Edit3,  window->Button2, window->Button3,
                                            window->Button1};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

TEST_F(WindowTest, FieldsAndListReadOnlyAtStart) {
    EXPECT_TRUE(window->Edit1->isReadOnly());
    EXPECT_TRUE(window->Edit2->isReadOnly());
    EXPECT_TRUE(window->Edit3->isReadOnly());
    EXPECT_TRUE(window->Memo1->isReadOnly());
    QTest::keyClicks(window->Edit1, "192");
    EXPECT_EQ(window->Edit1->text(), QString());
    EXPECT_EQ(window->Memo1->blockCount(), 1); // one empty line
}

TEST_F(WindowTest, TooltipsOnlyOnTwoButtonsAndTheList) {
    for (QWidget* w : {static_cast<QWidget*>(window->Button1), static_cast<QWidget*>(window->Memo1),
                       static_cast<QWidget*>(window->Button3)}) {
        EXPECT_FALSE(w->toolTip().isEmpty());
        EXPECT_EQ(w->toolTipDuration(), TooltipDurationMs);
    }
    EXPECT_TRUE(window->Button2->toolTip().isEmpty());
    EXPECT_EQ(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 500);
}

// A key as X11 reports it: Delete carries the text DEL, Ctrl+V the text 0x16.
struct KeyCase {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    QString text;
    QString expected; // after typing into "12" with the caret between 1 and 2
};
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.name;
}

class AddressKeyTest : public WindowTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(AddressKeyTest, OnlyDigitsDotAndEditingKeysWork) {
    QApplication::clipboard()->setText(QStringLiteral("99"));
    TAddressEdit* edit = window->Edit2;
    edit->setReadOnly(false);
    edit->setText(QStringLiteral("12"));
    edit->setFocus();
    edit->setCursorPosition(1);
    QTest::sendKeyEvent(QTest::Press, edit, GetParam().key, GetParam().text, GetParam().modifiers);
    QTest::sendKeyEvent(QTest::Release, edit, GetParam().key, GetParam().text,
                        GetParam().modifiers);
    EXPECT_EQ(edit->text(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AddressKeyTest,
    ::testing::Values(KeyCase{"Digit", Qt::Key_5, Qt::NoModifier, "5", "152"},
                      KeyCase{"Dot", Qt::Key_Period, Qt::NoModifier, ".", "1.2"},
                      KeyCase{"Letter", Qt::Key_A, Qt::NoModifier, "a", "12"},
                      KeyCase{"UpperLetter", Qt::Key_A, Qt::ShiftModifier, "A", "12"},
                      KeyCase{"Space", Qt::Key_Space, Qt::NoModifier, " ", "12"},
                      KeyCase{"FullWidthDigit", Qt::Key_unknown, Qt::NoModifier, "５", "12"},
                      KeyCase{"Backspace", Qt::Key_Backspace, Qt::NoModifier, "\b", "2"},
                      KeyCase{"Delete", Qt::Key_Delete, Qt::NoModifier, "\x7f", "1"},
                      KeyCase{"Right", Qt::Key_Right, Qt::NoModifier, "", "12"},
                      KeyCase{"CtrlV", Qt::Key_V, Qt::ControlModifier, "\x16", "12"},
                      KeyCase{"CtrlX", Qt::Key_X, Qt::ControlModifier, "\x18", "12"},
                      KeyCase{"ShiftInsertPastes", Qt::Key_Insert, Qt::ShiftModifier, "", "1992"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(WindowTest, ArrowsMoveTheCaretAndTabLeavesTheField) {
    TAddressEdit* edit = window->Edit1;
    edit->setReadOnly(false);
    edit->setText(QStringLiteral("10"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_7);
    EXPECT_EQ(edit->text(), QStringLiteral("170"));
    QTest::keyClick(edit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), window->Edit2);
}

TEST_F(WindowTest, PasteIsNotFilteredAndOnlyEdit1Uppercases) {
    QApplication::clipboard()->setText(QStringLiteral("$c0.a8.0.1"));
    for (TAddressEdit* edit : {window->Edit1, window->Edit2}) {
        edit->setReadOnly(false);
        edit->paste();
    }
    EXPECT_EQ(window->Edit1->text(), QStringLiteral("$C0.A8.0.1"));
    EXPECT_EQ(window->Edit2->text(), QStringLiteral("$c0.a8.0.1"));
}

TEST_F(WindowTest, FieldsKeepTextBeyondTheDefaultLineEditLimit) {
    // Sizes compared, so that a cut text does not print 40,000 characters twice.
    const std::string longText(40000, '1');
    QApplication::clipboard()->setText(QString::fromStdString(longText));
    const std::pair<AddressField, TAddressEdit*> fields[] = {{AddressField::Edit1, window->Edit1},
                                                             {AddressField::Edit2, window->Edit2},
                                                             {AddressField::Edit3, window->Edit3}};
    for (const auto& [field, edit] : fields) {
        window->SetFieldText(field, longText);
        EXPECT_EQ(window->FieldText(field).size(), longText.size());
        window->SetFieldText(field, "");
        edit->setReadOnly(false);
        edit->paste();
        EXPECT_EQ(window->FieldText(field).size(), longText.size());
    }
}

TEST_F(WindowTest, MemoLineOperationsCountWrappedLinesAsDisplayed) {
    window->ClearMacList();
    window->AppendMacLine("0080921A2B3C");
    window->AppendMacLine("0080921A2B3C00112233AABB"); // two MAC items, wider than the list
    TMacListMemo& memo = *window->Memo1;
    ASSERT_EQ(memo.blockCount(), 3);
    ASSERT_EQ(memo.DisplayLineCount(), 4) << "the 24-digit line wraps once";

    EXPECT_EQ(window->LineText(0), "0080921A2B3C");
    EXPECT_EQ(window->LineIndex(1), 13);
    const std::string first = window->LineText(1);
    const std::string second = window->LineText(2);
    EXPECT_EQ(first + second, "0080921A2B3C00112233AABB");
    EXPECT_FALSE(second.empty());
    EXPECT_EQ(window->LineIndex(2), 13 + static_cast<int>(first.size()));
    EXPECT_EQ(window->LineText(3), "");
    EXPECT_EQ(window->LineIndex(3), 13 + 25);
    EXPECT_EQ(window->LineText(4), "");
    EXPECT_EQ(window->LineIndex(4), -1);

    // As the double click does it: the caret in the wrapped part selects that part.
    window->SetSelectionStart(window->LineIndex(2) + 1);
    EXPECT_EQ(window->LineOfSelection(), 2);
    window->SetSelectionStart(window->LineIndex(window->LineOfSelection()));
    window->SetSelectionLength(static_cast<int>(second.size()));
    EXPECT_EQ(window->SelectedText(), second);
    EXPECT_EQ(window->LineOfSelection(), 2);

    window->SetSelectionStart(window->LineIndex(3));
    window->SetSelectionLength(0);
    EXPECT_EQ(window->SelectedText(), "");
    EXPECT_EQ(window->LineOfSelection(), 3);
}

TEST_F(WindowTest, CursorIsOneSettingNotAStack) {
    window->SetCursor(crHourGlass);
    window->SetCursor(crHourGlass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(ApplicationCursor(), crHourGlass);
    window->SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    window->SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ApplicationCursor(), crDefault);
}

} // namespace
} // namespace tcpipset
