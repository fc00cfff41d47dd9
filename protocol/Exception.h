#pragma once

#include <stdexcept>
#include <string>

namespace tcpipset {

// Root of every failure the system raises; it carries the fixed message that the
// error report shows.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

} // namespace tcpipset
