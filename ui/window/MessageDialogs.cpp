#include "ui/window/MessageDialogs.h"

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
    TMessageForm form(owner, QStringLiteral("警告"), QStyle::SP_MessageBoxWarning,
                      DisplayText(text),
                      {{"はい(&Y)", DialogResult::Yes}, {"キャンセル", DialogResult::Cancel}}, 0,
                      DialogResult::Cancel);
    return form.Run();
}

void ShowError(QWidget* owner, const std::string& text) {
    if (Sink()) {
        Sink()(DialogKind::Error, text);
        return;
    }
    TMessageForm form(owner, QStringLiteral("エラー"), QStyle::SP_MessageBoxCritical,
                      DisplayText(text), {{"OK", DialogResult::Ok}}, 0, DialogResult::Ok);
    form.Run();
}

void ShowNotice(QWidget* owner, const std::string& text) {
    if (Sink()) {
        Sink()(DialogKind::Notice, text);
        return;
    }
    TMessageForm form(owner, ApplicationTitle(), std::nullopt, DisplayText(text),
                      {{"OK", DialogResult::Ok}}, 0, DialogResult::Ok);
    form.Run();
}

} // namespace tcpipset
