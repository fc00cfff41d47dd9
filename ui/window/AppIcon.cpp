#include "ui/window/AppIcon.h"

#include <QPixmap>

namespace tcpipset {

namespace {

// A small printer with a sheet in its feeder and one coming out, and a network cable
// from its back to a plug; drawn in the 16-colour palette.
// clang-format off
static const char* const kIconXpm[] = {
    "32 32 11 1",
    "  c None",
    "B c #0000FF",
    "G c #00FF00",
    "b c #000080",
    "c c #008080",
    "d c #004040",
    "g c #808080",
    "k c #000000",
    "l c #C0C0C0",
    "w c #FFFFFF",
    "y c #FFFF00",
    "                                ",
    "        kkkkkkkkkkkkkk          ",
    "        kwwwwwwwwwwwwk          ",
    "        kwbbbbbbbbbbwk          ",
    "        kwwwwwwwwwwwwk          ",
    "        kwbbbbbbbbbbwk          ",
    "        kwwwwwwwwwwwwk          ",
    "        kwbbbbbbbbbbwk          ",
    "        kwwwwwwwwwwwwk          ",
    " kkkkkkkkkkkkkkkkkkkkkkkkkkkk   ",
    " kwwwwwwwwwwwwwwwwwwwwwwwwwwk   ",
    " kwwwwwwwwwwwwwwwwwwwwwwwwwwk   ",
    " kllllllllllllllllllllllllllk   ",
    " klllkkkkkkkkkkkkkkkkkkkklllk   ",
    " kllllkwwwwwwwwwwwwwwwwkllllk   ",
    " kllllkwwbbbbbbbbbbbbwwkllllk   ",
    " kllllkkkkkkkkkkkkkkkkkkllllk   ",
    " kggggggggggggggggggyygGGgggk   ",
    " kggggggggggggggggggyygGGgggk   ",
    " kggggggggggggggggggggggggggk   ",
    " kkkkkkkkkkkkkkkkkkkkkkkkkkkk   ",
    "   kkkk                kkkkBB   ",
    "   kkkk                kkkkBB   ",
    "            kkkkkkkk       BB   ",
    "            kycycyckBBBBBBBBB   ",
    "            kycycyckBBBBBBBBB   ",
    "            kcccccck            ",
    "            kcccccck            ",
    "            kcccccck            ",
    "            kddddddk            ",
    "            kkkkkkkk            ",
    "              kkkk              "
};
// clang-format on

} // namespace

QPixmap ApplicationPixmap() {
    return QPixmap(kIconXpm);
}

QIcon ApplicationIcon() {
    return QIcon(ApplicationPixmap());
}

} // namespace tcpipset
