// Feeds arbitrary field texts to the address rules, the integer conversion and the
// request builders. The only failure any of them may raise is EConvertError with the
// fixed message; anything else escapes and ends the run as a crash.
#include "protocol/AddressValidation.h"
#include "protocol/ParseInteger.h"
#include "protocol/Requests.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using tcpipset::AddressKind;
using tcpipset::EConvertError;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A conversion error names a piece of the text it was given.
void CheckNamesPartOf(const EConvertError& e, std::string_view text) {
    const std::string message = e.Message();
    const std::string_view suffix = "' is not an integer";
    Check(message.size() >= suffix.size() + 1 && message.front() == '\'');
    Check(std::string_view(message).substr(message.size() - suffix.size()) == suffix);
    const std::string_view offending =
        std::string_view(message).substr(1, message.size() - 1 - suffix.size());
    Check(text.find(offending) != std::string_view::npos);
}

void CheckParseInteger(std::string_view text) {
    try {
        (void)tcpipset::ParseInteger(text);
    } catch (const EConvertError& e) {
        Check(e.Message() == "'" + std::string(text) + "' is not an integer");
    }
}

void CheckValidation(std::string_view text) {
    bool acceptedAsAny = false;
    for (AddressKind kind :
         {AddressKind::IpAddress, AddressKind::SubnetMask, AddressKind::GatewayAddress}) {
        try {
            acceptedAsAny = tcpipset::ValidateAddress(text, kind) || acceptedAsAny;
        } catch (const EConvertError& e) {
            CheckNamesPartOf(e, text);
        }
    }
    // A text that passed the checks converts to bytes without error, as the set
    // operation relies on; an error here escapes and counts as a crash.
    if (acceptedAsAny) {
        (void)tcpipset::AddressTextToBytes(text);
    }
}

void CheckRequests(std::string_view text) {
    try {
        (void)tcpipset::AddressTextToBytes(text);
    } catch (const EConvertError& e) {
        CheckNamesPartOf(e, text);
    }
    try {
        const auto set = tcpipset::BuildSetRequest(text, text, text, "0.0.0.0");
        const auto restart = tcpipset::BuildRestartRequest(text, text, "0.0.0.0", text);
        Check(set.size() == restart.size() - 3);
        Check(set.back() == tcpipset::ItemEnd && restart.back() == tcpipset::ItemEnd);
    } catch (const EConvertError& e) {
        CheckNamesPartOf(e, text);
    }
    Check(tcpipset::BuildQueryRequest(text).size() <= 10);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckParseInteger(text);
    CheckValidation(text);
    CheckRequests(text);
    for (std::size_t i = 0; i < size; ++i) {
        const char32_t typed = data[i];
        const char32_t passed = tcpipset::FilterAddressKey(typed);
        Check(passed == 0 || passed == typed);
    }
    return 0;
}
