#include "ui/window/DialogLayout.h"

#include <algorithm>

namespace tcpipset {

namespace {

constexpr int MarginUnits = 8;
constexpr int IconTextSpacingUnits = 10;
constexpr int ButtonRowSpacingUnits = 10;
constexpr int ButtonSpacingUnits = 4;
constexpr int ButtonHeightUnits = 14;
constexpr int MinimumButtonWidthUnits = 50;
// Room beside the caption inside a button, in pixels.
constexpr int CaptionPadding = 8;

// Units to pixels rounded to the nearest pixel, halves away from zero.
int Scale(int units, int numerator, int denominator) {
    const long long product = static_cast<long long>(units) * numerator;
    const long long half = denominator / 2;
    const long long rounded =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(rounded);
}

} // namespace

int DialogUnits::Horizontal(int units) const {
    return Scale(units, averageCharWidth, 4);
}

int DialogUnits::Vertical(int units) const {
    return Scale(units, charHeight, 8);
}

int MessageTextWrapWidth(int screenWidth) {
    return screenWidth / 2;
}

MessageDialogLayout LayOutMessageDialog(const MessageDialogContent& content) {
    const DialogUnits& du = content.units;
    const int marginX = du.Horizontal(MarginUnits);
    const int marginY = du.Vertical(MarginUnits);

    MessageDialogLayout layout;
    int textLeft = marginX;
    if (content.hasIcon) {
        layout.icon = {marginX, marginY, MessageIconSize, MessageIconSize};
        textLeft += MessageIconSize + du.Horizontal(IconTextSpacingUnits);
    }
    layout.text = {textLeft, marginY, content.textSize.width, content.textSize.height};

    const int widestCaption =
        content.captionWidths.empty()
            ? 0
            : *std::max_element(content.captionWidths.begin(), content.captionWidths.end());
    const int buttonWidth =
        std::max(widestCaption + CaptionPadding, du.Horizontal(MinimumButtonWidthUnits));
    const int buttonHeight = du.Vertical(ButtonHeightUnits);
    const int buttonSpacing = du.Horizontal(ButtonSpacingUnits);
    const int buttonCount = static_cast<int>(content.captionWidths.size());
    const int rowWidth =
        buttonCount == 0 ? 0 : buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing;

    const int iconHeight = content.hasIcon ? MessageIconSize : 0;
    const int buttonTop =
        marginY + std::max(iconHeight, layout.text.height) + du.Vertical(ButtonRowSpacingUnits);

    const int contentRight = std::max(layout.text.left + layout.text.width,
                                      content.hasIcon ? marginX + MessageIconSize : 0);
    layout.client.width = std::max(contentRight + marginX, rowWidth + 2 * marginX);
    layout.client.height = buttonTop + buttonHeight + marginY;

    int left = (layout.client.width - rowWidth) / 2;
    for (int i = 0; i < buttonCount; ++i) {
        layout.buttons.push_back({left, buttonTop, buttonWidth, buttonHeight});
        left += buttonWidth + buttonSpacing;
    }
    return layout;
}

} // namespace tcpipset
