#include "ui/window/MessageDialogs.h"

#include "i18n/Translate.h"
#include "ui/window/Application.h"
#include "ui/window/TMessageForm.h"

#include <utility>

namespace tcpipset {

namespace {

DialogSink& Sink() {
    static DialogSink sink;
    return sink;
}

} // namespace

DialogSink SetDialogSink(DialogSink sink) {
    return std::exchange(Sink(), std::move(sink));
}

DialogResult ShowConfirmation(QWidget* owner, const std::string& text) {
    if (Sink()) {
        return Sink()(DialogKind::Confirmation, text);
    }
    TMessageForm form(
        owner, QString::fromStdString(i18n::Tr("Warning")), QStyle::SP_MessageBoxWarning,
        DisplayText(text),
        {{i18n::Tr("&Yes"), DialogResult::Yes}, {i18n::Tr("Cancel"), DialogResult::Cancel}}, 0,
        DialogResult::Cancel);
    return form.Run();
}

void ShowError(QWidget* owner, const std::string& text) {
    if (Sink()) {
        Sink()(DialogKind::Error, text);
        return;
    }
    TMessageForm form(owner, QString::fromStdString(i18n::Tr("Error")),
                      QStyle::SP_MessageBoxCritical, DisplayText(text),
                      {{i18n::Tr("OK"), DialogResult::Ok}}, 0, DialogResult::Ok);
    form.Run();
}

void ShowNotice(QWidget* owner, const std::string& text) {
    if (Sink()) {
        Sink()(DialogKind::Notice, text);
        return;
    }
    TMessageForm form(owner, ApplicationTitle(), std::nullopt, DisplayText(text),
                      {{i18n::Tr("OK"), DialogResult::Ok}}, 0, DialogResult::Ok);
    form.Run();
}

} // namespace tcpipset
