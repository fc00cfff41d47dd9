#include "ui/window/AppIcon.h"

#include <QPixmap>

namespace tcpipset {

namespace {

// The pixels live in tcpipset.xpm, which the build also turns into the installed icon.
#include "ui/window/tcpipset.xpm"

} // namespace

QPixmap ApplicationPixmap() {
    return QPixmap(kIconXpm);
}

QIcon ApplicationIcon() {
    return QIcon(ApplicationPixmap());
}

} // namespace tcpipset
