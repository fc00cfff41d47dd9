#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tcpipset {

// A MAC address as given on the command line, in the form that the list shows: 12
// uppercase hexadecimal digits. Lower case and ":" or "-" between the bytes are taken;
// anything else gives nothing.
std::optional<std::string> NormaliseMacArgument(std::string_view argument);

} // namespace tcpipset
