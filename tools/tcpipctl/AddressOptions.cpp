#include "tools/tcpipctl/AddressOptions.h"

#include "i18n/Translate.h"
#include "protocol/AddressValidation.h"

#include <array>

namespace tcpipset {

namespace {

using i18n::Format;
using i18n::Mark;
using i18n::Tr;

constexpr std::size_t MaxPartDigits = 3;
constexpr std::uint32_t MaxPart = 255;
constexpr const char* EndsInZeroOr255 = Mark("ends in 0 or 255");

bool IsDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}

// Why the window's rules refuse a host address, in English, to be translated where it is
// shown. They keep to the classes A to C and to a last part of 1 to 254; the reason tells
// which rule the address broke.
const char* HostAddressFault(std::uint32_t address) {
    const std::uint32_t first = address >> 24;
    const std::uint32_t last = address & 0xFF;
    if (first == 0) {
        return Mark("not a host address (its first part is 0)");
    }
    if (first == 127) {
        return Mark("not a host address (127 is the loopback network)");
    }
    if (first >= 224 && first <= 239) {
        return Mark("not a host address (a multicast address)");
    }
    if (first >= 240) {
        return Mark("not a host address (a reserved address)");
    }
    if (last == 0 || last == MaxPart) {
        return EndsInZeroOr255;
    }
    return Mark("not a host address");
}

// A device with such a mask could reach no other host, or would take every address for
// its own segment, or holds a mask that no routing understands.
std::string MaskFault(std::uint32_t mask) {
    if (mask == 0) {
        return Tr("no network part: a subnet mask needs one-bits");
    }
    if (mask == 0xFFFFFFFFu) {
        return Tr("no host part: a subnet mask needs zero-bits");
    }
    const std::uint32_t hostBits = ~mask;
    if ((hostBits & (hostBits + 1)) != 0) {
        return Tr("the one-bits of a subnet mask must be contiguous");
    }
    return {};
}

struct AddressOption {
    const char* name;
    const std::string& text;
    // The window's rule for the text; none where the window checks only that it parses.
    std::optional<AddressKind> rule;
    std::uint32_t value = 0;
};

// The first reason to refuse the option, empty when there is none; fills in its value.
std::string OptionFault(AddressOption& option) {
    const auto parsed = ParseDottedQuad(option.text);
    if (!parsed) {
        return Tr("not an IPv4 address");
    }
    option.value = *parsed;
    if (!option.rule) {
        return {};
    }
    // The window's verdict counts, so that the two never disagree; the reason is ours. Its
    // rule for the last part of an IP address fits only masks of 24 bits or more: here the
    // mask decides, and a host of a wider subnet may end in 0 or 255 (198.18.3.255/16).
    if (!ValidateAddress(option.text, *option.rule)) {
        if (*option.rule == AddressKind::SubnetMask) {
            return Tr("not a subnet mask");
        }
        const char* fault = HostAddressFault(option.value);
        return *option.rule == AddressKind::IpAddress && std::string_view(fault) == EndsInZeroOr255
                   ? std::string{}
                   : Tr(fault);
    }
    return *option.rule == AddressKind::SubnetMask ? MaskFault(option.value) : std::string{};
}

} // namespace

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        std::uint32_t value = 0;
        while (digits < text.size() && digits <= MaxPartDigits && IsDecimalDigit(text[digits])) {
            value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
            ++digits;
        }
        if (digits == 0 || digits > MaxPartDigits || value > MaxPart) {
            return std::nullopt;
        }
        address = (address << 8) | value;
        text.remove_prefix(digits);
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return address;
}

std::string OptionRefusal(std::string_view option, std::string_view text, std::string_view reason) {
    // An empty value would vanish from the message; it is shown as the shell writes it.
    const std::string shown = text.empty() ? "''" : std::string(text);
    return "tcpipctl: " + std::string(option) + " " + shown + ": " + std::string(reason);
}

AddressVerdict CheckAddressOptions(const Command& command) {
    const bool restart = command.verb == Verb::Restart;
    if ((command.verb != Verb::Set && !restart) || command.restartWithQueried) {
        return {};
    }
    // restart sends a gateway that the window's rules would refuse, as the window does.
    std::array<AddressOption, 3> options{{
        {"--ip", command.ip, AddressKind::IpAddress},
        {"--mask", command.mask, AddressKind::SubnetMask},
        {"--gateway", command.gateway,
         restart ? std::nullopt : std::optional(AddressKind::GatewayAddress)},
    }};
    for (auto& option : options) {
        if (const std::string fault = OptionFault(option); !fault.empty()) {
            return {OptionRefusal(option.name, option.text, fault), {}};
        }
    }
    const auto& [ip, mask, gateway] = options;
    // In a subnet with room for hosts, its first and last addresses name the subnet and
    // reach all of it; neither is a device's own. (255.255.255.254 has no such pair.)
    const std::uint32_t hostPart = ip.value & ~mask.value;
    if (~mask.value > 1 && (hostPart == 0 || hostPart == ~mask.value)) {
        const std::string reason =
            hostPart == 0
                ? Format(Tr("the network address of its subnet with --mask %1"), mask.text)
                : Format(Tr("the broadcast address of its subnet with --mask %1"), mask.text);
        return {OptionRefusal(ip.name, ip.text, reason), {}};
    }
    // 0.0.0.0 is no gateway at all. Another subnet's gateway is out of most devices' reach,
    // but some networks reach it all the same (proxy ARP), so it is only warned of.
    if (gateway.value != 0 && (gateway.value & mask.value) != (ip.value & mask.value)) {
        return {{},
                Format(Tr("--gateway %1 lies outside the subnet of --ip %2 --mask %3"),
                       gateway.text, ip.text, mask.text)};
    }
    return {};
}

std::string CheckLoneAddress(const char* option, const std::string& text, AddressKind kind) {
    AddressOption lone{option, text, kind};
    const std::string fault = OptionFault(lone);
    return fault.empty() ? fault : OptionRefusal(option, text, fault);
}

std::optional<std::string> CanonicalBroadcast(std::string_view text) {
    const auto address = ParseDottedQuad(text);
    if (!address) {
        return std::nullopt;
    }
    std::string canonical;
    for (int shift = 24; shift >= 0; shift -= 8) {
        canonical += std::to_string((*address >> shift) & 0xFF);
        canonical += shift == 0 ? "" : ".";
    }
    return canonical;
}

bool SameDottedQuad(std::string_view a, std::string_view b) {
    const auto value = ParseDottedQuad(a);
    return value && value == ParseDottedQuad(b);
}

} // namespace tcpipset
