#include "tools/tcpipctl/Output.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace tcpipset {

namespace {

// The transport's messages break their lines as a message box does, with CR LF.
std::string WithConsoleLineBreaks(const std::string& message) {
    std::string text;
    text.reserve(message.size());
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            continue;
        }
        text += message[i];
    }
    return text;
}

} // namespace

std::string JsonText(const nlohmann::ordered_json& value) {
    return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void WriteJsonError(const std::string& message, std::ostream& out) {
    out << JsonText({{"error", message}}) << '\n' << std::flush;
}

int ReportError(const std::string& message, int status, bool json, std::ostream& out,
                std::ostream& err) {
    err << WithConsoleLineBreaks(message) << '\n' << std::flush;
    if (json) {
        WriteJsonError(message, out);
    }
    return status;
}

} // namespace tcpipset
