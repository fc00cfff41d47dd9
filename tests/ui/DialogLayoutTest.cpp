#include "ui/window/DialogLayout.h"

#include <gtest/gtest.h>
#include <ostream>

namespace tcpipset {
namespace {

TEST(DialogUnitsTest, RoundsToTheNearestPixel) {
    const DialogUnits units{7, 15}; // horizontal unit 1.75 px, vertical 1.875 px
    EXPECT_EQ(units.Horizontal(8), 14);
    EXPECT_EQ(units.Horizontal(10), 18); // 17.5
    EXPECT_EQ(units.Horizontal(50), 88); // 87.5
    EXPECT_EQ(units.Vertical(8), 15);
    EXPECT_EQ(units.Vertical(14), 26); // 26.25
    EXPECT_EQ(units.Vertical(10), 19); // 18.75
}

struct LayoutCase {
    const char* name;
    MessageDialogContent content;
    MessageDialogLayout expected;
};
void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class MessageDialogLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(MessageDialogLayoutTest, PlacesIconTextAndButtons) {
    const MessageDialogLayout layout = LayOutMessageDialog(GetParam().content);
    const MessageDialogLayout& expected = GetParam().expected;
    EXPECT_EQ(layout.icon, expected.icon);
    EXPECT_EQ(layout.text, expected.text);
    EXPECT_EQ(layout.buttons, expected.buttons);
    EXPECT_EQ(layout.client, expected.client);
}

// Units of 8 x 16 pixels: a horizontal unit is 2 px, a vertical one 2 px.
constexpr DialogUnits Units{8, 16};

INSTANTIATE_TEST_SUITE_P(
    Dialogs, MessageDialogLayoutTest,
    ::testing::Values(
        // Icon taller than the text: the buttons stand 20 px below the icon. Two buttons of
        // the 100 px minimum, 8 px apart, centred in a client as wide as the text needs.
        LayoutCase{"ConfirmationShortText",
                   {Units, true, {200, 16}, {40, 60}},
                   {{16, 16, 32, 32},
                    {68, 16, 200, 16},
                    {{38, 68, 100, 28}, {146, 68, 100, 28}},
                    {284, 112}}},
        // Text taller than the icon decides the button row; a wide caption widens the button.
        LayoutCase{"ErrorTallText",
                   {Units, true, {120, 50}, {130}},
                   {{16, 16, 32, 32}, {68, 16, 120, 50}, {{33, 86, 138, 28}}, {204, 130}}},
        // No icon: the text at the left margin; the row of buttons is wider than the text.
        LayoutCase{"NoticeNoIcon",
                   {Units, false, {30, 16}, {20}},
                   {{0, 0, 0, 0}, {16, 16, 30, 16}, {{16, 52, 100, 28}}, {132, 96}}}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(MessageTextWrapWidthTest, IsHalfTheScreen) {
    EXPECT_EQ(MessageTextWrapWidth(1024), 512);
    EXPECT_EQ(MessageTextWrapWidth(801), 400);
}

} // namespace
} // namespace tcpipset
