#pragma once

#include <QFont>
#include <QStringList>

namespace tcpipset {

// The two faces the window was designed with.
enum class DesignFace {
    MsSansSerif, // "MS Sans Serif": the window's own font
    MsGothic,    // the design's Gothic face: every control but the version label
};

// The families installed in place of a design face, best first.
QStringList FamiliesFor(DesignFace face);

// A font of the face at a character height in pixels, so that the controls keep their
// pixel sizes whatever the screen's resolution.
QFont DesignFont(DesignFace face, int pixelHeight, bool bold = false);

} // namespace tcpipset
