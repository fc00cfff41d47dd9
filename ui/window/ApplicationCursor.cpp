#include "ui/window/ApplicationCursor.h"

#include "ui/operations/MainView.h"

#include <QCursor>
#include <QGuiApplication>

namespace tcpipset {

namespace {

// Qt keeps override cursors as a stack; the setting pushes at most one, so a set back to
// the default always uncovers the controls' own cursors, however often it was set.
bool hourGlassShown = false;

} // namespace

void SetApplicationCursor(int cursor) {
    const bool wanted = cursor == crHourGlass;
    if (wanted == hourGlassShown) {
        return;
    }
    hourGlassShown = wanted;
    if (wanted) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        // Qt applies the change to every window of the application at once, the one
        // under the pointer included.
        QGuiApplication::restoreOverrideCursor();
    }
}

int ApplicationCursor() {
    return hourGlassShown ? crHourGlass : crDefault;
}

} // namespace tcpipset
