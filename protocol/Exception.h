#pragma once

#include <stdexcept>
#include <string>

namespace tcpipset {

// Root of every failure the system raises; it carries the fixed message that the
// error report shows.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message)
        : std::runtime_error(message), message_(message) {}
    // The whole message, also when the offending text holds a null character, where
    // what() would stop.
    std::string Message() const { return message_; }

private:
    std::string message_;
};

} // namespace tcpipset
