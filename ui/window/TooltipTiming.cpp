#include "ui/window/TooltipTiming.h"

#include <QApplication>
#include <QProxyStyle>
#include <QWidget>

namespace tcpipset {

namespace {

class TooltipTimingStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) {
            return TooltipWakeUpMs;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void InstallTooltipTiming() {
    if (dynamic_cast<TooltipTimingStyle*>(QApplication::style()) == nullptr) {
        // The application takes ownership of the style.
        QApplication::setStyle(new TooltipTimingStyle);
    }
}

void SetTimedTooltip(QWidget& control, const std::string& utf8Text) {
    control.setToolTip(QString::fromStdString(utf8Text));
    control.setToolTipDuration(TooltipDurationMs);
}

} // namespace tcpipset
