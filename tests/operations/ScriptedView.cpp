#include "tests/operations/ScriptedView.h"

#include <algorithm>
#include <sstream>

namespace tcpipset::testing {

// Display lines: every added line, cut into pieces of at most wrapWidth characters; the
// line breaks count as one character each. The list's text ends with a line break, so
// an empty display line stands below the last one.
std::vector<ScriptedView::DisplayLine> ScriptedView::DisplayLines() const {
    std::vector<DisplayLine> lines;
    int start = 0;
    std::size_t from = 0;
    while (true) {
        const std::size_t end = text_.find('\n', from);
        const std::string logical = text_.substr(from, end == std::string::npos ? end : end - from);
        std::size_t cut = 0;
        do {
            const std::string piece = logical.substr(cut, static_cast<std::size_t>(wrapWidth_));
            lines.push_back({start + static_cast<int>(cut), piece});
            cut += static_cast<std::size_t>(wrapWidth_);
        } while (cut < logical.size());
        if (end == std::string::npos) {
            break;
        }
        start += static_cast<int>(logical.size()) + 1;
        from = end + 1;
    }
    return lines;
}

int ScriptedView::LineOfSelection() const {
    const auto lines = DisplayLines();
    int index = 0;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        if (lines[static_cast<std::size_t>(i)].start <= selectionStart_) {
            index = i;
        }
    }
    return index;
}

int ScriptedView::LineIndex(int line) const {
    const auto lines = DisplayLines();
    if (line < 0 || line >= static_cast<int>(lines.size())) {
        return -1;
    }
    return lines[static_cast<std::size_t>(line)].start;
}

std::string ScriptedView::LineText(int line) const {
    const auto lines = DisplayLines();
    if (line < 0 || line >= static_cast<int>(lines.size())) {
        return {};
    }
    return lines[static_cast<std::size_t>(line)].text;
}

std::string ScriptedView::SelectedText() const {
    if (selectionStart_ < 0 || selectionLength_ <= 0) {
        return {};
    }
    return text_.substr(static_cast<std::size_t>(selectionStart_),
                        static_cast<std::size_t>(selectionLength_));
}

DialogResult ScriptedView::ShowConfirmation(const std::string& text) {
    events.push_back("confirm:" + text);
    if (answers.empty()) {
        return DialogResult::Yes;
    }
    const DialogResult answer = answers.front();
    answers.pop_front();
    return answer;
}

void ScriptedView::SetFields(const std::string& ip, const std::string& mask,
                             const std::string& gateway) {
    fields_[AddressField::Edit1] = ip;
    fields_[AddressField::Edit2] = mask;
    fields_[AddressField::Edit3] = gateway;
}

std::vector<std::string> ScriptedView::ListLines() const {
    std::vector<std::string> lines;
    std::istringstream in(text_);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

} // namespace tcpipset::testing
