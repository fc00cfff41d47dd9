#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace tcpipset::testing {

// Waits for the next modal dialog and acts on it, as an operator would, so that a test can
// call a function that shows one and blocks until it is closed.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget& modal)> action) : action_(std::move(action)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                timer_.stop();
                acted_ = true;
                action_(*modal);
            }
        });
        timer_.start();
    }

    bool Acted() const { return acted_; }

private:
    std::function<void(QWidget&)> action_;
    QTimer timer_;
    bool acted_ = false;
};

// The widget that keys typed into the dialog reach.
inline QWidget& KeyTarget(QWidget& modal) {
    QWidget* focus = modal.focusWidget();
    return focus != nullptr ? *focus : modal;
}

} // namespace tcpipset::testing
