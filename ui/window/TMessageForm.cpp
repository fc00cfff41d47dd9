#include "ui/window/TMessageForm.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <cmath>

namespace tcpipset {

namespace {

constexpr Qt::Alignment TextFlags = Qt::AlignLeft | Qt::AlignTop;
constexpr int TextDrawFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

// Draws the text with the very flags it was measured with, so that it wraps where the
// layout expects and is never clipped.
class MessageText : public QWidget {
public:
    MessageText(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawText(rect(), TextDrawFlags, text_);
    }

private:
    QString text_;
};

QRect ToQRect(const LayoutRect& r) {
    return {r.left, r.top, r.width, r.height};
}

QScreen* ScreenFor(const QWidget* owner) {
    if (owner != nullptr && owner->screen() != nullptr) {
        return owner->screen();
    }
    return QGuiApplication::primaryScreen();
}

// The letter that "&" marks in a caption, or none.
QChar Accelerator(const QString& caption) {
    const auto amp = caption.indexOf(QLatin1Char('&'));
    if (amp < 0 || amp + 1 >= caption.size() || caption[amp + 1] == QLatin1Char('&')) {
        return {};
    }
    return caption[amp + 1].toUpper();
}

} // namespace

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    static const QString letters =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double average = metrics.horizontalAdvance(letters) / 52.0;
    return {static_cast<int>(std::lround(average)), metrics.height()};
}

TMessageForm::TMessageForm(QWidget* owner, const QString& caption,
                           std::optional<QStyle::StandardPixmap> icon, const QString& text,
                           const std::vector<Button>& buttons, std::size_t defaultButton,
                           DialogResult cancelResult)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint),
      cancelResult_(cancelResult) {
    setWindowTitle(caption);
    setModal(true);
    setFont(QApplication::font("QMessageBox"));

    QScreen* screen = ScreenFor(owner);
    const QFontMetrics metrics(font());
    MessageDialogContent content;
    content.units = DialogUnitsOf(font());
    content.hasIcon = icon.has_value();
    const QRect measured = metrics.boundingRect(
        QRect(0, 0, MessageTextWrapWidth(screen->geometry().width()), 0), TextDrawFlags, text);
    content.textSize = {measured.width(), measured.height()};
    for (const Button& button : buttons) {
        const QString label = QString::fromStdString(button.caption);
        content.captionWidths.push_back(metrics.size(Qt::TextShowMnemonic, label).width());
    }
    layout_ = LayOutMessageDialog(content);

    if (icon) {
        auto* iconLabel = new QLabel(this);
        iconLabel->setPixmap(
            style()->standardIcon(*icon, nullptr, this).pixmap(MessageIconSize, MessageIconSize));
        iconLabel->setAlignment(TextFlags);
        iconLabel->setGeometry(ToQRect(layout_.icon));
    }
    auto* textWidget = new MessageText(text, this);
    textWidget->setGeometry(ToQRect(layout_.text));

    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(QString::fromStdString(buttons[i].caption), this);
        button->setGeometry(ToQRect(layout_.buttons[i]));
        button->setAutoDefault(true);
        const int result = static_cast<int>(buttons[i].result);
        connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
        buttons_.push_back(button);
    }
    if (defaultButton < buttons_.size()) {
        buttons_[defaultButton]->setDefault(true);
        buttons_[defaultButton]->setFocus(Qt::OtherFocusReason);
    }

    setFixedSize(layout_.client.width, layout_.client.height);
    const QRect area = screen->geometry();
    move(area.left() + (area.width() - layout_.client.width) / 2,
         area.top() + (area.height() - layout_.client.height) / 2);
}

DialogResult TMessageForm::Run() {
    return static_cast<DialogResult>(exec());
}

void TMessageForm::reject() {
    done(static_cast<int>(cancelResult_));
}

void TMessageForm::keyPressEvent(QKeyEvent* event) {
    // As in the system's dialogs, the accelerator letter alone presses its button.
    const auto mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (mods == Qt::NoModifier && !event->text().isEmpty()) {
        const QChar typed = event->text().at(0).toUpper();
        for (QPushButton* button : buttons_) {
            if (!typed.isNull() && Accelerator(button->text()) == typed) {
                button->click();
                return;
            }
        }
    }
    QDialog::keyPressEvent(event);
}

} // namespace tcpipset
