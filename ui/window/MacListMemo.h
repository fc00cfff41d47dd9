#pragma once

#include <QPlainTextEdit>
#include <functional>

class QTextBlock;

namespace tcpipset {

// The MAC list: a read-only multi-line edit whose long lines wrap at its width. Its line
// operations count lines as displayed, so a wrapped line counts as several; character
// positions count a line break as one character.
class TMacListMemo : public QPlainTextEdit {
public:
    explicit TMacListMemo(QWidget* parent);

    // Runs after the control has made its own selection of the word under the pointer, on
    // a double click of the left button only.
    void SetDoubleClickHandler(std::function<void()> handler) {
        onDoubleClick_ = std::move(handler);
    }

    // Appends the text and a line break after everything there is.
    void AppendLine(const QString& line);

    int DisplayLineCount() const;
    // The display line in which the selection begins, or that holds the caret.
    int LineOfSelection() const;
    // Position of the display line's first character; -1 for a line that does not exist.
    int LineIndex(int line) const;
    // The display line's text without its line break; empty for a missing line.
    QString LineText(int line) const;
    // A selection start sets the caret there with nothing selected; a length then selects
    // from the start onwards. Both are kept within the text.
    void SetSelectionStart(int start);
    void SetSelectionLength(int length);
    QString SelectedText() const;

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Lines of a block as laid out at the control's width; at least one.
    int LinesOf(const QTextBlock& block) const;

    std::function<void()> onDoubleClick_;
};

} // namespace tcpipset
