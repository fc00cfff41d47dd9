#include "ui/window/AddressEdit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QValidator>
#include <limits>

namespace tcpipset {

namespace {

class UpperCaseValidator : public QValidator {
public:
    explicit UpperCaseValidator(QObject* parent) : QValidator(parent) {}

    State validate(QString& input, int&) const override {
        input = input.toUpper();
        return Acceptable;
    }
};

} // namespace

std::optional<char32_t> TypedCharacter(const QKeyEvent& event) {
    const bool control = event.modifiers().testFlag(Qt::ControlModifier);
    switch (event.key()) {
    case Qt::Key_Backspace:
        // Ctrl+Backspace types DEL rather than backspace.
        return control ? U'\x7f' : U'\b';
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return U'\r';
    case Qt::Key_Escape:
        return U'\x1b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return std::nullopt; // moves the focus before any edit sees it
    case Qt::Key_Delete:
        return std::nullopt; // X11 reports its text as DEL, but it deletes, it types nothing
    default:
        break;
    }
    if (control && !event.modifiers().testFlag(Qt::AltModifier) && event.key() >= Qt::Key_A &&
        event.key() <= Qt::Key_Z) {
        return static_cast<char32_t>(event.key() - Qt::Key_A + 1);
    }
    const QString text = event.text();
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const auto codes = text.toUcs4();
    if (codes.isEmpty() || codes.front() == 0x7f) {
        return std::nullopt;
    }
    return codes.front();
}

TAddressEdit::TAddressEdit(QWidget* parent) : QLineEdit(parent) {
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhNoPredictiveText);
    // The field takes text of any length; what is wrong with it is for the operation to say.
    setMaxLength(std::numeric_limits<int>::max());
}

void TAddressEdit::SetUpperCase() {
    setValidator(new UpperCaseValidator(this));
}

void TAddressEdit::keyPressEvent(QKeyEvent* event) {
    if (onKeyPress_) {
        if (const auto typed = TypedCharacter(*event)) {
            char32_t key = *typed;
            onKeyPress_(key);
            if (key == 0) {
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TAddressEdit::inputMethodEvent(QInputMethodEvent* event) {
    // With the input method off nothing should arrive here; whatever does is not typed
    // text that the key handler has seen, so it is dropped.
    event->accept();
}

} // namespace tcpipset
