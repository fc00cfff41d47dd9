#pragma once

#include "ui/operations/MainView.h"
#include "ui/window/DialogLayout.h"

#include <QDialog>
#include <QStyle>
#include <optional>
#include <string>
#include <vector>

class QPushButton;

namespace tcpipset {

// The one form that every message dialog is built from: an optional system icon, a
// word-wrapped text and one row of buttons, laid out in dialog units of the message-box
// font, with a fixed frame, centred on the screen.
class TMessageForm : public QDialog {
public:
    struct Button {
        std::string caption; // UTF-8; "&" marks the accelerator letter
        DialogResult result;
    };

    TMessageForm(QWidget* owner, const QString& caption, std::optional<QStyle::StandardPixmap> icon,
                 const QString& text, const std::vector<Button>& buttons, std::size_t defaultButton,
                 DialogResult cancelResult);

    // Shows the form modally; the button that closed it.
    DialogResult Run();

    const std::vector<QPushButton*>& Buttons() const { return buttons_; }
    const MessageDialogLayout& Layout() const { return layout_; }

    // Esc, the close box and Alt+F4 all end here.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<QPushButton*> buttons_;
    MessageDialogLayout layout_;
    DialogResult cancelResult_;
};

// The dialog units of a font, from the average width of the Latin letters and the
// character height.
DialogUnits DialogUnitsOf(const QFont& font);

} // namespace tcpipset
