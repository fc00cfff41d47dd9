#include "ui/window/Application.h"

#include "ui/window/AppIcon.h"
#include "ui/window/ApplicationTitle.h"
#include "ui/window/TooltipTiming.h"

#include <QApplication>
#include <QGuiApplication>

namespace tcpipset {

void SetUpApplication() {
    const QString path = QCoreApplication::applicationFilePath();
    QCoreApplication::setApplicationName(
        QString::fromStdString(ApplicationTitleFromPath(path.toStdString())));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(ApplicationVersionText));
    QApplication::setWindowIcon(ApplicationIcon());
    // Ties the window to its menu entry, tcpipset.desktop, so that docks and task bars show
    // the entry's name and icon for it.
    QGuiApplication::setDesktopFileName(QStringLiteral("tcpipset"));
    InstallTooltipTiming();
}

QString ApplicationTitle() {
    return QCoreApplication::applicationName();
}

QString DisplayText(const std::string& text) {
    QString display = QString::fromStdString(text);
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return display;
}

} // namespace tcpipset
