#include "transport/IdExceptions.h"

namespace tcpipset {

namespace {

bool IsTrimmedTail(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code < 0x20 || code == 0x7F || c == ' ' || c == '.';
}

std::string TrimSystemText(std::string text) {
    while (!text.empty() && IsTrimmedTail(text.back())) {
        text.pop_back();
    }
    return text;
}

std::string StubMessage(std::uint32_t win32Error, const std::string& title,
                        const std::string& trimmedText) {
    if (win32Error == 0) {
        return title;
    }
    return title + ": " + trimmedText;
}

} // namespace

EIdWS2StubError::EIdWS2StubError(std::uint32_t win32Error, const std::string& title,
                                 const std::string& systemText)
    : EIdException(StubMessage(win32Error, title, TrimSystemText(systemText))),
      win32Error_(win32Error), win32ErrorText_(TrimSystemText(systemText)), title_(title) {}

} // namespace tcpipset
