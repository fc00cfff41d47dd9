#pragma once

#include <string>

namespace tcpipset {

// The text that the error report shows for a message: a "." is appended when the message
// is not empty and its last character compares greater than ".".
std::string ReportText(std::string message);

} // namespace tcpipset
