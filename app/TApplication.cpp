#include "app/TApplication.h"

#include "ui/window/ErrorReport.h"

namespace tcpipset {

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowErrorReport(std::current_exception());
        return false;
    }
}

} // namespace tcpipset
