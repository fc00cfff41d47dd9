#pragma once

#include "tools/tcpipctl/doctor/FirewallRules.h"

#include <optional>
#include <string>
#include <vector>

namespace tcpipset {

// The tables of families ip and inet in the output of `nft -j list ruleset`, each match
// judged for the reply (see FirewallRules.h); the other families never see an IPv4
// datagram at the input hook. Empty text is an empty ruleset; nullopt: not nft's JSON. The
// reply comes from port replyPort.
std::optional<std::vector<RuleTable>> ReadNftJson(const std::string& text,
                                                  int replyPort = DefaultReplyPort);

} // namespace tcpipset
