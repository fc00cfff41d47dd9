#pragma once

#include "ui/operations/MainView.h"

#include <functional>
#include <string>

class QWidget;

namespace tcpipset {

// The three modal dialogs of the operations, owned by the given window (or by none).
// Closing one by its close box or Alt+F4 counts as its cancel button.
DialogResult ShowConfirmation(QWidget* owner, const std::string& text); // Yes or Cancel
void ShowError(QWidget* owner, const std::string& text);
void ShowNotice(QWidget* owner, const std::string& text);

enum class DialogKind { Confirmation, Error, Notice };

// Answers every dialog in place of the operator, so that tests of the window do not block
// on a modal dialog; an empty sink shows the dialogs again. Returns the sink set before.
using DialogSink = std::function<DialogResult(DialogKind kind, const std::string& text)>;
DialogSink SetDialogSink(DialogSink sink);

} // namespace tcpipset
