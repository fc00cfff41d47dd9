#include "tools/tcpipsim/RequestLog.h"

#include "tools/tcpipsim/SimError.h"

#include <cstdio>

namespace tcpipset::sim {

namespace {

// Beyond this many MAC addresses a line only counts the rest: a discovery of a
// thousand devices would otherwise write 13 kB per request.
constexpr std::size_t MaxListedDevices = 16;

} // namespace

std::string FormatTime(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "t=%.3f", seconds);
    return text;
}

std::string FormatEndpoint(Endpoint endpoint) {
    return FormatDotted(endpoint.address) + ":" + std::to_string(endpoint.port);
}

std::string FormatRxLine(double seconds, Endpoint from, Ipv4 to, const Bytes& datagram,
                         const Handling& handling, const DeviceSet& devices) {
    std::string line = FormatTime(seconds) + " rx from=" + FormatEndpoint(from) +
                       " to=" + FormatDotted(to) + " len=" + std::to_string(datagram.size()) +
                       " kind=" + RequestKindName(handling.request.kind) +
                       " matched=" + std::to_string(handling.matched.size());
    if (!handling.matched.empty()) {
        line += " devices=";
        for (std::size_t i = 0; i < handling.matched.size() && i < MaxListedDevices; ++i) {
            line += (i > 0 ? "," : "") + MacHex(devices.Config(handling.matched[i]).mac);
        }
        if (handling.matched.size() > MaxListedDevices) {
            line += ",+" + std::to_string(handling.matched.size() - MaxListedDevices);
        }
    }
    if (!handling.notes.empty()) {
        line += " notes=";
        for (std::size_t i = 0; i < handling.notes.size(); ++i) {
            line += (i > 0 ? "," : "") + handling.notes[i];
        }
    }
    if (!handling.request.reason.empty()) {
        line += " reason=" + handling.request.reason;
    }
    return line + " bytes=" + HexBytes(datagram);
}

std::string FormatTxLine(double seconds, Ipv4 source, Endpoint to, const Bytes& datagram,
                         const std::string& error) {
    std::string line = FormatTime(seconds) + (error.empty() ? " tx" : " tx-failed") +
                       " from=" + FormatDotted(source) + " to=" + FormatEndpoint(to) +
                       " len=" + std::to_string(datagram.size());
    if (!error.empty()) {
        line += " error=" + error;
    }
    return line + " bytes=" + HexBytes(datagram);
}

void RequestLog::Closer::operator()(std::FILE* f) const {
    std::fclose(f);
}

RequestLog::RequestLog(const std::string& path) {
    if (!path.empty() && path != "-") {
        file_.reset(std::fopen(path.c_str(), "a"));
        if (!file_) {
            throw SimError("cannot open log " + path);
        }
        out_ = file_.get();
    }
}

void RequestLog::Write(const std::string& line) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

} // namespace tcpipset::sim
