#pragma once

#include "ui/operations/MainView.h"

#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tcpipset {

// The window's view for the command line: the fields are the command's options, the
// list collects what discovery finds, confirmations are asked on the terminal (or
// answered by --yes), and every dialog is recorded for the command to report.
class ConsoleView : public MainView {
public:
    struct ListedDevice {
        std::string mac;
        std::string address;
        std::string interfaceName;
    };
    struct Dialog {
        enum class Kind { Error, Notice } kind;
        std::string text;
    };

    ConsoleView(bool assumeYes, std::istream& answers, std::ostream& prompts)
        : assumeYes_(assumeYes), answers_(answers), prompts_(prompts) {}

    std::string FieldText(AddressField field) const override { return fields_.at(field); }
    void SetFieldText(AddressField field, const std::string& text) override {
        fields_[field] = text;
    }
    void SetFieldReadOnly(AddressField, bool) override {}

    void ClearMacList() override { listed_.clear(); }
    void AppendMacLine(const std::string& line) override { listed_.push_back({line, {}, {}}); }
    void NoteListedReply(const std::string& replyAddress,
                         const std::string& interfaceName) override {
        listed_.back().address = replyAddress;
        listed_.back().interfaceName = interfaceName;
    }
    // The command line selects a device by its MAC, never by a line of the list.
    int LineOfSelection() const override { return 0; }
    int LineIndex(int) const override { return 0; }
    std::string LineText(int) const override { return {}; }
    void SetSelectionStart(int) override {}
    void SetSelectionLength(int) override {}
    std::string SelectedText() const override { return {}; }

    DialogResult ShowConfirmation(const std::string& text) override;
    void ShowError(const std::string& text) override {
        dialogs_.push_back({Dialog::Kind::Error, text});
    }
    void ShowNotice(const std::string& text) override {
        dialogs_.push_back({Dialog::Kind::Notice, text});
    }
    void SetCursor(int) override {}

    void SetFields(const std::string& ip, const std::string& mask, const std::string& gateway);
    // The MAC that the command names. The window asks its questions beside the selected
    // line and the fields; a terminal shows neither, so the question names both.
    void NameDevice(std::string mac) { deviceMac_ = std::move(mac); }
    const std::vector<ListedDevice>& Listed() const { return listed_; }
    const std::vector<Dialog>& Dialogs() const { return dialogs_; }
    bool Cancelled() const { return cancelled_; }

private:
    std::string QuestionSubject(const std::string& question) const;

    bool assumeYes_;
    std::istream& answers_;
    std::ostream& prompts_;
    std::string deviceMac_;
    std::map<AddressField, std::string> fields_{
        {AddressField::Edit1, ""}, {AddressField::Edit2, ""}, {AddressField::Edit3, ""}};
    std::vector<ListedDevice> listed_;
    std::vector<Dialog> dialogs_;
    bool cancelled_ = false;
};

} // namespace tcpipset
