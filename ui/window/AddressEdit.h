#pragma once

#include <QLineEdit>
#include <functional>
#include <optional>

class QKeyEvent;

namespace tcpipset {

// The character that a key press types into an edit, control characters included, or
// none for keys that only edit or move (Delete, the arrows, Home, End, Insert). Ctrl with
// a letter types that letter's control character, as Ctrl+V types 0x16.
std::optional<char32_t> TypedCharacter(const QKeyEvent& event);

// An address field: each typed character goes through the key handler first, which may
// swallow it by setting it to 0; text that arrives otherwise (set, or pasted through the
// context menu) is not filtered. The input method is off.
class TAddressEdit : public QLineEdit {
public:
    using KeyPressHandler = std::function<void(char32_t& key)>;

    explicit TAddressEdit(QWidget* parent);

    void SetKeyPressHandler(KeyPressHandler handler) { onKeyPress_ = std::move(handler); }
    // Letters typed or pasted are converted to upper case.
    void SetUpperCase();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    KeyPressHandler onKeyPress_;
};

} // namespace tcpipset
