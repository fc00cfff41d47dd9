#include "tools/tcpipctl/ConsoleView.h"

namespace tcpipset {

DialogResult ConsoleView::ShowConfirmation(const std::string& text) {
    if (assumeYes_) {
        return DialogResult::Yes;
    }
    prompts_ << text << " [y/N] " << std::flush;
    std::string answer;
    std::getline(answers_, answer);
    if (answer == "y" || answer == "Y" || answer == "yes") {
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
