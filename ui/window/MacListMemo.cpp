#include "ui/window/MacListMemo.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <algorithm>

namespace tcpipset {

TMacListMemo::TMacListMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // Read-only, yet with a caret and keyboard selection, as the system's edit control.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // A line without spaces (two MAC addresses in one line) still wraps at the width.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    setUndoRedoEnabled(false);
}

void TMacListMemo::AppendLine(const QString& line) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(line + QLatin1Char('\n'));
}

int TMacListMemo::LinesOf(const QTextBlock& block) const {
    if (auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document()->documentLayout())) {
        layout->ensureBlockLayout(block);
    }
    const QTextLayout* text = block.layout();
    return text == nullptr ? 1 : std::max(1, text->lineCount());
}

int TMacListMemo::DisplayLineCount() const {
    int count = 0;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        count += LinesOf(block);
    }
    return count;
}

int TMacListMemo::LineOfSelection() const {
    const int position = textCursor().selectionStart();
    const QTextBlock target = document()->findBlock(position);
    int line = 0;
    for (QTextBlock block = document()->firstBlock(); block.isValid() && block != target;
         block = block.next()) {
        line += LinesOf(block);
    }
    const int lines = LinesOf(target);
    const QTextLine inBlock =
        target.layout() == nullptr
            ? QTextLine()
            : target.layout()->lineForTextPosition(position - target.position());
    return line + (inBlock.isValid() ? inBlock.lineNumber() : lines - 1);
}

int TMacListMemo::LineIndex(int line) const {
    if (line < 0) {
        return -1;
    }
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        const int lines = LinesOf(block);
        if (line < lines) {
            const QTextLayout* layout = block.layout();
            const int offset = layout == nullptr || layout->lineCount() == 0
                                   ? 0
                                   : layout->lineAt(line).textStart();
            return block.position() + offset;
        }
        line -= lines;
    }
    return -1;
}

QString TMacListMemo::LineText(int line) const {
    if (line < 0) {
        return {};
    }
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        const int lines = LinesOf(block);
        if (line < lines) {
            const QTextLayout* layout = block.layout();
            if (layout == nullptr || layout->lineCount() == 0) {
                return block.text();
            }
            const QTextLine displayed = layout->lineAt(line);
            return block.text().mid(displayed.textStart(), displayed.textLength());
        }
        line -= lines;
    }
    return {};
}

void TMacListMemo::SetSelectionStart(int start) {
    const int last = document()->characterCount() - 1;
    QTextCursor cursor(document());
    cursor.setPosition(std::clamp(start, 0, last));
    setTextCursor(cursor);
}

void TMacListMemo::SetSelectionLength(int length) {
    const int last = document()->characterCount() - 1;
    QTextCursor cursor = textCursor();
    const int start = cursor.selectionStart();
    cursor.setPosition(start);
    cursor.setPosition(std::clamp(start + std::max(length, 0), 0, last), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

QString TMacListMemo::SelectedText() const {
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    return text;
}

void TMacListMemo::mouseDoubleClickEvent(QMouseEvent* event) {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    // Only the left button puts the caret on the line under the pointer; any other button
    // leaves it where it was, and a query of that line would empty the fields for nothing.
    if (event->button() == Qt::LeftButton && onDoubleClick_) {
        onDoubleClick_();
    }
}

} // namespace tcpipset
