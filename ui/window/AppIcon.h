#pragma once

#include <QIcon>
#include <QPixmap>

namespace tcpipset {

// The program's one image, 32 x 32 pixels in 16 colours, for the window and the task bar.
QPixmap ApplicationPixmap();
QIcon ApplicationIcon();

} // namespace tcpipset
