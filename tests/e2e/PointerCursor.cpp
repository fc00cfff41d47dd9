// e2e_pointer_cursor: prints which cursor the X server shows at the pointer, as
// "SERIAL NAME" ("-" for an unnamed cursor), so that a script can tell when a window has
// put up its wait cursor and when it has taken it down again. Exit 2 without a display.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <cstdio>
#include <memory>

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

struct ImageFree {
    void operator()(XFixesCursorImage* image) const { XFree(image); }
};

} // namespace

int main() {
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        std::fputs("e2e_pointer_cursor: cannot open the display\n", stderr);
        return 2;
    }
    int eventBase = 0;
    int errorBase = 0;
    if (XFixesQueryExtension(display.get(), &eventBase, &errorBase) == 0) {
        std::fputs("e2e_pointer_cursor: the display has no XFIXES extension\n", stderr);
        return 2;
    }
    const std::unique_ptr<XFixesCursorImage, ImageFree> image(XFixesGetCursorImage(display.get()));
    if (!image) {
        std::fputs("e2e_pointer_cursor: the display shows no cursor\n", stderr);
        return 2;
    }
    // Animated cursors get a new serial for every frame; named ones keep theirs.
    const char* name = image->name != nullptr && image->name[0] != '\0' ? image->name : "-";
    std::printf("%lu %s\n", image->cursor_serial, name);
    return 0;
}
