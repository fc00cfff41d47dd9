#pragma once

#include "tools/tcpipctl/Command.h"

#include <iosfwd>

namespace tcpipset {

// tcpipctl doctor: looks at what keeps replies from reaching the workstation (interfaces,
// routes, reverse-path filter, receive buffer, firewall) and runs a discovery on each
// interface; one line per check, and exit status 0 only when every check is ok.
int RunDoctor(const Command& command, std::ostream& out, std::ostream& err);

} // namespace tcpipset
