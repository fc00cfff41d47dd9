#include "ui/window/QtPumpDispatcher.h"

#include <QCoreApplication>

namespace tcpipset {

void QtPumpDispatcher::ProcessAllPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPumpDispatcher::HandleOnePendingEvent() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

} // namespace tcpipset
