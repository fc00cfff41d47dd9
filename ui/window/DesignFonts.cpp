#include "ui/window/DesignFonts.h"

namespace tcpipset {

QStringList FamiliesFor(DesignFace face) {
    switch (face) {
    case DesignFace::MsGothic:
        // The fixed-pitch IPA face has the same half-width digits and full-width kana as
        // the design face; the proportional one only if the fixed one is missing.
        return {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic")};
    case DesignFace::MsSansSerif:
        break;
    }
    // The design face is narrow; the condensed cut keeps the version label's text within
    // the window at the same height.
    return {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")};
}

QFont DesignFont(DesignFace face, int pixelHeight, bool bold) {
    QFont font;
    font.setFamilies(FamiliesFor(face));
    font.setStyleHint(face == DesignFace::MsGothic ? QFont::TypeWriter : QFont::SansSerif);
    font.setPixelSize(pixelHeight);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

} // namespace tcpipset
