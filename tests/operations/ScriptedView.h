#pragma once

#include "ui/operations/MainView.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace tcpipset::testing {

// A view without widgets: fields and list held as texts, dialogs answered from a script,
// and every dialog and cursor change recorded in order.
class ScriptedView : public MainView {
public:
    // Lines longer than this many characters wrap, as in a list of that width.
    explicit ScriptedView(int wrapWidth = 16) : wrapWidth_(wrapWidth) {}

    std::string FieldText(AddressField field) const override { return fields_.at(field); }
    void SetFieldText(AddressField field, const std::string& text) override {
        fields_[field] = text;
    }
    void SetFieldReadOnly(AddressField field, bool readOnly) override {
        readOnly_[field] = readOnly;
    }

    void ClearMacList() override { text_.clear(); }
    void AppendMacLine(const std::string& line) override { text_ += line + "\n"; }
    int LineOfSelection() const override;
    int LineIndex(int line) const override;
    std::string LineText(int line) const override;
    void SetSelectionStart(int start) override {
        selectionStart_ = start;
        selectionLength_ = 0;
    }
    void SetSelectionLength(int length) override { selectionLength_ = length; }
    std::string SelectedText() const override;

    DialogResult ShowConfirmation(const std::string& text) override;
    void ShowError(const std::string& text) override { events.push_back("error:" + text); }
    void ShowNotice(const std::string& text) override { events.push_back("notice:" + text); }
    void SetCursor(int cursor) override {
        cursor_ = cursor;
        events.push_back(cursor == crHourGlass ? "cursor:wait" : "cursor:default");
    }

    // Test side.
    void SetFields(const std::string& ip, const std::string& mask, const std::string& gateway);
    void PlaceCaret(int characterIndex) {
        selectionStart_ = characterIndex;
        selectionLength_ = 0;
    }
    bool ReadOnly(AddressField field) const { return readOnly_.at(field); }
    const std::string& ListText() const { return text_; }
    std::vector<std::string> ListLines() const; // the list's lines as added, no wrapping
    int Cursor() const { return cursor_; }
    std::deque<DialogResult> answers; // for ShowConfirmation; Yes when empty
    std::vector<std::string> events;  // dialogs ("confirm:", "error:", "notice:") and cursor

private:
    struct DisplayLine {
        int start;
        std::string text;
    };
    std::vector<DisplayLine> DisplayLines() const;

    int wrapWidth_;
    std::map<AddressField, std::string> fields_{
        {AddressField::Edit1, ""}, {AddressField::Edit2, ""}, {AddressField::Edit3, ""}};
    std::map<AddressField, bool> readOnly_{
        {AddressField::Edit1, true}, {AddressField::Edit2, true}, {AddressField::Edit3, true}};
    std::string text_ = "\n"; // one empty line, as the list starts
    int selectionStart_ = 0;
    int selectionLength_ = 0;
    int cursor_ = crDefault;
};

} // namespace tcpipset::testing
