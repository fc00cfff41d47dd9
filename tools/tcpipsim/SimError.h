#pragma once

#include <stdexcept>
#include <string>

namespace tcpipset::sim {

// A bad command line, device file or fault word, or a socket that cannot be set up:
// the simulator reports it and stops rather than simulate something other than asked.
class SimError : public std::runtime_error {
public:
    explicit SimError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace tcpipset::sim
