#pragma once

#include "protocol/AddressValidation.h"
#include "tools/tcpipctl/Command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tcpipset {

// An IPv4 address as the command line takes it: four decimal parts of one to three digits,
// each 0 to 255, joined by ".". Leading zeros are decimal (020 is 20). Gives the address
// with its first part in the highest byte, or nothing.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

// Equal as four numbers: a device reports 198.18.1.20 for an entered 198.18.1.020, and
// holds what was asked. A text that is not an address equals nothing.
bool SameDottedQuad(std::string_view a, std::string_view b);

// What the checks of a set's or restart's --ip, --mask and --gateway found.
struct AddressVerdict {
    std::string refusal; // "tcpipctl: --OPTION VALUE: reason", or empty when all pass
    // Written after "warning: " before the command goes on; empty when none.
    std::string warning;
};

// The addresses of a set or restart that a device cannot use, refused before anything is
// sent, with the option named: a text that is not an IPv4 address, what the window's
// rules refuse (for restart: not the gateway, as the window does; an IP address that ends
// in 0 or 255 only where the mask makes it its subnet's network or broadcast address)
// and masks without
// a network part, without a host part or whose one-bits are not contiguous. A gateway
// outside the subnet of the new address is only warned of. Other verbs pass.
AddressVerdict CheckAddressOptions(const Command& command);

// One address checked alone, by the rule of its kind, as CheckAddressOptions checks it
// among the others: the refusal, or empty when it passes. For an inventory row that gives
// no mask or no gateway.
std::string CheckLoneAddress(const char* option, const std::string& text, AddressKind kind);

// "tcpipctl: OPTION VALUE: reason", an empty value shown as ''.
std::string OptionRefusal(std::string_view option, std::string_view text, std::string_view reason);

// --broadcast in the form the transport reads as meant: leading zeros dropped, since the
// system's lookup would read 010 as octal 8. Nothing when it is not an IPv4 address.
std::optional<std::string> CanonicalBroadcast(std::string_view text);

} // namespace tcpipset
