#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tcpipset {

enum class Verdict { Ok, Warning, Problem };

// One line of tcpipctl doctor: what was looked at, what was found and, unless it is ok,
// what to do about it.
struct DoctorCheck {
    std::string name;
    Verdict verdict = Verdict::Ok;
    std::string detail;
    std::string advice;
};

// The verdicts that need no network, from what the system shows as text, so that each rule
// can be tried on any text.

// rp_filter of an interface (the larger of "all" and the interface's own value counts).
DoctorCheck RpFilterCheck(const std::string& interfaceName, int allValue, int interfaceValue,
                          bool defaultRoute);
// The receive buffer: bytes asked for (0: none asked) against bytes granted as the system
// counts them (twice the usable size), on each of the sockets that share the port.
DoctorCheck ReceiveBufferCheck(std::int32_t asked, std::int32_t granted, std::size_t sockets);
// The input filter, from `nft list ruleset` and `iptables-save`; readable is false when
// neither could be read (not root, or no such tool).
DoctorCheck FirewallCheck(const std::string& nftRuleset, const std::string& iptablesSave,
                          bool readable);
// The interface of the default route in /proc/net/route's text, empty when there is none.
std::string DefaultRouteInterface(const std::string& procNetRoute);

} // namespace tcpipset
