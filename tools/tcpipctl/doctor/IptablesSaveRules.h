#pragma once

#include "tools/tcpipctl/doctor/FirewallRules.h"

#include <optional>
#include <string>

namespace tcpipset {

// The table tableName of iptables-save's text (of iptables-legacy-save, whose rules nft
// does not show, or of iptables-nft-save, which shows the options of iptables' own matches
// that nft's JSON leaves out), each match judged for the reply (see FirewallRules.h), as a
// table of family "iptables" whose input chain is INPUT; nullopt when the text holds no
// such table. The reply comes from port replyPort.
std::optional<RuleTable> ReadIptablesSave(const std::string& text,
                                          const std::string& tableName = "filter",
                                          int replyPort = DefaultReplyPort);

} // namespace tcpipset
