#pragma once

#include <string>

class QWidget;

namespace tcpipset {

// Tooltips appear once the pointer has rested this long on a control.
inline constexpr int TooltipWakeUpMs = 500;
// And go again after this long.
inline constexpr int TooltipDurationMs = 2500;

// Makes the application's style wait TooltipWakeUpMs before a tooltip shows. Installing it
// again changes nothing.
void InstallTooltipTiming();

// Gives a control its tooltip with the window's timing.
void SetTimedTooltip(QWidget& control, const std::string& utf8Text);

} // namespace tcpipset
