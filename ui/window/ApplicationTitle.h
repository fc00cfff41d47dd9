#pragma once

#include <string>
#include <string_view>

namespace tcpipset {

// The application title from the executable's path: the file name without its folder and
// without everything from its first ".", every character after the first in lower case.
std::string ApplicationTitleFromPath(std::string_view executablePath);

} // namespace tcpipset
