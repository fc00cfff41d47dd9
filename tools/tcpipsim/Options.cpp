#include "tools/tcpipsim/Options.h"

#include "tools/tcpipsim/SimError.h"

#include <charconv>

namespace tcpipset::sim {

namespace {

long NumberValue(const std::string& option, const std::string& value, long low, long high) {
    long result = 0;
    const auto* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, result);
    if (value.empty() || ec != std::errc{} || ptr != end || result < low || result > high) {
        throw SimError(option + ": '" + value + "' is not a number from " + std::to_string(low) +
                       " to " + std::to_string(high));
    }
    return result;
}

Ipv4 AddressValue(const std::string& option, const std::string& value) {
    const auto address = ParseDottedDecimal(value);
    if (!address) {
        throw SimError(option + ": '" + value + "' is not an address");
    }
    return *address;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = text.find_first_not_of(" \t", pos);
        if (start == std::string::npos) {
            break;
        }
        const std::size_t end = std::min(text.find_first_of(" \t", start), text.size());
        words.push_back(text.substr(start, end - start));
        pos = end;
    }
    return words;
}

std::vector<RequestKind> FloodKinds(const std::string& option, const std::string& value) {
    for (const RequestKind kind :
         {RequestKind::Discovery, RequestKind::Query, RequestKind::Set, RequestKind::Restart}) {
        if (value == RequestKindName(kind)) {
            return {kind};
        }
    }
    if (value == "any") {
        return {RequestKind::Discovery, RequestKind::Query, RequestKind::Set, RequestKind::Restart};
    }
    throw SimError(option + ": '" + value + "' is not discovery, query, set, restart or any");
}

} // namespace

Options ParseOptions(const std::vector<std::string>& args) {
    Options options;
    GeneratedDevices generated;
    bool floodGapGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        const auto next = [&]() -> const std::string& {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    throw SimError(name + " needs a value");
                }
                value = args[++i];
                hasValue = true;
            }
            return value;
        };
        const bool flag =
            name == "--help" || name == "-h" || name == "--log-replies" || name == "--burst";
        if (flag && hasValue) {
            throw SimError(name + " takes no value");
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--device") {
            options.devices.push_back(ParseDeviceLine(next()));
        } else if (name == "--device-file") {
            for (auto& device : ReadDeviceFile(next())) {
                options.devices.push_back(std::move(device));
            }
        } else if (name == "--count") {
            generated.count = static_cast<int>(NumberValue(name, next(), 0, 65535));
        } else if (name == "--first-mac") {
            const auto mac = ParseMac(next());
            if (!mac) {
                throw SimError(name + ": '" + value + "' is not a MAC address");
            }
            generated.firstMac = *mac;
        } else if (name == "--first-ip") {
            generated.firstIp = AddressValue(name, next());
        } else if (name == "--mask") {
            generated.mask = AddressValue(name, next());
        } else if (name == "--gateway") {
            generated.gateway = AddressValue(name, next());
        } else if (name == "--faults") {
            for (auto& word : Words(next())) {
                // Checked now, so that a bad word is refused even without --count.
                FaultList().Add(word);
                generated.faults.push_back(std::move(word));
            }
        } else if (name == "--bind") {
            options.bind = AddressValue(name, next());
        } else if (name == "--port") {
            options.port = static_cast<std::uint16_t>(NumberValue(name, next(), 0, 65535));
        } else if (name == "--spacing-us") {
            options.responder.spacing =
                std::chrono::microseconds(NumberValue(name, next(), 0, 1000000));
        } else if (name == "--burst") {
            options.burst = true;
        } else if (name == "--flood-on") {
            options.floodOn = FloodKinds(name, next());
        } else if (name == "--flood-us") {
            options.floodGap = std::chrono::microseconds(NumberValue(name, next(), 0, 1000000));
            floodGapGiven = true;
        } else if (name == "--reboot-ms") {
            options.responder.rebootMs = static_cast<int>(NumberValue(name, next(), 0, 600000));
        } else if (name == "--log") {
            options.logPath = next();
        } else if (name == "--log-replies") {
            options.logReplies = true;
        } else if (name == "--ready-file") {
            options.readyFile = next();
        } else {
            throw SimError("unknown option '" + args[i] + "' (see --help)");
        }
        if (hasValue && value.empty() && name != "--faults") {
            throw SimError(name + " needs a value");
        }
    }
    for (auto& device : GenerateDevices(generated)) {
        options.devices.push_back(std::move(device));
    }
    if (floodGapGiven && options.floodOn.empty()) {
        throw SimError("--flood-us needs --flood-on");
    }
    if (!options.floodOn.empty() && options.devices.empty()) {
        throw SimError("--flood-on needs a device to send from");
    }
    return options;
}

std::string UsageText() {
    return std::string(
               "usage: tcpipsim [options]\n"
               "Simulated print servers on UDP port 5001. Each device answers the discovery\n"
               "request and the requests that name the last six hex digits of its MAC.\n"
               "\n"
               "Devices:\n"
               "  --device \"MAC IP MASK GATEWAY [FAULT...]\"   one device (repeatable)\n"
               "  --device-file FILE    one device line per line, # starts a comment\n"
               "  --count N             N generated devices, consecutive MACs and IPs from\n"
               "  --first-mac MAC       (02:00:00:00:00:01) and --first-ip IP (198.18.0.10),\n"
               "  --mask MASK           (255.255.0.0) and --gateway GW (198.18.0.1),\n"
               "  --faults \"FAULT...\"   faults of every generated device\n"
               "\n"
               "Socket and timing:\n"
               "  --bind ADDR           local address to listen on (0.0.0.0)\n"
               "  --port N              UDP port (5001; 0 lets the system pick)\n"
               "  --spacing-us US       between the replies of consecutive devices (300)\n"
               "  --reboot-ms MS        silence after a restart (2000)\n"
               "  --burst               prepare every reply to a request first, then send them\n"
               "                        back to back in sendmmsg batches (--spacing-us is\n"
               "                        ignored; a device's delay= still holds its reply)\n"
               "\n"
               "Flood (a device that never stops sending):\n"
               "  --flood-on KIND       from the first request of KIND (discovery, query, set,\n"
               "                        restart or any) on, send 10-byte junk datagrams whose\n"
               "                        first byte is 0 to its sender until stopped, from the\n"
               "                        address it was sent to if a device holds it, else from\n"
               "                        the first device's; requests are still answered\n"
               "  --flood-us US         between junk datagrams (100; 0: back to back)\n"
               "                        The log gets one line as the flood starts and one\n"
               "                        with the count of junk sent as it ends.\n"
               "\n"
               "Output:\n"
               "  --log FILE            request log (stdout); one line per datagram\n"
               "  --log-replies         also log every reply sent\n"
               "  --ready-file FILE     written with the port once listening\n"
               "\n"
               "Replies leave from each device's own address (IP_PKTINFO) and only to and\n"
               "from 127.0.0.0/8 and 198.18.0.0/15. A set's IP text is read as four decimal\n"
               "parts, leading zeros allowed (0192.168.001.020 is 192.168.1.20); a set whose\n"
               "IP text is not an address is ignored.\n\n") +
           FaultHelp();
}

} // namespace tcpipset::sim
