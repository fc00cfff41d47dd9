#include "tools/tcpipsim/DeviceSpec.h"

#include "tools/tcpipsim/SimError.h"

#include <fstream>

namespace tcpipset::sim {

namespace {

std::vector<std::string_view> SplitBlanks(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r')) {
            ++pos;
        }
        std::size_t end = pos;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r') {
            ++end;
        }
        if (end > pos) {
            words.push_back(text.substr(pos, end - pos));
        }
        pos = end;
    }
    return words;
}

Ipv4 AddressField(std::string_view word, const char* field) {
    const auto address = ParseDottedDecimal(word);
    if (!address) {
        throw SimError(std::string(field) + " '" + std::string(word) + "' is not an address");
    }
    return *address;
}

} // namespace

DeviceConfig ParseDeviceLine(std::string_view line) {
    const auto words = SplitBlanks(line);
    if (words.size() < 4) {
        throw SimError("a device needs MAC IP MASK GATEWAY, got '" + std::string(line) + "'");
    }
    DeviceConfig device;
    const auto mac = ParseMac(words[0]);
    if (!mac) {
        throw SimError("MAC '" + std::string(words[0]) + "' is not 12 hexadecimal digits");
    }
    device.mac = *mac;
    device.ip = AddressField(words[1], "IP address");
    device.mask = AddressField(words[2], "subnet mask");
    device.gateway = AddressField(words[3], "gateway");
    for (std::size_t i = 4; i < words.size(); ++i) {
        device.faults.Add(words[i]);
    }
    return device;
}

std::vector<DeviceConfig> ReadDeviceFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw SimError("cannot read device file " + path);
    }
    std::vector<DeviceConfig> devices;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const std::string_view content = std::string_view(line).substr(0, line.find('#'));
        if (SplitBlanks(content).empty()) {
            continue;
        }
        try {
            devices.push_back(ParseDeviceLine(content));
        } catch (const SimError& e) {
            throw SimError(path + ":" + std::to_string(number) + ": " + e.what());
        }
    }
    return devices;
}

std::vector<DeviceConfig> GenerateDevices(const GeneratedDevices& generated) {
    std::vector<DeviceConfig> devices;
    devices.reserve(static_cast<std::size_t>(generated.count));
    Mac mac = generated.firstMac;
    Ipv4 ip = generated.firstIp;
    for (int i = 0; i < generated.count; ++i) {
        DeviceConfig device;
        device.mac = mac;
        device.ip = ip;
        device.mask = generated.mask;
        device.gateway = generated.gateway;
        for (const auto& word : generated.faults) {
            device.faults.Add(word);
        }
        devices.push_back(std::move(device));
        mac = NextMac(mac);
        ip.value += 1;
    }
    return devices;
}

} // namespace tcpipset::sim
