#include "tools/tcpipctl/ConsoleView.h"

#include <algorithm>
#include <cctype>

namespace tcpipset {

namespace {

// Only a plain yes goes on: anything else, an empty line and the end of the input included,
// is the dialog's Cancel, so that a slip of the hand changes no device.
bool IsYes(std::string answer) {
    std::transform(answer.begin(), answer.end(), answer.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return answer == "y" || answer == "yes";
}

} // namespace

// "MAC -> ADDRESS: " before the question; only "MAC -> " when the question already begins
// with the new address, as restart's does.
std::string ConsoleView::QuestionSubject(const std::string& question) const {
    const std::string& address = fields_.at(AddressField::Edit1);
    const std::string device = deviceMac_.empty() ? "" : deviceMac_ + " -> ";
    if (!address.empty() && question.starts_with(address)) {
        return device;
    }
    if (address.empty()) {
        return deviceMac_.empty() ? "" : deviceMac_ + ": ";
    }
    return device + address + ": ";
}

DialogResult ConsoleView::ShowConfirmation(const std::string& text) {
    if (assumeYes_) {
        return DialogResult::Yes;
    }
    prompts_ << QuestionSubject(text) << text << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(answers_, answer)) {
        // The answer's own line break never came: end the prompt's line for what follows.
        prompts_ << '\n' << std::flush;
    }
    if (IsYes(answer)) {
        return DialogResult::Yes;
    }
    cancelled_ = true;
    return DialogResult::Cancel;
}

void ConsoleView::SetFields(const std::string& ip, const std::string& mask,
                            const std::string& gateway) {
    fields_[AddressField::Edit1] = ip;
    fields_[AddressField::Edit2] = mask;
    fields_[AddressField::Edit3] = gateway;
}

} // namespace tcpipset
