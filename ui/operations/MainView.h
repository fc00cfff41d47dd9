#pragma once

#include <string>

namespace tcpipset {

// The button that closed a dialog.
enum class DialogResult { Ok = 1, Cancel = 2, Yes = 6 };

// Values of the application-wide cursor setting.
inline constexpr int crDefault = 0;
inline constexpr int crHourGlass = -11;

// Edit1, Edit2 and Edit3: IP address, subnet mask, gateway address.
enum class AddressField { Edit1, Edit2, Edit3 };

// What the operations need of the main window. The window implements it with widgets;
// tests and the command line implement it without.
class MainView {
public:
    virtual ~MainView() = default;

    virtual std::string FieldText(AddressField field) const = 0;
    virtual void SetFieldText(AddressField field, const std::string& text) = 0;
    virtual void SetFieldReadOnly(AddressField field, bool readOnly) = 0;

    // The MAC list. Line indexes and character indexes count lines as displayed: a
    // line too long for the list's width wraps and counts as several.
    virtual void ClearMacList() = 0;
    // Appends the text as a new last line, together with its line break.
    virtual void AppendMacLine(const std::string& line) = 0;
    // The source address of the reply that the line just appended came from, and the
    // interface it arrived on (empty when unknown). The window does not show them; the
    // command line does.
    virtual void NoteListedReply(const std::string& /*replyAddress*/,
                                 const std::string& /*interfaceName*/) {}
    // Index of the line in which the selection begins (or that holds the caret).
    virtual int LineOfSelection() const = 0;
    // Character index, in the whole text, of the line's first character.
    virtual int LineIndex(int line) const = 0;
    // The line's text without its line break; empty for an empty or missing line.
    virtual std::string LineText(int line) const = 0;
    virtual void SetSelectionStart(int start) = 0;
    virtual void SetSelectionLength(int length) = 0;
    virtual std::string SelectedText() const = 0;

    virtual DialogResult ShowConfirmation(const std::string& text) = 0;
    virtual void ShowError(const std::string& text) = 0;
    virtual void ShowNotice(const std::string& text) = 0;

    // The application-wide cursor: crHourGlass or crDefault. A setting, not a stack.
    virtual void SetCursor(int cursor) = 0;

    // True once the window has been closed during an operation's wait: the operation then
    // stops receiving at its next datagram, as the program is ending.
    virtual bool Closed() const { return false; }
};

} // namespace tcpipset
