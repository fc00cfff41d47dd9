#pragma once

#include <QApplication>

namespace tcpipset {

// The application object. Every handler of the window already reports its own errors;
// this is the last line for an error that escapes the handling of any other event, which
// is reported the same way and goes no further than here, so the loop goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tcpipset
