#include "ui/window/ErrorReport.h"

#include "i18n/Translate.h"
#include "ui/window/Application.h"
#include "ui/window/ReportText.h"

#include <QMessageBox>
#include <QWidget>
#include <utility>

namespace tcpipset {

namespace {

ErrorReportSink& Sink() {
    static ErrorReportSink sink;
    return sink;
}

} // namespace

ErrorReportSink SetErrorReportSink(ErrorReportSink sink) {
    return std::exchange(Sink(), std::move(sink));
}

void ShowErrorReport(const std::string& message) {
    const std::string text = ReportText(message);
    if (QWidget* grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    if (Sink()) {
        Sink()(text);
        return;
    }
    // Owned by the application rather than by a window, like the system's own box.
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), DisplayText(text), QMessageBox::Ok);
    // An error's message is shown as it is worded, even where it looks like markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowErrorReport(std::exception_ptr error) noexcept {
    try {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            ShowErrorReport(std::string(e.what()));
        } catch (...) {
            ShowErrorReport(i18n::Tr("Unknown error"));
        }
    } catch (...) {
        // The report itself failed (no memory, say); the handler is abandoned all the same.
    }
}

} // namespace tcpipset
