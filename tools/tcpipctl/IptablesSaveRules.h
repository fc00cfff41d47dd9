#pragma once

#include "tools/tcpipctl/FirewallRules.h"

#include <optional>
#include <string>

namespace tcpipset {

// The filter table of iptables-save's text (of iptables-legacy-save, whose rules nft does
// not show), each match judged for the reply (see FirewallRules.h), as a table of family
// "iptables" whose input chain is INPUT; nullopt when the text holds no filter table.
std::optional<RuleTable> ReadIptablesSave(const std::string& text);

} // namespace tcpipset
