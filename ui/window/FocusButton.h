#pragma once

#include <QPushButton>

namespace tcpipset {

// A button of the main window: Space and Enter press it while it has the focus. The
// window has no default button, so Enter presses nothing else.
class TFocusButton : public QPushButton {
public:
    TFocusButton(const QString& caption, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tcpipset
