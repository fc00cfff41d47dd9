#pragma once

#include <iosfwd>
#include <nlohmann/json_fwd.hpp>
#include <string>

namespace tcpipset {

// A JSON value as one line of text. Bytes that are not UTF-8 (a part of an entered
// address quoted in a message, say) are replaced rather than ending the command.
std::string JsonText(const nlohmann::ordered_json& value);

// {"error": message} as one line, for a script that reads only out.
void WriteJsonError(const std::string& message, std::ostream& out);

// Writes the message to err, with line breaks as the console writes them, and with json
// also to out as WriteJsonError does. Returns status.
int ReportError(const std::string& message, int status, bool json, std::ostream& out,
                std::ostream& err);

} // namespace tcpipset
