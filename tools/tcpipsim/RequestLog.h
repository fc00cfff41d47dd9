#pragma once

#include "tools/tcpipsim/DeviceSet.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tcpipset::sim {

struct Endpoint {
    Ipv4 address;
    std::uint16_t port = 0;
};

std::string FormatEndpoint(Endpoint endpoint);

// "t=1.234", the first field of every line.
std::string FormatTime(double seconds);

// One line per received datagram, every value free of blanks so that a test can split
// the line on blanks and "=":
//   t=1.234 rx from=198.19.0.1:40000 to=255.255.255.255 len=10 kind=discovery matched=3
//   devices=020000000001,... [notes=...] [reason=...] bytes=50544E3030303030304A
std::string FormatRxLine(double seconds, Endpoint from, Ipv4 to, const Bytes& datagram,
                         const Handling& handling, const DeviceSet& devices);

// One line per reply sent (with --log-replies), or per reply that could not be sent.
std::string FormatTxLine(double seconds, Ipv4 source, Endpoint to, const Bytes& datagram,
                         const std::string& error);

// Writes whole lines to stdout or to a file and flushes each at once, so that a test
// that reads the log sees a request as soon as the simulator has it.
class RequestLog {
public:
    explicit RequestLog(const std::string& path);
    void Write(const std::string& line);

private:
    struct Closer {
        void operator()(std::FILE* f) const;
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::FILE* out_ = stdout;
};

} // namespace tcpipset::sim
