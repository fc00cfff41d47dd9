#pragma once

#include <vector>

namespace tcpipset {

struct LayoutSize {
    int width = 0;
    int height = 0;
    bool operator==(const LayoutSize&) const = default;
};

struct LayoutRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const LayoutRect&) const = default;
};

// Dialog units of a font: a horizontal unit is a quarter of its average character width,
// a vertical unit an eighth of its character height.
struct DialogUnits {
    int averageCharWidth = 0;
    int charHeight = 0;

    int Horizontal(int units) const;
    int Vertical(int units) const;
};

// What a message dialog holds, measured in pixels in the dialog's font.
struct MessageDialogContent {
    DialogUnits units;
    bool hasIcon = false;
    // The text's extent when word-wrapped at MessageTextWrapWidth.
    LayoutSize textSize;
    // The width of each button caption, left to right.
    std::vector<int> captionWidths;
};

struct MessageDialogLayout {
    LayoutRect icon; // empty when there is no icon
    LayoutRect text;
    std::vector<LayoutRect> buttons;
    LayoutSize client;
};

inline constexpr int MessageIconSize = 32;

// The text of a message dialog wraps at half the screen's width.
int MessageTextWrapWidth(int screenWidth);

MessageDialogLayout LayOutMessageDialog(const MessageDialogContent& content);

} // namespace tcpipset
